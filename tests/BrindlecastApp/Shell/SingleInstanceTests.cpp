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
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
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

namespace {

constexpr uid_t otherUser = 65534; // nobody

void makeFolder(const QString& path, mode_t mode, uid_t owner, gid_t group = gid_t(-1)) {
    const QByteArray bytes = QFile::encodeName(path);
    ASSERT_EQ(::mkdir(bytes.constData(), mode), 0) << path.toStdString();
    ASSERT_EQ(::chmod(bytes.constData(), mode), 0);
    ASSERT_EQ(::chown(bytes.constData(), owner, group), 0);
}

// A user database of the test's own. "ada" has a private group of her own; "bob" has one too,
// which lists ada; "carol"'s own group is "lab"; "team" lists ada and a name no account has;
// "solo" lists ada alone and is nobody's own; "empty" has no member.
constexpr uid_t ada = 4711;
constexpr gid_t adasGroup = 4711, bobsGroup = 4712, team = 4721, solo = 4722, empty = 4730, unknownGroup = 4799;
constexpr const char* testPasswd = "root:x:0:0::/root:/bin/sh\n"
                                   "ada:x:4711:4711::/nonexistent:/bin/sh\n"
                                   "bob:x:4712:4712::/nonexistent:/bin/sh\n"
                                   "carol:x:4713:4720::/nonexistent:/bin/sh\n";
constexpr const char* testGroup = "root:x:0:\nada:x:4711:\nbob:x:4712:ada\nlab:x:4720:\nteam:x:4721:ada,dave\n"
                                  "solo:x:4722:ada\nempty:x:4730:\n";

// Runs `body` as ada, on a thread of its own whose mount namespace has the test's user database
// bound over /etc/passwd and /etc/group; the rest of the process keeps its user and its files.
// Raw system calls: the C library's would change the user of every thread.
void runAsAda(const std::function<void()>& body) {
    const QString users = TestSupport::makeTemporaryFolder("users");
    TestSupport::writeFile(users + "/passwd", testPasswd);
    TestSupport::writeFile(users + "/group", testGroup);
    const QByteArray passwd = QFile::encodeName(users + "/passwd"), group = QFile::encodeName(users + "/group");
    std::unique_ptr<QThread> thread(QThread::create([&] {
        const bool becameAda =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            ::mount(passwd.constData(), "/etc/passwd", nullptr, MS_BIND, nullptr) == 0 &&
            ::mount(group.constData(), "/etc/group", nullptr, MS_BIND, nullptr) == 0 &&
            ::syscall(SYS_setgroups, 0, nullptr) == 0 && ::syscall(SYS_setresgid, ada, ada, ada) == 0 &&
            ::syscall(SYS_setresuid, ada, ada, ada) == 0;
        ASSERT_TRUE(becameAda) << std::strerror(errno);
        body();
    }));
    thread->start();
    thread->wait();
}

} // namespace

// The guard's folder is only as safe as the folders above it: one another user owns, or may write
// to without the sticky bit, lets them move the guard's folder away and put theirs in its place.
// Such a guard folder is never used (nothing is made below it); a sticky folder open to all, as
// /tmp, is fine when what lies in it is the user's, and so is one open to a group no one else is
// in (a home under umask 002 with a private group of the user's) or one below a folder others may
// only search.
TEST(SingleInstance, AFolderBelowOneAnotherUserControlsIsNeverUsed) {
    struct Case {
        const char* name;
        bool needsRoot;
        mode_t mode; // of the folder above the guard's, "shared"
        uid_t owner;
        bool used;
        gid_t group = gid_t(-1); // of "shared", when not the one it gets
        mode_t above = 0755;     // of the folder holding "shared"
        bool asAda = false;
    };
    const Case cases[] = {
        {"private, the user's", false, 0700, ::geteuid(), true},
        {"sticky and open to all, the administrator's", true, 01777, 0, true},
        {"open to all, not sticky", false, 0777, ::geteuid(), false},
        {"open to its group, which lists another member", true, 0770, ada, false, team, 0755, true},
        {"another user's, open to all", true, 0777, otherUser, false},
        {"another user's, closed to others", true, 0755, otherUser, false},
        {"open to the user's own private group, as a home under umask 002", true, 0775, ada, true, adasGroup, 0755, true},
        {"open to all, its group the user's own", true, 0777, ada, false, adasGroup, 0755, true},
        {"private, below a folder others may only search", true, 0700, ada, true, gid_t(-1), 0711, true},
        {"open to another user's own group, which lists the user", true, 0775, ada, false, bobsGroup, 0755, true},
        {"open to a group that lists the user alone", true, 0770, ada, true, solo, 0755, true},
        {"open to a group the user is not in", true, 0770, ada, false, empty, 0755, true},
        {"open to a group the user database does not know", true, 0770, ada, false, unknownGroup, 0755, true},
    };
    for (const Case& c : cases) {
        if ((c.needsRoot || c.asAda) && ::geteuid() != 0) continue;
        const QString above = TestSupport::makeFolderReachableByAll("parents") + "/above";
        makeFolder(above, c.above, ::geteuid());
        const QString shared = above + "/shared";
        makeFolder(shared, c.mode, c.owner, c.group);
        if (testing::Test::HasFatalFailure()) return;
        // Two levels to make, as below the cache.
        const QString guard = shared + "/app.brindlecast/instance-host";
        const auto launch = [&] {
            SingleInstance instance(guard);
            EXPECT_EQ(instance.activateExistingInstance(), std::nullopt) << c.name;
            EXPECT_EQ(instance.isRunningCopy(), c.used) << c.name;
            if (c.used) {
                EXPECT_FALSE(SingleInstance(guard).claim()) << c.name << ": the lock is held";
            }
        };
        if (c.asAda)
            runAsAda(launch);
        else
            launch();
        EXPECT_EQ(QFileInfo::exists(shared + "/app.brindlecast"), c.used) << c.name;
        if (!c.used) continue;
        struct stat made {};
        if (::stat(QFile::encodeName(guard).constData(), &made) != 0) continue;
        EXPECT_EQ(made.st_mode & 07777, 0700u) << c.name;
        EXPECT_EQ(made.st_uid, c.asAda ? ada : ::geteuid()) << c.name;
    }
}

// Another user who made the cache folder (in a folder open to all) swaps the guard's folder with
// one of theirs, whose lock they hold, again and again. No launch may take that for a running
// copy and stop: with the cache not the user's, every launch runs unguarded.
TEST(SingleInstance, ALaunchIsNeverStoppedByAFolderSwappedInBySomeoneElse) {
    if (::geteuid() != 0) GTEST_SKIP() << "another user needs root";
    const QString shared = TestSupport::makeFolderReachableByAll("swap") + "/shared";
    makeFolder(shared, 01777, 0);
    makeFolder(shared + "/cache", 0777, otherUser);
    if (HasFatalFailure()) return;
    const QByteArray cache = QFile::encodeName(shared + "/cache");
    const QByteArray guard = cache + "/app.brindlecast", theirs = cache + "/theirs", aside = cache + "/aside";

    const pid_t swapper = ::fork();
    ASSERT_GE(swapper, 0);
    if (swapper == 0) {
        // Raw system calls only: this is a fork of a threaded process.
        if (::setgid(otherUser) != 0 || ::setuid(otherUser) != 0) ::_exit(125);
        ::umask(0);
        ::mkdir(theirs.constData(), 0777);
        const int lock = ::open((theirs + "/instance.lock").constData(), O_RDWR | O_CREAT, 0666);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0) ::_exit(126);
        while (true) {
            if (::rename(guard.constData(), aside.constData()) == 0) {
                ::rename(theirs.constData(), guard.constData());
                ::usleep(200);
                ::rename(guard.constData(), theirs.constData());
                ::rename(aside.constData(), guard.constData());
            }
            ::usleep(50);
        }
    }
    int stopped = 0;
    for (int launch = 0; launch < 200; ++launch) {
        SingleInstance instance(QFile::decodeName(guard));
        if (instance.activateExistingInstance()) ++stopped;
    }
    ::kill(swapper, SIGKILL);
    ::waitpid(swapper, nullptr, 0);
    EXPECT_EQ(stopped, 0) << "launches that took the other user's folder for a running copy";
}
