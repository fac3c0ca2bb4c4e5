#include "DetectionKit/IdleEngineKeeper.h"

#include "Support/HeapRelease.h"

namespace DetectionKit {

namespace {

// The engine, destroyed outside the keeper's lock (stopping recognition threads takes a while),
// and the heap it used handed back to the system.
void letGo(std::shared_ptr<void> engine) {
    engine.reset();
    Support::releaseFreeHeap();
}

} // namespace

IdleEngineKeeper::IdleEngineKeeper(Maker make, std::chrono::steady_clock::duration idle, Clock clock)
    : make_(std::move(make)), idle_(idle), clock_(std::move(clock)) {}

IdleEngineKeeper::~IdleEngineKeeper() { close(); }

void IdleEngineKeeper::close() {
    std::shared_ptr<void> dying;
    {
        std::unique_lock lock(mutex_);
        closed_ = true;
        stopping_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return uses_ == 0; });
        dying = std::move(engine_);
    }
    // The watcher may be letting an idle engine go; it is waited for, then this one goes.
    if (watcher_.joinable()) watcher_.join();
    if (dying) letGo(std::move(dying));
}

std::chrono::steady_clock::time_point IdleEngineKeeper::now() const {
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

IdleEngineKeeper::Lease IdleEngineKeeper::acquire() {
    std::unique_lock lock(mutex_);
    if (closed_) throw Closed();
    if (!engine_) engine_ = make_();
    ++uses_;
    if (!watching_) {
        // The last watcher has returned or is about to (it no longer takes the lock).
        if (watcher_.joinable()) watcher_.join();
        watching_ = true;
        watcher_ = std::thread([this] { watch(); });
    }
    return Lease(this, engine_);
}

bool IdleEngineKeeper::holdsEngine() const {
    std::lock_guard lock(mutex_);
    return engine_ != nullptr;
}

bool IdleEngineKeeper::releaseIfIdle() {
    std::shared_ptr<void> dying;
    {
        std::lock_guard lock(mutex_);
        if (!engine_ || uses_ > 0 || now() - lastUse_ < idle_) return false;
        dying = std::move(engine_);
    }
    changed_.notify_all();
    letGo(std::move(dying));
    return true;
}

void IdleEngineKeeper::clockMoved() { changed_.notify_all(); }

void IdleEngineKeeper::discard(const std::shared_ptr<void>& engine) {
    std::shared_ptr<void> failed;
    {
        std::lock_guard lock(mutex_);
        // Another use may have discarded it already, and a new engine be held since.
        if (!engine_ || engine_ != engine) return;
        failed = std::move(engine_);
    }
    // The watcher, with no engine left, ends; the failing lease still holds this one.
    changed_.notify_all();
}

void IdleEngineKeeper::finished() {
    {
        std::lock_guard lock(mutex_);
        --uses_;
        lastUse_ = now();
    }
    changed_.notify_all();
}

void IdleEngineKeeper::watch() {
    std::unique_lock lock(mutex_);
    while (!stopping_ && engine_) {
        if (uses_ > 0) {
            changed_.wait(lock);
            continue;
        }
        const auto left = lastUse_ + idle_ - now();
        if (left > std::chrono::steady_clock::duration::zero()) {
            changed_.wait_for(lock, left);
            continue;
        }
        std::shared_ptr<void> dying = std::move(engine_);
        lock.unlock();
        letGo(std::move(dying));
        lock.lock();
    }
    watching_ = false;
}

} // namespace DetectionKit
