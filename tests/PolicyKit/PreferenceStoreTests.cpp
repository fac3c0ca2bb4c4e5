#include "PolicyKit/EffectivePolicy.h"
#include "PolicyKit/PreferenceStore.h"
#include "Support/IoError.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace PolicyKit;
using nlohmann::json;

namespace {

// A managed folder below a temporary root that stands in for "/", owned by whoever runs the test.
class LiveStore : public testing::Test {
protected:
    void SetUp() override {
        root_ = TestSupport::makeFolderReachableByAll("policy-root");
        managedPath_ = root_ + "/etc/brindlecast/policies/managed";
        ASSERT_TRUE(QDir().mkpath(managedPath_));
        for (QString folder = managedPath_; folder.startsWith(root_); folder = QFileInfo(folder).path()) {
            ::chmod(QFile::encodeName(folder).constData(), 0755);
        }
        userFile_ = root_ + "/config/app.brindlecast/preferences.json";
    }

    ManagedFolder managed() const { return ManagedFolder{managedPath_, ::geteuid(), root_}; }
    PreferenceStore store() const { return PreferenceStore::live(managed(), userFile_); }

    QString writeManaged(const QString& name, const QByteArray& bytes, mode_t mode = 0644) {
        const QString path = managedPath_ + '/' + name;
        TestSupport::writeFile(path, bytes);
        ::chmod(QFile::encodeName(path).constData(), mode);
        return path;
    }

    QString root_;
    QString managedPath_;
    QString userFile_;
};

} // namespace

TEST_F(LiveStore, ManagedFileResolvesAsManaged) {
    writeManaged("10-org.json", R"({"BlockedBundleIDs":["com.example.vault"],"LockAgent":true,"Ignored":null})");
    store().setUserValue("LockAgent", json(false));
    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_TRUE(result.diagnostics.isEmpty()) << result.diagnostics.join("\n").toStdString();
    EXPECT_EQ(result.policy.blockedBundleIDs, QStringList{"com.example.vault"});
    EXPECT_TRUE(result.policy.lockAgent);
    EXPECT_EQ(result.policy.source("LockAgent"), PolicySource::managed);
    EXPECT_EQ(store().userValue("LockAgent"), json(false)); // the two readers never mix
    EXPECT_FALSE(store().managedValue("Ignored"));
}

TEST_F(LiveStore, LaterFilesWinInByteOrderAndConflictsAreReported) {
    const QString upper = writeManaged("B.json", R"({"LockAgent":true,"MandatoryReview":true})");
    const QString lower = writeManaged("a.json", R"({"LockAgent":false,"MandatoryReview":true})");
    writeManaged("notes.txt", "not a policy");
    writeManaged(".hidden.json", R"({"LockAgent":true})");
    writeManaged("z.JSON", R"({"LockAgent":true})"); // only lower-case ".json" is a policy file
    writeManaged("y.Json", R"({"LockAgent":true})");
    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_FALSE(result.policy.lockAgent); // "a.json" sorts after "B.json"
    EXPECT_EQ(result.diagnostics,
              QStringList{QString("managed policy \"%1\": LockAgent overrides the value from \"%2\"").arg(lower, upper)});
}

TEST_F(LiveStore, UntrustedOrBrokenFilesAreSkippedWithADiagnostic) {
    writeManaged("00-good.json", R"({"MandatoryReview":false})");
    const QString writable = writeManaged("10-writable.json", R"({"LockAgent":true})", 0664);
    const QString broken = writeManaged("20-broken.json", R"({"LockAgent":)");
    const QString list = writeManaged("30-list.json", R"(["LockAgent"])");
    const QString deep = writeManaged("35-deep.json", "{\"LockAgent\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}");
    const QString link = managedPath_ + "/40-link.json";
    ASSERT_EQ(::symlink(QFile::encodeName(managedPath_ + "/00-good.json").constData(), QFile::encodeName(link).constData()), 0);

    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_FALSE(result.policy.mandatoryReview);
    EXPECT_FALSE(result.policy.lockAgent);
    ASSERT_EQ(result.diagnostics.size(), 5) << result.diagnostics.join("\n").toStdString();
    EXPECT_EQ(result.diagnostics[0], QString("managed policy \"%1\": writable by group or others; ignored").arg(writable));
    EXPECT_TRUE(result.diagnostics[1].startsWith(QString("managed policy \"%1\": not valid JSON (").arg(broken)));
    EXPECT_EQ(result.diagnostics[2], QString("managed policy \"%1\": not a JSON object; ignored").arg(list));
    EXPECT_EQ(result.diagnostics[3],
              QString("managed policy \"%1\": not valid JSON (nested deeper than 512 levels); ignored").arg(deep));
    EXPECT_EQ(result.diagnostics[4], QString("managed policy \"%1\": not a regular file; ignored").arg(link));
}

// A number beyond the double range damages only the file that holds it: the other managed files
// still apply, and the user's file is moved aside as any damaged one is.
TEST_F(LiveStore, OverflowingNumberSkipsOnlyItsOwnFile) {
    writeManaged("00-org.json", R"({"BlockedBundleIDs":["com.example.vault"],"MandatoryReview":true})");
    const QString overflowing = writeManaged("50-overflow.json", R"({"LockAgent":1e999})");
    QDir().mkpath(QFileInfo(userFile_).path());
    TestSupport::writeFile(userFile_, R"({"MandatoryReview":false,"Watermark":{"Enabled":-1e999}})");

    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_EQ(result.policy.blockedBundleIDs, QStringList{"com.example.vault"});
    EXPECT_TRUE(result.policy.mandatoryReview);
    EXPECT_EQ(result.policy.source("MandatoryReview"), PolicySource::managed);
    EXPECT_FALSE(result.policy.lockAgent);
    const QString all = result.diagnostics.join("\n");
    EXPECT_TRUE(all.contains(QString("managed policy \"%1\": not valid JSON (").arg(overflowing))) << all.toStdString();
    EXPECT_EQ(QDir(QFileInfo(userFile_).path()).entryList(QStringList{"preferences.json.corrupt-*"}, QDir::Files).size(), 1);
}

TEST_F(LiveStore, FileOfAnotherOwnerIsIgnored) {
    if (::geteuid() != 0) GTEST_SKIP() << "changing a file's owner needs root";
    const QString path = writeManaged("10-org.json", R"({"LockAgent":true})");
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_FALSE(result.policy.lockAgent);
    EXPECT_EQ(result.diagnostics, QStringList{QString("managed policy \"%1\": owned by uid 65534, not root; ignored").arg(path)});
}

TEST_F(LiveStore, WritableFolderInvalidatesEveryFile) {
    writeManaged("10-org.json", R"({"LockAgent":true})");
    const QString parent = root_ + "/etc/brindlecast";
    ::chmod(QFile::encodeName(parent).constData(), 0777);
    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_FALSE(result.policy.lockAgent);
    ASSERT_EQ(result.diagnostics.size(), 1);
    EXPECT_EQ(result.diagnostics[0],
              QString("managed policy folder \"%1\": \"%2\" is writable by group or others; its files are ignored")
                  .arg(managedPath_, parent));
}

TEST_F(LiveStore, ManagedFolderTheUserCannotReadIsReportedNotTakenForEmpty) {
    // Root reads every folder whatever its mode: the resolution runs as an unprivileged user.
    if (::geteuid() != 0) GTEST_SKIP() << "dropping to another user needs root";
    writeManaged("10-org.json", R"({"LockAgent":true})");
    const QString cannotBeListed = managedPath_;
    const QString cannotBeSearched = root_ + "/etc/brindlecast/policies";
    for (const QString& closed : {cannotBeListed, cannotBeSearched}) {
        ::chmod(QFile::encodeName(closed).constData(), 0700);
        const ManagedFolder folder = managed();
        const TestSupport::ChildResult child = TestSupport::runAsUnprivilegedUser([&](QByteArray& out) {
            const PolicyResolution result = EffectivePolicy::resolve(PreferenceStore::live(folder, userFile_));
            out = result.diagnostics.join('\n').toUtf8();
            return result.policy.lockAgent ? 1 : 0;
        });
        ::chmod(QFile::encodeName(closed).constData(), 0755);
        EXPECT_EQ(child.exitCode, 0) << closed.toStdString();
        EXPECT_EQ(QString::fromUtf8(child.output),
                  QString("managed policy folder \"%1\": unreadable (Permission denied); its files are ignored")
                      .arg(managedPath_));
    }
}

TEST_F(LiveStore, MissingManagedFolderIsNoManagedValues) {
    ASSERT_TRUE(QDir(managedPath_).removeRecursively());
    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_EQ(result.policy, EffectivePolicy::safeDefaults());
    EXPECT_TRUE(result.diagnostics.isEmpty());
}

TEST_F(LiveStore, UserWritesAndRemovalsPersistForTheNextResolution) {
    store().setUserValue("MandatoryReview", json(false));
    store().setUserValue("AllowedExportDestinations", json::array({"folder"}));
    store().setUserValue("AllowedExportDestinations", std::nullopt);
    store().setUserValue("SidecarMode", json(nullptr));

    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_FALSE(result.policy.mandatoryReview);
    EXPECT_EQ(result.policy.source("MandatoryReview"), PolicySource::user);
    EXPECT_EQ(result.policy.allowedExportDestinations, EffectivePolicy::safeDefaults().allowedExportDestinations);
    EXPECT_FALSE(store().userValue("AllowedExportDestinations"));
    const json onDisk = json::parse(TestSupport::readFile(userFile_).toStdString());
    EXPECT_EQ(onDisk, json({{"MandatoryReview", false}}));
}

TEST_F(LiveStore, CorruptUserFileIsMovedAsideAndReported) {
    TestSupport::writeFile(userFile_, "{\"MandatoryReview\": fal");
    const PolicyResolution result = EffectivePolicy::resolve(store());
    EXPECT_EQ(result.policy, EffectivePolicy::safeDefaults());
    ASSERT_EQ(result.diagnostics.size(), 1);
    EXPECT_TRUE(result.diagnostics[0].contains("moved aside")) << result.diagnostics[0].toStdString();
    const QStringList aside = QDir(QFileInfo(userFile_).path()).entryList({"preferences.json.corrupt-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(TestSupport::readFile(QFileInfo(userFile_).path() + '/' + aside[0]), "{\"MandatoryReview\": fal");
}

TEST_F(LiveStore, FailedUserWriteIsReported) {
    TestSupport::writeFile(root_ + "/blocker", "a file where a folder should be");
    const PreferenceStore blocked = PreferenceStore::live(managed(), root_ + "/blocker/preferences.json");
    EXPECT_THROW(blocked.setUserValue("LockAgent", json(true)), Support::IoError);
}

TEST(InMemoryStore, WritesAndRemovalsAreSeenByTheNextRead) {
    const PreferenceStore store = PreferenceStore::inMemory(json{{"LockAgent", true}}, json{{"LockAgent", false}});
    EXPECT_EQ(store.managedValue("LockAgent"), json(true));
    EXPECT_EQ(store.userValue("LockAgent"), json(false));
    store.setUserValue("LockAgent", std::nullopt);
    EXPECT_FALSE(store.userValue("LockAgent"));
    EXPECT_EQ(store.managedValue("LockAgent"), json(true));
}
