// The settings window and the policy diagnostics window over large preference files, on the
// offscreen platform:
// - BM_ActivatePrivacy/N: the settings window on its Privacy page with N custom patterns of the
//   user's own; one run activates the window (which resolves the policy again) and lets it settle,
//   as a person switching back to it would. "first_s" is the time the page took to open.
// - BM_RegradePattern/N: the same page; one run makes the last pattern Required (or Suggested
//   again), which writes the preference file, resolves and redraws the page.
// - BM_OpenDiagnostics/N: the diagnostics view of a managed file with N unknown destination
//   strings (about 5 bytes each), built, shown and painted once. "rss_MiB" is the resident
//   memory afterwards.
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Settings/PolicyDiagnosticsView.h"
#include "BrindlecastApp/Settings/PolicySettings.h"
#include "BrindlecastApp/Settings/SettingsWindow.h"
#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "PolicyKit/EffectivePolicy.h"
#include "Support/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "ResidentMemory.h"

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace BrindlecastApp;
using nlohmann::json;

namespace {

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// A managed folder owned by whoever runs the benchmark and a user preference file beside it.
struct Folders {
    Folders() {
        managed = PolicyKit::ManagedFolder{root.path() + "/managed", ::geteuid(), root.path()};
        QDir().mkpath(managed.path);
        ::chmod(QFile::encodeName(root.path()).constData(), 0755);
        ::chmod(QFile::encodeName(managed.path).constData(), 0755);
    }
    PolicyKit::PreferenceStore store() const { return PolicyKit::PreferenceStore::live(managed, root.path() + "/user.json"); }
    void setManaged(const json& values) const {
        const QString path = managed.path + "/10-org.json";
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray::fromStdString(values.dump()));
        file.close();
        ::chmod(QFile::encodeName(path).constData(), 0644);
    }

    QTemporaryDir root;
    PolicyKit::ManagedFolder managed;
};

json patterns(int count) {
    json list = json::array();
    for (int i = 0; i < count; ++i)
        list.push_back({{"Name", "Pattern " + std::to_string(i)}, {"Regex", "TICKET-" + std::to_string(i) + "-[0-9]{4}"},
                        {"Action", i % 2 ? "blurMandatory" : "blurSuggested"}});
    return list;
}

// The settings window on its Privacy page over a user file of `count` patterns; "opening_s" is the
// time it took to come on screen with its page.
struct PrivacyWindow {
    explicit PrivacyWindow(int count) {
        folders.store().setUserValue("PIIPatterns", patterns(count));
        SettingsWindowOptions options;
        options.store = folders.store();
        QElapsedTimer opening;
        opening.start();
        controller = std::make_unique<SettingsWindowController>(&theme, &settings, SettingsTab::privacy, options);
        controller->present();
        settle();
        opening_s = double(opening.nsecsElapsed()) / 1e9;
    }

    Folders folders;
    QTemporaryDir home;
    Support::UserDefaults defaults{home.path() + "/preferences.json"};
    DesktopSettings desktop;
    Theme theme{&defaults, &desktop};
    AppSettings settings{&defaults};
    std::unique_ptr<SettingsWindowController> controller;
    double opening_s = 0;
};

void BM_ActivatePrivacy(benchmark::State& state) {
    PrivacyWindow window(int(state.range(0)));
    state.counters["first_s"] = window.opening_s;
    for (auto _ : state) {
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(window.controller->window(), &activate);
        settle();
    }
}

// One re-grade of the last pattern from the page's own model, and the page redrawn after it.
void BM_RegradePattern(benchmark::State& state) {
    PrivacyWindow window(int(state.range(0)));
    const QString last = QString("Pattern %1").arg(state.range(0) - 1);
    bool mandatory = false;
    for (auto _ : state) {
        mandatory = !mandatory;
        window.controller->view()->policySettings()->setCustomPatternAction(
            last, mandatory ? PolicyKit::PIIAction::blurMandatory : PolicyKit::PIIAction::blurSuggested);
        settle();
    }
}
BENCHMARK(BM_RegradePattern)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK(BM_ActivatePrivacy)->Arg(100)->Arg(300)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OpenDiagnostics(benchmark::State& state) {
    Folders folders;
    json unknown = json::array();
    // One or two letters each: many repeated lines and a few thousand distinct ones, under 1 MB.
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int i = 0; i < state.range(0); ++i) {
        std::string name(1, letters[size_t(i) % letters.size()]);
        if (i % 2) name += letters[size_t(i / 62) % letters.size()];
        unknown.push_back(name);
    }
    folders.setManaged({{"AllowedExportDestinations", unknown}});
    const PolicyKit::PolicyResolution resolution = PolicyKit::EffectivePolicy::resolve(folders.store());
    state.counters["lines"] = double(resolution.diagnostics.size());
    for (auto _ : state) {
        PolicyDiagnosticsView view(resolution.policy, resolution.diagnostics);
        view.show();
        settle();
        view.repaint();
        state.counters["rss_MiB"] = double(residentKiB()) / 1024;
    }
}
BENCHMARK(BM_OpenDiagnostics)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
