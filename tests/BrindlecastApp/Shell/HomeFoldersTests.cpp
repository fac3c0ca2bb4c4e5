// A home folder whose name is not UTF-8 ("j\xfcrgen" in Latin-1): the preferences, the audit buffer,
// the autostart entry, the single-instance guard and the Pictures folder all lie below it, by its
// own bytes, and are read and written there; no look-alike folder with U+FFFD is made beside it.
#include "AuditKit/OfflineBuffer.h"
#include "AuditKit/WebhookSink.h"
#include "BrindlecastApp/Channel/AgentLoginLaunch.h"
#include "BrindlecastApp/Pipeline/FreedesktopTrash.h"
#include "BrindlecastApp/Shell/SingleInstance.h"
#include "Support/AtomicFile.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QScopeGuard>
#include <QSysInfo>
#include <QUuid>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace FileNames = Support::FileNames;

namespace {

// Sets the variables to the given bytes (nothing: unset) and puts them back at the end.
class Environment {
public:
    void set(const char* name, const std::optional<QByteArray>& value) {
        saved_.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        if (value) qputenv(name, *value);
        else qunsetenv(name);
    }
    ~Environment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) qputenv(it->first, *it->second);
            else qunsetenv(it->first);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved_;
};

} // namespace

TEST(HomeFolders, EverythingKeptForTheUserLiesInTheHomeByItsOwnBytes) {
    const QByteArray parent = FileNames::encode(TestSupport::makeTemporaryFolder("homes"));
    const QByteArray home = parent + "/j\xfcrgen";
    const auto removed = qScopeGuard([&] { std::filesystem::remove_all(home.toStdString()); });
    Support::Folders::create(FileNames::decode(home));
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    struct Case {
        const char* name;
        std::function<QString()> path;
        QByteArray withoutVariables; // below the home
        QByteArray withVariables;    // each variable naming a folder of its own, below the home too
    };
    const Case cases[] = {
        {"preferences", &Support::UserDefaults::defaultPath, "/.config/app.brindlecast/preferences.json",
         "/c\xe9/app.brindlecast/preferences.json"},
        {"audit buffer", &AuditKit::WebhookSink::defaultBufferDirectory, "/.local/share/Brindlecast/audit-buffer",
         "/d\xe9/Brindlecast/audit-buffer"},
        {"autostart entry", &BrindlecastApp::AgentLoginLaunch::defaultEntryPath, "/.config/autostart/app.brindlecast.desktop",
         "/c\xe9/autostart/app.brindlecast.desktop"},
        {"guard", &BrindlecastApp::SingleInstance::defaultFolder, "/.cache/app.brindlecast/instance-" + host,
         "/k\xe9/app.brindlecast/instance-" + host},
        {"pictures", &Support::Folders::pictures, "/Pictures", "/Pictures"},
    };
    for (const bool variables : {false, true}) {
        Environment environment;
        environment.set("HOME", home);
        environment.set("XDG_RUNTIME_DIR", std::nullopt);
        environment.set("XDG_CONFIG_HOME", variables ? std::optional(home + "/c\xe9") : std::nullopt);
        environment.set("XDG_DATA_HOME", variables ? std::optional(home + "/d\xe9") : std::nullopt);
        environment.set("XDG_CACHE_HOME", variables ? std::optional(home + "/k\xe9") : std::nullopt);
        for (const Case& c : cases)
            EXPECT_EQ(FileNames::encode(c.path()), home + (variables ? c.withVariables : c.withoutVariables))
                << c.name << (variables ? " with" : " without") << " variables";

        // What is stored there is read back from there.
        Support::UserDefaults(Support::UserDefaults::defaultPath()).setValue("settings.playCaptureSound", false);
        EXPECT_EQ(Support::UserDefaults(Support::UserDefaults::defaultPath()).value("settings.playCaptureSound"),
                  nlohmann::json(false));
        AuditKit::OfflineBuffer buffer(AuditKit::WebhookSink::defaultBufferDirectory(), 10);
        EXPECT_TRUE(buffer.append(AuditKit::AuditRecord(AuditKit::AuditEvent::policyViolation("test", "kept"),
                                                        QDateTime::currentDateTimeUtc(), QUuid::createUuid(), "host", "user")));
        EXPECT_EQ(AuditKit::OfflineBuffer(AuditKit::WebhookSink::defaultBufferDirectory(), 10).readAll().size(), 1u);
        BrindlecastApp::SingleInstance guard;
        EXPECT_TRUE(guard.claim());
        BrindlecastApp::Pipeline::FreedesktopTrash trash;
        Support::AtomicFile::write(FileNames::decode(home + "/shot.png"), "png");
        EXPECT_NO_THROW(trash.moveToTrash(FileNames::decode(home + "/shot.png")));
        const QByteArray data = variables ? "/d\xe9" : "/.local/share";
        EXPECT_TRUE(TestSupport::rawNames(home + data + "/Trash/files").contains("shot.png"));
    }
    EXPECT_EQ(TestSupport::rawNames(parent), QList<QByteArray>{"j\xfcrgen"}) << "a folder was made beside the home";
}
