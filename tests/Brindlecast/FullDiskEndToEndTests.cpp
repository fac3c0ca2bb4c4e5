// The real app with one of its folders on a full disk: a 64 KB tmpfs in a mount namespace of the
// app's own, seeded and then filled to the last page before the app starts. What it wrote there
// is read through /proc/<pid>/root, which shows the app's mounts.
#include "AppDriver.h"

#include "AuditKit/AuditJSON.h"
#include "AuditKit/AuditRecord.h"

#include <nlohmann/json.hpp>

#include <QFile>
#include <QTest>

#include <cstdio>
#include <map>
#include <sys/statvfs.h>

namespace {

using namespace EndToEnd;

class FullDiskEndToEnd : public AppDriverTest {
protected:
    void SetUp() override {
        AppDriverTest::SetUp();
        if (IsSkipped()) return;
        REQUIRE_PROGRAM("python3");
        if (::geteuid() != 0 || !TestSupport::hasProgram("unshare")) GTEST_SKIP() << "a tmpfs for the app needs root and unshare";
        seed_ = TestSupport::makeTemporaryFolder("seed");
    }

    // Starts the app with `folder` on a full tmpfs holding what the test put in seed_, and waits as
    // startApp() does.
    QProcess* startAppOnFullDisk(const QString& folder, const QStringList& arguments = {}) {
        const QString script = R"(mkdir -p "$1"
mount -t tmpfs -o size=64k,mode=0700 tmpfs "$1"
cp -a "$2/." "$1/"
dd if=/dev/zero of="$1/.filler" bs=4096 2>/dev/null || true)";
        QProcess* app = startAppInOwnMounts(script, {folder, seed_}, arguments);
        folder_ = QString("/proc/%1/root%2").arg(app->processId()).arg(folder);
        return app;
    }

    // The full folder as the app sees it.
    QString inFullFolder(const QString& name) const { return folder_ + "/" + name; }

    bool diskIsFull() const {
        struct statvfs info {};
        return ::statvfs(QFile::encodeName(folder_).constData(), &info) == 0 && info.f_bavail == 0;
    }

    void freeTheDisk() { ASSERT_TRUE(QFile::remove(inFullFolder(".filler"))); }

    void fillTheDisk() {
        QFile filler(inFullFolder(".filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray page(4096, '\0');
        while (filler.write(page) == page.size() && filler.flush()) {
        }
        filler.close();
        ASSERT_TRUE(diskIsFull());
    }

    QString seed_;
    QString folder_;
};

// How many times the webhook accepted each event ID, from the loopback server's log.
std::map<std::string, int> acceptedByEventID(const QString& log) {
    std::map<std::string, int> accepted;
    for (const QByteArray& line : TestSupport::readFile(log).split('\n')) {
        const nlohmann::json request = nlohmann::json::parse(line.toStdString(), nullptr, false);
        if (!request.is_object() || request.value("status", 0) / 100 != 2) continue;
        const nlohmann::json record = nlohmann::json::parse(request.value("body", ""), nullptr, false);
        if (record.is_object()) ++accepted[record.value("eventID", "")];
    }
    return accepted;
}

} // namespace

// With the disk under the audit buffer full, a delivered record could not be taken out of the
// buffer, and every capture's records (still appended, into the file's last page) started a pass
// that posted all 40 buffered records again: 6 times each after 3 captures. Each is accepted once,
// and the failed rewrite is logged once; once the disk has room, a capture's pass posts none of
// them again either.
TEST_F(FullDiskEndToEnd, FortyRecordsBufferedOnAFullDiskAreEachAcceptedOnce) {
    // The records end early in the file's last page: the captures' records still fit there, as on
    // the disk the fault was seen on, while a rewrite finds no page free.
    QByteArray buffered;
    std::vector<std::string> seededIDs;
    const auto endsEarlyInAPage = [](qsizetype size) { return size % 4096 > 0 && size % 4096 <= 600; };
    for (int padding = 0; !endsEarlyInAPage(buffered.size()); padding += 8) {
        buffered.clear();
        seededIDs.clear();
        for (int n = 1; n <= 40; ++n) {
            const AuditKit::AuditRecord record = AuditKit::AuditRecord::now(AuditKit::AuditEvent::policyViolation(
                "test", QString("buffered before the start %1 %2").arg(n).arg(QString(padding, '.'))));
            buffered += AuditKit::AuditJSON::encode(record) + '\n';
            seededIDs.push_back(record.eventID.toString(QUuid::WithoutBraces).toUpper().toStdString());
        }
    }
    TestSupport::writeFile(seed_ + "/audit-buffer.jsonl", buffered);
    const QString webhookLog = home_ + "/webhook.jsonl";
    const QUrl webhook = startLoopbackWebhook(webhookLog);
    writePreferences(home_, {{"settings.openEditorAfterCapture", false},
                             {"settings.showFloatingThumbnail", false},
                             {"AuditWebhookURL", webhook.toString().toStdString()}});

    QProcess* app = startAppOnFullDisk(home_ + "/data/Brindlecast/audit-buffer");
    ASSERT_EQ(app->state(), QProcess::Running);
    ASSERT_TRUE(diskIsFull()) << "the tmpfs has room left";

    for (int capture = 1; capture <= 3; ++capture) {
        xdotool({"key", "super+shift+9"});
        ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == capture; }, 60000))
            << "capture " << capture << " wrote no working copy";
    }
    // Until nothing more arrives for a while: the passes the captures started have all run.
    std::map<std::string, int> accepted;
    std::size_t posts = 0;
    waitUntil([&] {
        QTest::qWait(3000);
        const std::size_t before = posts;
        accepted = acceptedByEventID(webhookLog);
        posts = 0;
        for (const auto& [id, times] : accepted) posts += std::size_t(times);
        return posts == before && accepted.size() > seededIDs.size();
    }, 120000);
    int seededPosts = 0;
    for (const std::string& id : seededIDs) {
        const int times = accepted.count(id) ? accepted.at(id) : 0;
        seededPosts += times;
        EXPECT_EQ(times, 1) << id;
    }
    std::printf("%zu buffered records accepted %d times in all, %zu records accepted %zu times in all\n",
                seededIDs.size(), seededPosts, accepted.size(), posts);
    for (const auto& [id, times] : accepted) EXPECT_EQ(times, 1) << id;
    EXPECT_GT(accepted.size(), seededIDs.size() + 2) << "the captures' own records were not all delivered";
    if (journalIsRunning()) {
        EXPECT_EQ(appLog(app->processId()).filter("audit-buffer.jsonl could not be rewritten").size(), 1)
            << appLog(app->processId()).join('\n').toStdString();
    }

    freeTheDisk();
    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 4; }, 60000));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(inFullFolder("audit-buffer.jsonl")); }, 30000))
        << "the delivered records stayed in the buffer once it had room";
    const std::map<std::string, int> afterwards = acceptedByEventID(webhookLog);
    for (const auto& [id, times] : afterwards) EXPECT_EQ(times, 1) << id;
    EXPECT_GT(afterwards.size(), accepted.size());
}

// A setting changed while the preferences file could not be written changed the checkbox and the
// app's behaviour, wrote nothing, told nobody, and was back at the next start. A change in the
// settings window now raises an alert, once while the disk stays full; the first change once it has
// room is stored, and the disk full again is told again.
TEST_F(FullDiskEndToEnd, ASettingThatCannotBeSavedIsToldOncePerFullDisk) {
    const nlohmann::json stored{{"settings.openEditorAfterCapture", true}};
    TestSupport::writeFile(seed_ + "/preferences.json", QByteArray::fromStdString(stored.dump()));
    QProcess* app = startAppOnFullDisk(home_ + "/config/app.brindlecast", {"--preview-settings", "general"});
    ASSERT_EQ(app->state(), QProcess::Running);
    const QString settings = waitForWindow("^Settings$");
    ASSERT_FALSE(settings.isEmpty()) << "no settings window";
    const auto storedValue = [&] {
        const nlohmann::json now = nlohmann::json::parse(TestSupport::readFile(inFullFolder("preferences.json")).toStdString(),
                                                         nullptr, false);
        return now.is_object() ? now.value("settings.openEditorAfterCapture", nlohmann::json()) : nlohmann::json();
    };
    // "Open editor after capture" on the General page, where the settings tests find it.
    const auto clickOpenEditorRow = [&] {
        xdotool({"windowactivate", "--sync", settings});
        xdotool({"mousemove", "--window", settings, "200", "371"});
        xdotool({"click", "1"});
    };
    const auto noAlertFor = [&](int ms) {
        QTest::qWait(ms);
        return shownWindows("^Brindlecast$").isEmpty();
    };

    // The start writes the settings the file lacks, and the preview its scheme as the theme's
    // mode: neither can be stored, which is told once.
    answerAlert("the settings the start could not store");
    if (HasFatalFailure()) return;
    clickOpenEditorRow();
    EXPECT_TRUE(noAlertFor(1500)) << "told again while the disk stayed full";
    EXPECT_EQ(storedValue(), nlohmann::json(true));

    freeTheDisk();
    clickOpenEditorRow();
    clickOpenEditorRow();
    EXPECT_TRUE(waitUntil([&] { return storedValue() == nlohmann::json(false); }, 10000))
        << "the change was not stored once the disk had room";
    EXPECT_TRUE(noAlertFor(0));

    fillTheDisk();
    clickOpenEditorRow();
    answerAlert("the setting that could not be saved");
    if (HasFatalFailure()) return;
    EXPECT_EQ(storedValue(), nlohmann::json(false));
    clickOpenEditorRow();
    clickOpenEditorRow();
    EXPECT_TRUE(noAlertFor(1500)) << "told again while the disk stayed full";
    EXPECT_EQ(storedValue(), nlohmann::json(false));
}
