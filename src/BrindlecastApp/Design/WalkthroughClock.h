#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace BrindlecastApp {

// The time the walkthrough lives by: a monotonic "now" for its animations and delayed work that
// is dropped when its context object is gone. The app uses the real clock; tests drive their own.
class WalkthroughClock {
public:
    virtual ~WalkthroughClock() = default;

    // Seconds since some fixed moment; never goes back.
    virtual double now() const = 0;
    // Runs `work` once, on the GUI thread, `seconds` from now, unless `context` is destroyed first.
    virtual void after(double seconds, QObject* context, std::function<void()> work) = 0;

    // The monotonic clock with single-shot Qt timers.
    static std::shared_ptr<WalkthroughClock> real();
};

} // namespace BrindlecastApp
