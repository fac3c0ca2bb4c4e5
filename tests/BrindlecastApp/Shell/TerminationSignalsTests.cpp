#include "BrindlecastApp/Shell/TerminationSignals.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>

using namespace BrindlecastApp;

namespace {

using Handler = void (*)(int);

Handler currentHandler(int number) {
    struct sigaction action {};
    ::sigaction(number, nullptr, &action);
    return action.sa_handler;
}

} // namespace

// Each signal reaches the event loop as `received`, with its number, and is not acted on by the
// system; once the object goes, both have their default actions back.
TEST(TerminationSignals, TerminateAndInterruptArriveInTheEventLoop) {
    {
        TerminationSignals termination;
        QSignalSpy received(&termination, &TerminationSignals::received);
        for (const int number : {SIGTERM, SIGINT}) {
            SCOPED_TRACE(number);
            received.clear();
            ASSERT_EQ(::raise(number), 0);
            EXPECT_TRUE(received.isEmpty()) << "delivered inside the handler";
            ASSERT_TRUE(received.wait(5000));
            ASSERT_EQ(received.size(), 1);
            EXPECT_EQ(received.front().front().toInt(), number);
            // The next one of its kind would end the process at once.
            EXPECT_EQ(currentHandler(number), SIG_DFL);
        }
    }
    EXPECT_EQ(currentHandler(SIGTERM), SIG_DFL);
    EXPECT_EQ(currentHandler(SIGINT), SIG_DFL);
}
