#include "BrindlecastApp/Shell/SingleInstance.h"

#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

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
