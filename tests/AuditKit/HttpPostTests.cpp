#include "AuditKit/HttpPost.h"
#include "LoopbackServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace AuditKit;
using namespace std::chrono_literals;

// A server that answers two bytes a second held an attempt as long as it dripped; the attempt now
// ends at its deadline, while a server that answers at once is not cut short by it.
TEST(HttpPost, AnAttemptEndsAtItsDeadlineHoweverTheServerDrips) {
    if (!TestSupport::hasProgram("python3")) GTEST_SKIP() << "python3 is not installed";
    setenv("no_proxy", "127.0.0.1", 1);
    setenv("NO_PROXY", "127.0.0.1", 1);
    struct Case {
        const char* server;
        double dripSeconds;
        bool delivered;
    };
    for (const Case& c : {Case{"dripping two bytes a second", 0.5, false}, Case{"answering at once", 0, true}}) {
        SCOPED_TRACE(c.server);
        LoopbackServer server({}, 204, c.dripSeconds);
        ASSERT_TRUE(server.isRunning());
        const std::atomic<bool> cancelled{false};
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(HttpPost::send(server.url(), "{}", cancelled, 1500ms), c.delivered);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, 5s);
        if (!c.delivered) {
            EXPECT_GE(took, 1400ms);
        }
        EXPECT_EQ(server.requests().size(), 1u);
    }
}
