// The organisation's policy written while a capture is under way, under the real app binary on the
// test session's display: the automatic copy leaves seconds after the hot key (personal data is
// looked for in between), and goes by the policy of that moment, not of the hot key. The managed
// policy folder is one of the test's, given to the app through a mount namespace of its own.
#include "AppDriver.h"

#include <nlohmann/json.hpp>

#include <QFile>

namespace {

using namespace EndToEnd;

class LivePolicyEndToEnd : public AppDriverTest {
protected:
    void SetUp() override {
        AppDriverTest::SetUp();
        if (IsSkipped()) return;
        REQUIRE_PROGRAM("xclip");
        REQUIRE_PROGRAM("journalctl");
        if (!canGiveManagedPolicy()) GTEST_SKIP() << "a managed policy for the app needs root and unshare";
        if (!journalIsRunning()) GTEST_SKIP() << "no journald is running";
        managed_ = TestSupport::makeFolderReachableByAll("managed");
        environment_.remove("DBUS_SESSION_BUS_ADDRESS");
    }

    // The organisation's policy, written as a whole at once.
    void writeManagedPolicy(const nlohmann::json& policy) {
        TestSupport::writeFile(managed_ + "/policy.json.new", QByteArray::fromStdString(policy.dump()));
        ASSERT_TRUE(QFile::rename(managed_ + "/policy.json.new", managed_ + "/policy.json"));
    }

    QString managed_;
};

} // namespace

// The user copies automatically and nothing is mandatory when the hot key is pressed. Once the
// working copy is written (the capture read its policy before), the organisation makes the
// codename on screen mandatory, or takes the clipboard away: the copy is withheld, where it used
// to land on the clipboard with the codename in clear. With nothing written, the copy lands.
TEST_F(LivePolicyEndToEnd, TheAutomaticCopyGoesByThePolicyWrittenDuringTheCapture) {
    const ShownText codename = showText("Codename BLUEHERON", "Brindlecast test codename", QPoint(200, 150));
    ASSERT_FALSE(codename.window.isEmpty()) << "the codename did not show";
    writePreferences(home_, {{"settings.copyToClipboardAutomatically", true},
                             {"settings.openEditorAfterCapture", false},
                             {"settings.showFloatingThumbnail", false},
                             {"MandatoryReview", false}});
    struct Row {
        const char* written;
        nlohmann::json policy;
        QString withheldBecause;
    };
    const Row rows[] = {
        {"nothing", nullptr, ""},
        {"the codename made mandatory",
         {{"PIIPatterns", {{{"Name", "Codename"}, {"Regex", "BLUE[A-Z]+"}, {"Action", "blurMandatory"}}}}},
         "a finding is mandatory"},
        {"only the folder allowed", {{"AllowedExportDestinations", {"folder"}}}, "the policy does not allow the clipboard"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.written);
        QFile::remove(managed_ + "/policy.json");
        // A new app for each: its engines load with the search, so the copy leaves seconds later.
        QProcess* app = startAppWithManagedPolicy(managed_);
        ASSERT_EQ(app->state(), QProcess::Running);
        clearClipboard();
        const int before = workingCopies().size();
        xdotool({"key", "super+shift+9"});
        ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == before + 1; }, 60000)) << "no working copy";
        if (!row.policy.is_null()) writeManagedPolicy(row.policy);

        if (row.withheldBecause.isEmpty()) {
            QImage copied;
            ASSERT_TRUE(waitUntil([&] { return !(copied = clipboardPNG()).isNull(); }, 60000)) << "nothing copied";
            const QImage screen = QImage(workingCopies().last()).convertToFormat(QImage::Format_RGB32);
            EXPECT_EQ(differingPixels(copied.copy(codename.ink), screen.copy(codename.ink)), 0)
                << "the codename was hidden though nothing made it mandatory";
        } else {
            const QString line = "auto-copy skipped: " + row.withheldBecause;
            EXPECT_TRUE(waitUntil([&] { return appLog(app->processId()).contains(line); }, 60000))
                << "never logged \"" << line.toStdString() << "\"; it logged:\n"
                << appLog(app->processId()).join('\n').toStdString();
            EXPECT_TRUE(clipboardPNG().isNull()) << "the automatic copy reached the clipboard";
        }
        expectCleanEnd(app);
        if (HasFatalFailure()) return;
    }
}
