// The real app with its engine module cut short, as an interrupted copy or a disk that filled
// during an upgrade leaves it: a folder of the test's stands in for the module's folder through a
// mount namespace of the app's own. The app keeps running and asks to be installed again; a
// capture is written when nothing mandatory waits for its findings, refused when something does,
// and once the module is whole again the next capture loads it.
#include "AppDriver.h"

#include <link.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

using namespace EndToEnd;

// Where the module's loadable segments end in its file.
qsizetype loadableEnd(const QByteArray& module) {
    ElfW(Ehdr) header;
    std::memcpy(&header, module.constData(), sizeof header);
    qsizetype end = 0;
    for (int i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment;
        std::memcpy(&segment, module.constData() + header.e_phoff + i * sizeof segment, sizeof segment);
        if (segment.p_type == PT_LOAD) end = std::max(end, qsizetype(segment.p_offset + segment.p_filesz));
    }
    return end;
}

class DamagedModuleEndToEnd : public AppDriverTest {
protected:
    void SetUp() override {
        AppDriverTest::SetUp();
        if (IsSkipped()) return;
        REQUIRE_PROGRAM("journalctl");
        if (!canGiveManagedPolicy()) GTEST_SKIP() << "a module folder of the test's needs root and unshare";
        if (!journalIsRunning()) GTEST_SKIP() << "no journald is running";
        engines_ = TestSupport::makeFolderReachableByAll("engines");
    }

    // The module's file in the test's folder, put in place as a package manager does: whole, by
    // renaming.
    void installModule(const QByteArray& bytes) {
        const QString path = engines_ + "/" + QFileInfo(BRINDLECAST_ENGINE_MODULE).fileName();
        TestSupport::writeFile(path + ".new", bytes);
        ASSERT_TRUE(QFile::setPermissions(path + ".new", QFile::permissions(BRINDLECAST_ENGINE_MODULE)));
        ASSERT_EQ(std::rename(QFile::encodeName(path + ".new").constData(), QFile::encodeName(path).constData()), 0);
    }

    QProcess* startAppWithTheTestsModule() {
        return startAppInOwnMounts(R"(mount --bind "$1" "$2")",
                                   {engines_, QFileInfo(BRINDLECAST_ENGINE_MODULE).absolutePath()});
    }

    // How many times the app logged that the module could not be loaded for what `damage` says.
    int moduleRefusals(QProcess* app, const QString& damage) {
        const QString line = QStringLiteral("recognition engines could not be loaded: %1: %2").arg(BRINDLECAST_ENGINE_MODULE, damage);
        const QStringList log = appLog(app->processId());
        return int(std::count_if(log.begin(), log.end(), [&](const QString& logged) { return logged.contains(line); }));
    }

    QString engines_;
};

} // namespace

TEST_F(DamagedModuleEndToEnd, AModuleCutShortAsksForAnInstallAndLosesNoCapture) {
    const QByteArray module = TestSupport::readFile(BRINDLECAST_ENGINE_MODULE);
    const struct {
        qsizetype cut;
        bool mandatory;
        bool repaired;
    } rows[] = {{4096, false, false}, {4096, true, false}, {loadableEnd(module) - 1, false, false},
                {loadableEnd(module) - 1, true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(QString("cut at %1 bytes, %2 mandatory").arg(row.cut).arg(row.mandatory ? "a pattern" : "nothing").toStdString());
        nlohmann::json preferences = {{"settings.copyToClipboardAutomatically", false},
                                      {"settings.openEditorAfterCapture", true},
                                      {"settings.showFloatingThumbnail", false}};
        if (row.mandatory)
            preferences["PIIPatterns"] = {{{"Name", "Codename"}, {"Regex", "BLUE[A-Z]+"}, {"Action", "blurMandatory"}}};
        writePreferences(home_, preferences);
        installModule(module.left(row.cut));
        QProcess* app = startAppWithTheTestsModule();
        ASSERT_EQ(app->state(), QProcess::Running);

        const QString damage = QStringLiteral("cut short at %1 bytes").arg(row.cut);
        const int before = workingCopies().size();
        xdotool({"key", "super+shift+9"});
        if (row.mandatory) {
            // The capture waits for its findings, and is refused with the alert.
            answerAlert("the capture refused with the module cut short");
            ASSERT_FALSE(HasFatalFailure());
            EXPECT_EQ(workingCopies().size(), before) << "a capture was written before its findings were known";
        } else {
            // Nothing waits for its findings: it is written and opens in the editor, and the alert
            // says why nothing was found.
            ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == before + 1; }, 60000)) << "no working copy";
            EXPECT_FALSE(waitForWindow(exactTitle(QFileInfo(workingCopies().last()).fileName())).isEmpty()) << "no editor";
            answerAlert("detection with the module cut short");
            ASSERT_FALSE(HasFatalFailure());
        }
        EXPECT_TRUE(waitUntil([&] { return moduleRefusals(app, damage) == 1; }, 20000))
            << appLog(app->processId()).join('\n').toStdString();
        ASSERT_EQ(app->state(), QProcess::Running);

        // Installed again: the next capture loads the module, so its mandatory search is made.
        if (row.repaired) {
            installModule(module);
            xdotool({"key", "super+shift+9"});
            EXPECT_TRUE(waitUntil([&] { return workingCopies().size() == before + 1; }, 120000))
                << appLog(app->processId()).join('\n').toStdString();
            EXPECT_EQ(moduleRefusals(app, ""), 1);
        }
        expectCleanEnd(app);
        if (HasFatalFailure()) return;
    }
}
