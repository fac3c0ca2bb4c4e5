#include "BrindlecastApp/Shell/SingleInstance.h"

#include "BrindlecastApp/Logging/AppLog.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/IoError.h"
#include "Support/SafeFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent) : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (lockFd_ >= 0) ::close(lockFd_);
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
    const QByteArray folder = Support::FileNames::encode(folder_);
    try {
        Support::Folders::create(folder_);
    } catch (const Support::IoError&) {
        return false;
    }
    // A folder someone else made (or a link to one) would let them read the lock and take the
    // socket's place: only a real folder of this user's is used, and kept private.
    struct stat info {};
    if (::lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        ::chmod(folder.constData(), 0700) != 0) {
        appLog().error(QString("single-instance guard: %1 is not a folder of this user's").arg(folder_));
        folderUsable_ = false;
        return false;
    }
    const QByteArray path = folder + "/instance.lock";
    // Close-on-exec: a program this copy starts must not keep the lock after it ends.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
    const QString socketPath = folder_ + "/instance.socket";
    // Only the holder of the lock gets here, so a socket file left behind is stale.
    QLocalServer::removeServer(socketPath);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath)) {
        appLog().error(QString("single-instance guard: cannot listen on %1: %2").arg(socketPath, server_->errorString()));
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
        socket.connectToServer(folder_ + "/instance.socket");
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
        Support::SafeFile::open(folder_ + "/instance.lock", Support::SafeFile::Links::refuse);
    const std::optional<QByteArray> line = file ? file->readAt(0, maxLineLength) : std::nullopt;
    if (!line) return std::nullopt;
    return parsePid(*line);
}

std::optional<qint64> SingleInstance::activateExistingInstance() {
    if (claim()) return std::nullopt;
    if (lockFd_ < 0 && (!folderUsable_ || !Support::FileNames::exists(folder_ + "/instance.lock"))) {
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
