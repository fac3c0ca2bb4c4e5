#pragma once

#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Onboarding/WalkthroughEnvironment.h"
#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QPointer>

#include <map>
#include <memory>

namespace OnboardingTests {

// A clock the test moves: delayed work runs when the test advances past its time, in time order,
// and only while its context object still exists.
class FakeClock final : public BrindlecastApp::WalkthroughClock {
public:
    double now() const override { return now_; }
    void after(double seconds, QObject* context, std::function<void()> work) override {
        pending_.emplace(now_ + seconds, Pending{QPointer<QObject>(context), std::move(work)});
    }
    void advance(double seconds) {
        const double until = now_ + seconds;
        while (!pending_.empty() && pending_.begin()->first <= until + 1e-9) {
            auto node = pending_.extract(pending_.begin());
            now_ = node.key();
            if (node.mapped().context) node.mapped().work();
        }
        now_ = until;
    }
    std::size_t pendingCount() const { return pending_.size(); }

private:
    struct Pending {
        QPointer<QObject> context;
        std::function<void()> work;
    };
    double now_ = 100;
    std::multimap<double, Pending> pending_;
};

// The platform as the tests see it: access as `granted` says, requests and openings counted.
struct FakePlatform {
    bool granted = false;
    int accessChecks = 0;
    std::vector<std::string> calls; // "request", "open", in order
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();

    BrindlecastApp::WalkthroughEnvironment environment() {
        BrindlecastApp::WalkthroughEnvironment env;
        env.accessGranted = [this] {
            ++accessChecks;
            return granted;
        };
        env.requestAccess = [this] { calls.push_back("request"); };
        env.openSettings = [this] { calls.push_back("open"); };
        env.clock = clock;
        return env;
    }
};

// A theme over a preference file of its own, in one scheme.
struct ThemeFixture {
    explicit ThemeFixture(bool dark = false)
        : defaults(TestSupport::makeTemporaryFolder("theme") + "/preferences.json"), theme(&defaults) {
        theme.setMode(dark ? BrindlecastApp::ThemeMode::dark : BrindlecastApp::ThemeMode::light);
    }
    Support::UserDefaults defaults;
    BrindlecastApp::Theme theme;
};

// Turns reduce motion on for a scope.
struct ReducedMotion {
    ReducedMotion() { BrindlecastApp::DesktopSettings::instance().setReduceMotion(true); }
    ~ReducedMotion() { BrindlecastApp::DesktopSettings::instance().setReduceMotion(false); }
};

inline QString artefactsFolder() {
    QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (folder.isEmpty()) folder = TestSupport::makeTemporaryFolder("artefacts");
    QDir().mkpath(folder);
    return folder;
}

} // namespace OnboardingTests
