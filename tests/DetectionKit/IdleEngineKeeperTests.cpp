// Letting recognition engines go after a minute without use, on a clock the test moves.
#include "DetectionKit/IdleEngineKeeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace DetectionKit;
using namespace std::chrono_literals;

namespace {

using TimePoint = std::chrono::steady_clock::time_point;

// A steady clock that moves only when told.
struct ManualClock {
    std::atomic<TimePoint::rep> ticks{TimePoint(100s).time_since_epoch().count()};
    TimePoint now() const { return TimePoint(TimePoint::duration(ticks.load())); }
    void advance(std::chrono::steady_clock::duration by) { ticks += by.count(); }
};

// An engine that counts how many were made and how many are alive.
struct Counts {
    std::atomic<int> made{0};
    std::atomic<int> alive{0};
};
struct CountedEngine {
    explicit CountedEngine(Counts& c) : counts(c) { ++counts.made, ++counts.alive; }
    ~CountedEngine() { --counts.alive; }
    Counts& counts;
};

struct Fixture {
    Counts counts;
    ManualClock clock;
    IdleEngineKeeper keeper{[this] { return std::make_shared<CountedEngine>(counts); }, 60s, [this] { return clock.now(); }};

    void use() { const IdleEngineKeeper::Lease lease = keeper.acquire(); }
};

// Waits for what another thread does, up to a generous deadline.
template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

} // namespace

TEST(IdleEngineKeeperTest, MakesTheEngineOnFirstUseAndKeepsItWithinTheMinute) {
    Fixture f;
    EXPECT_FALSE(f.keeper.holdsEngine());
    EXPECT_EQ(f.counts.made, 0);
    f.use();
    struct Step {
        std::chrono::seconds wait;
        bool releasedAfter;
    };
    // Each capture within the minute keeps it warm, and the minute counts from the last one.
    for (const Step& step : {Step{59s, false}, Step{30s, false}, Step{59s, false}}) {
        f.clock.advance(step.wait);
        EXPECT_EQ(f.keeper.releaseIfIdle(), step.releasedAfter);
        f.use();
    }
    EXPECT_EQ(f.counts.made, 1);
    f.clock.advance(60s);
    EXPECT_TRUE(f.keeper.releaseIfIdle());
    EXPECT_FALSE(f.keeper.holdsEngine());
    EXPECT_EQ(f.counts.alive, 0);
    EXPECT_FALSE(f.keeper.releaseIfIdle()) << "nothing left to let go";

    // The first use after the release makes a new engine.
    f.use();
    EXPECT_EQ(f.counts.made, 2);
    EXPECT_TRUE(f.keeper.holdsEngine());
}

TEST(IdleEngineKeeperTest, NeverLetsGoWhileAUseRuns) {
    Fixture f;
    {
        const IdleEngineKeeper::Lease lease = f.keeper.acquire();
        f.clock.advance(10min);
        EXPECT_FALSE(f.keeper.releaseIfIdle());
        ASSERT_TRUE(lease.engine());
        EXPECT_EQ(f.counts.alive, 1);
    }
    // The minute counts from the end of the long use.
    EXPECT_FALSE(f.keeper.releaseIfIdle());
    f.clock.advance(60s);
    EXPECT_TRUE(f.keeper.releaseIfIdle());
}

TEST(IdleEngineKeeperTest, TheWatcherLetsGoOnItsOwnWhenTheMinuteHasPassed) {
    Fixture f;
    f.use();
    f.clock.advance(60s);
    f.keeper.clockMoved();
    EXPECT_TRUE(eventually([&] { return f.counts.alive == 0; }));
    EXPECT_FALSE(f.keeper.holdsEngine());
    // And again for the next engine, with a watcher of its own.
    f.use();
    EXPECT_EQ(f.counts.made, 2);
    f.clock.advance(2min);
    f.keeper.clockMoved();
    EXPECT_TRUE(eventually([&] { return f.counts.alive == 0; }));
}

TEST(IdleEngineKeeperTest, AFailureToMakeTheEngineReachesTheCallerAndTheNextUseTriesAgain) {
    int attempts = 0;
    IdleEngineKeeper keeper([&]() -> std::shared_ptr<void> {
        if (++attempts == 1) throw std::runtime_error("no engine data");
        return std::make_shared<int>(7);
    });
    EXPECT_THROW(keeper.acquire(), std::runtime_error);
    EXPECT_FALSE(keeper.holdsEngine());
    const IdleEngineKeeper::Lease lease = keeper.acquire();
    EXPECT_EQ(*static_cast<int*>(lease.engine().get()), 7);
}

// An engine made without its data fails every use; kept warm by those very uses it would fail for
// as long as they come within the minute. Discarded, it goes with its last lease, and the next use
// makes a new one at once.
TEST(IdleEngineKeeperTest, AnEngineThatFailedAUseIsMadeAgainByTheNextUse) {
    Fixture f;
    {
        IdleEngineKeeper::Lease failing = f.keeper.acquire();
        IdleEngineKeeper::Lease concurrent = f.keeper.acquire();
        failing.discard();
        EXPECT_FALSE(f.keeper.holdsEngine());
        EXPECT_EQ(f.counts.alive, 1) << "the leases still hold it";
        // A use that began meanwhile gets a new engine; the old one stays with its leases.
        const IdleEngineKeeper::Lease next = f.keeper.acquire();
        EXPECT_NE(next.engine(), failing.engine());
        EXPECT_EQ(f.counts.made, 2);
        // The second failure of the old engine must not take the new one with it.
        concurrent.discard();
        EXPECT_TRUE(f.keeper.holdsEngine());
    }
    EXPECT_EQ(f.counts.alive, 1) << "the failed engine went with its last lease";
    f.use();
    EXPECT_EQ(f.counts.made, 2) << "the new engine is kept";
}

// Closing, as the process ends: it waits for the use under way, lets the engine go on the closing
// thread, and no use begins afterwards.
TEST(IdleEngineKeeperTest, ClosingWaitsForTheUseUnderWayThenRefusesEveryUse) {
    Fixture f;
    std::atomic<bool> closed{false};
    std::thread closer;
    {
        const IdleEngineKeeper::Lease lease = f.keeper.acquire();
        closer = std::thread([&] {
            f.keeper.close();
            closed = true;
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(closed) << "closed while a use was running";
        EXPECT_EQ(f.counts.alive, 1);
    }
    closer.join();
    EXPECT_EQ(f.counts.alive, 0);
    EXPECT_THROW(f.keeper.acquire(), IdleEngineKeeper::Closed);
    EXPECT_EQ(f.counts.made, 1) << "a use after closing made an engine";
    f.keeper.close();
}

TEST(IdleEngineKeeperTest, ClosingWithoutEngineOrAfterTheWatcherLetItGoEndsAtOnce) {
    for (const bool usedFirst : {false, true}) {
        SCOPED_TRACE(usedFirst ? "the watcher let the engine go" : "never used");
        Fixture f;
        if (usedFirst) {
            f.use();
            f.clock.advance(60s);
            f.keeper.clockMoved();
            ASSERT_TRUE(eventually([&] { return f.counts.alive == 0; }));
        }
        f.keeper.close();
        EXPECT_FALSE(f.keeper.holdsEngine());
        EXPECT_THROW(f.keeper.acquire(), IdleEngineKeeper::Closed);
    }
}
