#include "BrindlecastApp/Shell/SingleInstance.h"

#include "BrindlecastApp/Logging/AppLog.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/SafeFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace BrindlecastApp {

namespace {

constexpr qint64 maxLineLength = 64;
constexpr int answerTimeoutMs = 2000;
// A copy that has just taken the lock may not listen yet.
constexpr int connectPatienceMs = 1000;

std::optional<qint64> parsePid(const QByteArray& text) {
    bool ok = false;
    const qint64 pid = text.trimmed().toLongLong(&ok);
    return ok && pid > 0 ? std::optional<qint64>(pid) : std::nullopt;
}

using Support::FileDescriptor;
namespace FileNames = Support::FileNames;

QString systemText(int errorNumber) { return QString::fromLocal8Bit(std::strerror(errorNumber)); }

// The user database is read with buffers up to this size; an entry that needs more is taken as
// unknown.
constexpr size_t maxEntryBytes = 1 << 20;
// Accounts looked through for those whose own group a folder's is. A database that lists more is
// taken as one where the group may be shared: the look must not hold up the launch for long.
constexpr int maxAccounts = 100000;

// Calls `lookup(buffer, size)` (a getpw*_r/getgr*_r call) with a buffer grown while it says the
// buffer is too small; its result.
template <typename Lookup>
int withGrowingBuffer(std::vector<char>& buffer, Lookup lookup) {
    while (true) {
        const int error = lookup(buffer.data(), buffer.size());
        if (error != ERANGE || buffer.size() >= maxEntryBytes) return error;
        buffer.resize(buffer.size() * 2);
    }
}

// Whether the account called `name` is this user (`user`): a name the database does not know is
// someone else's, who may be added later.
bool isThisUser(const char* name, uid_t user, std::vector<char>& buffer) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    const int error = withGrowingBuffer(buffer, [&](char* data, size_t size) {
        return ::getpwnam_r(name, &entry, data, size, &found);
    });
    return error == 0 && found && found->pw_uid == user;
}

// Whether `group` is this user's alone: they belong to it, and no other account does, as a listed
// member or as its own group; a home of mode 0775 under a private group of the user's is one. A
// group the database cannot tell about, or whose accounts cannot all be listed (the user's own
// account not among them), may be shared. Reads the whole account list, so it is asked only of a
// folder its group may write to.
bool groupIsThisUsersAlone(gid_t group, uid_t user) {
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    const int error = withGrowingBuffer(buffer, [&](char* data, size_t size) {
        return ::getgrgid_r(group, &entry, data, size, &found);
    });
    if (error != 0 || !found) return false;
    bool member = false;
    std::vector<char> accountBuffer(16384);
    for (char** name = found->gr_mem; name && *name; ++name) {
        if (!isThisUser(*name, user, accountBuffer)) return false;
        member = true;
    }

    bool userListed = false;
    bool shared = false;
    struct passwd account {};
    struct passwd* next = nullptr;
    ::setpwent();
    for (int seen = 0; !shared; ++seen) {
        const int error = withGrowingBuffer(accountBuffer, [&](char* data, size_t size) {
            return ::getpwent_r(&account, data, size, &next);
        });
        if (error == ENOENT) break; // the end of the list
        if (error != 0 || !next || seen == maxAccounts) {
            shared = true;
            break;
        }
        if (account.pw_uid == user) {
            userListed = true;
            member |= account.pw_gid == group;
        } else if (account.pw_gid == group) {
            shared = true;
        }
    }
    ::endpwent();
    return member && userListed && !shared;
}

// Why a folder on the way to the guard folder lets another user put something else in the guard
// folder's place, or nothing when it does not: one that another user owns, or that others may
// write to without the sticky bit that keeps them from moving what is not theirs (/tmp is fine).
// Group write lets others in only when the group has another member. `privateGroups` remembers
// the groups already looked up.
std::optional<QString> untrustedParent(const struct stat& info, const QString& shown, std::map<gid_t, bool>& privateGroups) {
    const uid_t user = ::geteuid();
    if (info.st_uid != user && info.st_uid != 0) return QString("%1 belongs to another user").arg(shown);
    if (info.st_mode & S_ISVTX) return std::nullopt;
    if (info.st_mode & S_IWOTH) return QString("other users may write to %1").arg(shown);
    if (!(info.st_mode & S_IWGRP)) return std::nullopt;
    const auto known = privateGroups.find(info.st_gid);
    const bool alone = known != privateGroups.end() ? known->second
                                                    : (privateGroups[info.st_gid] = groupIsThisUsersAlone(info.st_gid, user));
    if (alone) return std::nullopt;
    return QString("other users may write to %1 through its group %2").arg(shown).arg(info.st_gid);
}

// The guard folder at `path`, opened once. The links on the way to its parent are resolved, then
// every folder from "/" down is opened by itself (no link followed, for search only: a folder of
// mode 0711 above the home is fine), made with mode 0700 where missing and checked as it was
// opened: the name cannot be swapped between the check and the use. The guard folder itself must
// be this user's, and is kept at mode 0700. Nothing, with the reason, when any of that fails.
std::optional<FileDescriptor> openGuardFolder(const QString& path, QString* reason) {
    const QString cleaned = QDir::cleanPath(path);
    const QByteArray name = FileNames::encode(QFileInfo(cleaned).fileName());
    QByteArray existing = FileNames::encode(QFileInfo(cleaned).path());
    QList<QByteArray> missing;
    char buffer[PATH_MAX];
    while (!::realpath(existing.constData(), buffer)) {
        const qsizetype slash = existing.lastIndexOf('/');
        if (errno != ENOENT || slash <= 0) {
            *reason = QString("%1: %2").arg(FileNames::decode(existing), systemText(errno));
            return std::nullopt;
        }
        missing.prepend(existing.mid(slash + 1));
        existing.truncate(slash);
    }
    QList<QByteArray> names = QByteArray(buffer).split('/');
    names.removeAll(QByteArray());
    const qsizetype existingCount = names.size();
    names << missing << name;

    constexpr int searchOnly = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    std::map<gid_t, bool> privateGroups;
    FileDescriptor folder(::open("/", searchOnly));
    QByteArray shown = "/";
    for (qsizetype i = 0; folder.isOpen(); ++i) {
        struct stat info {};
        if (::fstat(folder.get(), &info) != 0) break;
        const bool last = i == names.size();
        if (last) {
            if (info.st_uid != ::geteuid()) {
                *reason = QString("%1 belongs to another user").arg(FileNames::decode(shown));
                return std::nullopt;
            }
            // A descriptor for search only cannot change its mode: the folder it holds is reached
            // through it by name.
            const QByteArray held = "/proc/self/fd/" + QByteArray::number(folder.get());
            if ((info.st_mode & 07777) != 0700 && ::chmod(held.constData(), 0700) != 0) break;
            return folder;
        }
        if (const std::optional<QString> untrusted = untrustedParent(info, FileNames::decode(shown), privateGroups)) {
            *reason = *untrusted;
            return std::nullopt;
        }
        const QByteArray& next = names[i];
        if (i >= existingCount) ::mkdirat(folder.get(), next.constData(), 0700);
        shown = (shown == "/" ? shown : shown + '/') + next;
        struct stat entry {};
        if (::fstatat(folder.get(), next.constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(entry.st_mode)) {
            *reason = QString("%1 is a symbolic link").arg(FileNames::decode(shown));
            return std::nullopt;
        }
        folder = FileDescriptor(::openat(folder.get(), next.constData(), searchOnly));
    }
    *reason = QString("%1: %2").arg(FileNames::decode(shown), systemText(errno));
    return std::nullopt;
}

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent) : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (lockFd_ >= 0) ::close(lockFd_);
}

QString SingleInstance::inFolder(const char* name) const {
    // Through the open folder: whatever has become of its name since.
    return QString("/proc/self/fd/%1/%2").arg(folderFd_.get()).arg(QLatin1String(name));
}

QString SingleInstance::defaultFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/')) return Support::FileNames::decode(runtime) + "/app.brindlecast";
    // Without a runtime folder the usual stand-in lies in /tmp, where another user can make it
    // first: the user's own cache instead, one folder per machine for a home shared between them.
    return Support::Folders::cacheHome() + "/app.brindlecast/instance-" + QSysInfo::machineHostName();
}

bool SingleInstance::tryLock() {
    if (lockFd_ >= 0) return true;
    // A folder someone else made (or a link to one, or one below a folder another user controls)
    // would let them read the lock and take the socket's place: only a private folder of this
    // user's is used, and only through its descriptor.
    if (!folderFd_.isOpen()) {
        QString reason;
        std::optional<FileDescriptor> folder = openGuardFolder(folder_, &reason);
        if (!folder) {
            appLog().error("single-instance guard: " + reason);
            return false;
        }
        folderFd_ = std::move(*folder);
    }
    // Close-on-exec: a program this copy starts must not keep the lock after it ends.
    const int fd = ::openat(folderFd_.get(), "instance.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    lockFd_ = fd;
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.constData(), static_cast<size_t>(pid.size()), 0) != pid.size())
        appLog().error("single-instance guard: could not write this copy's process ID into the lock file");
    return true;
}

void SingleInstance::listen() {
    // Only the holder of the lock gets here, so a socket file left behind is stale.
    ::unlinkat(folderFd_.get(), "instance.socket", 0);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(inFolder("instance.socket"))) {
        appLog().error(QString("single-instance guard: cannot listen on %1/instance.socket: %2").arg(folder_, server_->errorString()));
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::answer);
}

void SingleInstance::answer() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine() && socket->bytesAvailable() < maxLineLength) return;
            const QByteArray line = socket->readLine(maxLineLength);
            socket->write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
            socket->flush();
            socket->disconnectFromServer();
            if (line.startsWith("activate ")) emit activationRequested(parsePid(line.mid(9)).value_or(0));
        });
    }
}

std::optional<qint64> SingleInstance::askRunningCopy() const {
    const QDeadlineTimer deadline(connectPatienceMs);
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(inFolder("instance.socket"));
        if (socket.waitForConnected(answerTimeoutMs)) break;
        if (deadline.hasExpired()) return std::nullopt;
        QThread::msleep(50);
    }
    socket.write("activate " + QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    if (!socket.waitForBytesWritten(answerTimeoutMs)) return std::nullopt;
    QByteArray reply;
    while (!reply.contains('\n') && reply.size() < maxLineLength && socket.waitForReadyRead(answerTimeoutMs))
        reply += socket.read(maxLineLength - reply.size());
    return parsePid(reply);
}

std::optional<qint64> SingleInstance::pidInLockFile() const {
    // The first line only, and never from a pipe put in the lock file's place.
    std::optional<Support::SafeFile::OpenFile> file =
        Support::SafeFile::open(inFolder("instance.lock"), Support::SafeFile::Links::refuse);
    const std::optional<QByteArray> line = file ? file->readAt(0, maxLineLength) : std::nullopt;
    if (!line) return std::nullopt;
    return parsePid(*line);
}

std::optional<qint64> SingleInstance::activateExistingInstance() {
    if (claim()) return std::nullopt;
    struct stat lock {};
    if (lockFd_ < 0 &&
        (!folderFd_.isOpen() || ::fstatat(folderFd_.get(), "instance.lock", &lock, AT_SYMLINK_NOFOLLOW) != 0)) {
        // The folder cannot be used at all: better two copies than none.
        appLog().error(QString("single-instance guard: cannot use %1; not guarding").arg(folder_));
        return std::nullopt;
    }
    // The lock is held, so another copy is alive even when it does not answer in time.
    std::optional<qint64> pid = askRunningCopy();
    if (!pid) pid = pidInLockFile();
    const qint64 shown = pid.value_or(0);
    appLog().info(QString("single-instance guard: pid %1 already running — exiting").arg(shown));
    return shown;
}

bool SingleInstance::claim() {
    if (lockFd_ >= 0) return true;
    if (!tryLock()) return false;
    listen();
    return true;
}

} // namespace BrindlecastApp
