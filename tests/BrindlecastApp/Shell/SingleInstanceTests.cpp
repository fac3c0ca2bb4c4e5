#include "BrindlecastApp/Shell/SingleInstance.h"

#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace BrindlecastApp;

namespace {

// The running copy, answering on a thread of its own as another process would.
class RunningCopy {
public:
    explicit RunningCopy(const QString& folder) {
        context_.moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            &context_,
            [this, folder] {
                instance_ = new SingleInstance(folder);
                claimed = instance_->claim();
                QObject::connect(instance_, &SingleInstance::activationRequested, instance_,
                                 [this](qint64 pid) { requester = pid; });
            },
            Qt::BlockingQueuedConnection);
    }
    ~RunningCopy() {
        QMetaObject::invokeMethod(&context_, [this] { delete instance_; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }

    bool claimed = false;
    std::atomic<qint64> requester = -1;

private:
    QThread thread_;
    QObject context_;
    SingleInstance* instance_ = nullptr;
};


} // namespace

TEST(SingleInstance, ALaterLaunchAsksTheRunningCopyToComeForward) {
    const QString folder = TestSupport::makeTemporaryFolder("instance");
    {
        RunningCopy running(folder);
        ASSERT_TRUE(running.claimed);
        EXPECT_EQ(QFile(folder + "/instance.lock").permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);

        SingleInstance later(folder);
        const std::optional<qint64> pid = later.activateExistingInstance();
        ASSERT_TRUE(pid);
        EXPECT_EQ(*pid, QCoreApplication::applicationPid());
        EXPECT_FALSE(later.isRunningCopy());
        EXPECT_TRUE(TestSupport::waitUntil([&] { return running.requester == QCoreApplication::applicationPid(); }));
        EXPECT_FALSE(later.claim()) << "a launch that skips the guard does not take over";
    }
    // Once the running copy is gone, its lock and socket are free for the next one.
    SingleInstance next(folder);
    EXPECT_EQ(next.activateExistingInstance(), std::nullopt);
    EXPECT_TRUE(next.isRunningCopy());
}

// A copy that holds the lock but does not answer (stopped, or not listening yet) is still a
// running copy: the later launch names it from the lock file and leaves.
TEST(SingleInstance, ARunningCopyThatDoesNotAnswerIsStillFound) {
    const QString folder = TestSupport::makeTemporaryFolder("instance");
    SingleInstance running(folder);
    ASSERT_TRUE(running.claim());
    QFile::remove(folder + "/instance.socket");

    SingleInstance later(folder);
    EXPECT_EQ(later.activateExistingInstance(), QCoreApplication::applicationPid());
}

TEST(SingleInstance, AFolderThatCannotBeMadeDoesNotStopTheLaunch) {
    const QString blocker = TestSupport::makeTemporaryFolder("instance") + "/file";
    TestSupport::writeFile(blocker, "not a folder");
    SingleInstance instance(blocker + "/app.brindlecast");
    EXPECT_EQ(instance.activateExistingInstance(), std::nullopt);
    EXPECT_FALSE(instance.isRunningCopy());
}

// Without a runtime folder the guard lives in the user's own cache, where no other user can
// make its folder first.
TEST(SingleInstance, WithoutARuntimeFolderTheGuardLivesInTheUsersCache) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString folder = SingleInstance::defaultFolder();
    qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(folder, qEnvironmentVariable("XDG_CACHE_HOME") + "/app.brindlecast/instance-" + QSysInfo::machineHostName());
    EXPECT_EQ(SingleInstance::defaultFolder(), QString::fromLocal8Bit(runtime) + "/app.brindlecast");
}

// A folder that another user made, or a link in the folder's place, is never used: not read as
// a running copy's lock (whose copy would never come), not written into. The copy then runs.
TEST(SingleInstance, AFolderThatIsNotTheUsersOwnIsNeverUsed) {
    struct Case {
        const char* name;
        bool needsRoot;
        std::function<QString(const QString& root)> plant; // the folder given to the guard
    };
    const Case cases[] = {
        {"made by another user, open to all, with a lock file", true,
         [](const QString& root) {
             const QString folder = root + "/app.brindlecast";
             TestSupport::writeFile(folder + "/instance.lock", "4242\n");
             EXPECT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
             EXPECT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, gid_t(-1)), 0);
             EXPECT_EQ(::chown(QFile::encodeName(folder + "/instance.lock").constData(), 65534, gid_t(-1)), 0);
             return folder;
         }},
        {"a link to another folder", false,
         [](const QString& root) {
             QDir().mkpath(root + "/elsewhere");
             EXPECT_EQ(::symlink("elsewhere", QFile::encodeName(root + "/app.brindlecast").constData()), 0);
             return root + "/app.brindlecast";
         }},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && ::geteuid() != 0) continue;
        const QString root = TestSupport::makeTemporaryFolder("planted");
        const QString folder = c.plant(root);
        const QStringList before = QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        const QStringList inside = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        SingleInstance instance(folder);
        EXPECT_EQ(instance.activateExistingInstance(), std::nullopt) << c.name;
        EXPECT_FALSE(instance.isRunningCopy()) << c.name;
        EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before) << c.name;
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), inside) << c.name;
    }
}
