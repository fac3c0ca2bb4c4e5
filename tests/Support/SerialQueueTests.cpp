#include "Support/SerialQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <vector>

TEST(SerialQueue, RunsWorkInOrderAndDrainsOnDestruction) {
    std::vector<int> order;
    {
        Support::SerialQueue queue("app.brindlecast.test");
        for (int i = 0; i < 100; ++i) {
            queue.async([&order, i] {
                if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                order.push_back(i);
            });
        }
    } // destruction runs everything still queued
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
}

TEST(SerialQueue, SyncReturnsValuesAndErrors) {
    Support::SerialQueue queue("app.brindlecast.test");
    EXPECT_EQ(queue.sync([] { return 42; }), 42);
    EXPECT_THROW(queue.sync([]() -> int { throw std::runtime_error("boom"); }), std::runtime_error);
    // The worker survives failing work, queued or waited for.
    queue.async([] { throw std::runtime_error("nobody to tell"); });
    EXPECT_EQ(queue.sync([] { return 7; }), 7);
}

TEST(SerialQueue, SyncFromTheWorkerRunsInline) {
    Support::SerialQueue queue("app.brindlecast.test");
    const int value = queue.sync([&queue] { return queue.sync([] { return 5; }) + 1; });
    EXPECT_EQ(value, 6);
}
