#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

namespace DetectionKit {

// Keeps an engine made on demand and lets it go once it has gone unused for a while, so that an
// app left idle after a capture gives back what recognition took. A use that begins before then
// finds the engine still warm; one that begins after makes a new one. An engine that failed a use
// is let go at once, so the next use starts afresh (its data may be back). A watcher thread runs
// only while an engine is held. Closing ends it all before the process does.
class IdleEngineKeeper {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Maker = std::function<std::shared_ptr<void>()>;

    static constexpr std::chrono::seconds kDefaultIdle{60};

    // `clock` stands in for the steady clock in tests; after moving it, call clockMoved().
    explicit IdleEngineKeeper(Maker make, std::chrono::steady_clock::duration idle = kDefaultIdle, Clock clock = {});
    ~IdleEngineKeeper();
    IdleEngineKeeper(const IdleEngineKeeper&) = delete;
    IdleEngineKeeper& operator=(const IdleEngineKeeper&) = delete;

    // Thrown by acquire() once the keeper is closed.
    class Closed : public std::runtime_error {
    public:
        Closed() : std::runtime_error("the engine is no longer available: the application is ending") {}
    };

    // The engine for one use; the idle time counts from the end of the last use.
    class Lease {
    public:
        Lease(Lease&& other) noexcept : keeper_(std::exchange(other.keeper_, nullptr)), engine_(std::move(other.engine_)) {}
        Lease& operator=(Lease&&) = delete;
        ~Lease() {
            if (!keeper_) return;
            // An engine discarded meanwhile goes with its last lease, before the use counts as
            // ended: close() then finds nothing of it left running.
            engine_.reset();
            keeper_->finished();
        }
        const std::shared_ptr<void>& engine() const { return engine_; }
        // The engine failed this use: the keeper lets it go (it goes once no lease holds it), and
        // the next use makes a new one.
        void discard() {
            if (keeper_) keeper_->discard(engine_);
        }

    private:
        friend class IdleEngineKeeper;
        Lease(IdleEngineKeeper* keeper, std::shared_ptr<void> engine) : keeper_(keeper), engine_(std::move(engine)) {}
        IdleEngineKeeper* keeper_;
        std::shared_ptr<void> engine_;
    };

    // Makes the engine when none is held; what the maker throws reaches the caller. Throws Closed
    // once the keeper is closed.
    Lease acquire();
    bool holdsEngine() const;
    // Lets the engine go when no use runs and the last ended at least the idle time ago.
    bool releaseIfIdle();
    // The injected clock moved: the watcher looks again.
    void clockMoved();
    // For the end of the process, before its libraries are finalised: no use begins any more, the
    // uses running are waited for, the engine is let go and the watcher stopped, all on this
    // thread. Nothing of the engine runs after it returns. Idempotent.
    void close();

private:
    void finished();
    void discard(const std::shared_ptr<void>& engine);
    void watch();
    std::chrono::steady_clock::time_point now() const;

    Maker make_;
    std::chrono::steady_clock::duration idle_;
    Clock clock_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<void> engine_;
    int uses_ = 0;
    std::chrono::steady_clock::time_point lastUse_{};
    bool watching_ = false;
    bool stopping_ = false;
    bool closed_ = false;
    std::thread watcher_;
};

} // namespace DetectionKit
