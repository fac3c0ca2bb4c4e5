#include "BrindlecastApp/Design/WalkthroughClock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cmath>

namespace BrindlecastApp {

namespace {

class RealClock final : public WalkthroughClock {
public:
    RealClock() { started_.start(); }

    double now() const override { return started_.nsecsElapsed() / 1e9; }

    void after(double seconds, QObject* context, std::function<void()> work) override {
        QTimer::singleShot(static_cast<int>(std::lround(seconds * 1000)), Qt::PreciseTimer, context, std::move(work));
    }

private:
    QElapsedTimer started_;
};

} // namespace

std::shared_ptr<WalkthroughClock> WalkthroughClock::real() {
    static const std::shared_ptr<WalkthroughClock> clock = std::make_shared<RealClock>();
    return clock;
}

} // namespace BrindlecastApp
