#include "Support/AtomicFile.h"

#include "Support/FileDescriptor.h"
#include "Support/FileNames.h"
#include "Support/IoError.h"
#include "Support/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Support::AtomicFile {

namespace {

void writeAll(const FileDescriptor& fd, const QByteArray& bytes, const QString& path) {
    if (const int error = fd.writeAll(bytes)) throw IoError(error, path, "write");
}

void syncFolderOf(const QString& path) {
    const QByteArray folder = FileNames::encode(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return; // the rename already happened; a folder we cannot open cannot be synced
    ::fsync(fd);
    ::close(fd);
}

// The longest file name the folder holding `path` accepts, in bytes.
qsizetype nameLimitBeside(const QString& path) {
    const QString folder = QFileInfo(path).path();
    const long limit = ::pathconf(FileNames::encode(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? qsizetype(limit) : qsizetype(NAME_MAX);
}

// File systems without hard links (FAT, some network shares) refuse link() with one of these.
bool linksUnsupported(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// Gives the finished temporary file the name `path` unless anything holds it; false (errno
// EEXIST) when something does. On a file system without hard links an empty placeholder made
// with O_EXCL claims the name first and the temporary is renamed over it.
bool claimName(const QByteArray& temporary, const QByteArray& path) {
    if (::link(temporary.constData(), path.constData()) == 0) return true;
    if (!linksUnsupported(errno)) return false;
    const int placeholder = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (placeholder < 0) return false;
    ::close(placeholder);
    if (::rename(temporary.constData(), path.constData()) == 0) return true;
    const int error = errno;
    ::unlink(path.constData());
    errno = error;
    return false;
}

} // namespace

QString temporaryPathFor(const QString& path) {
    const QString prefix = ".";  // hidden: a folder listing never shows a file being written
    const QString suffix = ".tmp-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString fileName = QFileInfo(path).fileName();
    const QString folderPart = path.left(path.size() - fileName.size());
    const QByteArray encoded = FileNames::encode(fileName);
    qsizetype keep = nameLimitBeside(path) - prefix.size() - suffix.size();
    if (encoded.size() <= keep) return folderPart + prefix + fileName + suffix;
    // Never split a UTF-8 sequence: back up to the first byte of a character.
    while (keep > 0 && (static_cast<unsigned char>(encoded[keep]) & 0xC0) == 0x80) --keep;
    return folderPart + prefix + FileNames::decode(encoded.left(std::max<qsizetype>(keep, 0))) + suffix;
}

QString linkTarget(const QString& path) {
    QString current = path;
    // The system's own limit on links followed in one path name.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(FileNames::encode(current).constData(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(FileNames::encode(current).constData(), buffer, sizeof buffer);
        if (length < 0) throw IoError(errno, current, "read link");
        const QString target = FileNames::decode(QByteArray(buffer, length));
        current = QDir::isAbsolutePath(target) ? target : QFileInfo(current).path() + '/' + target;
    }
    throw IoError(ELOOP, path, "read link");
}

void write(const QString& requestedPath, const QByteArray& bytes, mode_t newFileMode, Links links) {
    const QString path = links == Links::follow ? linkTarget(requestedPath) : requestedPath;
    const QByteArray target = FileNames::encode(path);
    // The file being replaced, not one a link in its place leads to (a followed link was resolved
    // above): a link planted in a shared folder must not lend its target's mode.
    std::optional<mode_t> kept;
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode)) kept = existing.st_mode & 07777;

    const QString temporaryPath = temporaryPathFor(path);
    const QByteArray temporary = FileNames::encode(temporaryPath);
    // A new file takes its mode as open() gives it, so the umask (read by nobody, shared by every
    // thread) applies; a replaced one starts private and gets its own mode back before the rename.
    FileDescriptor fd(::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kept ? 0600 : newFileMode));
    if (fd.get() < 0) throw IoError(errno, temporaryPath, "create");

    try {
        writeAll(fd, bytes, temporaryPath);
        if (kept && ::fchmod(fd.get(), *kept) != 0) throw IoError(errno, temporaryPath, "chmod");
        if (::fsync(fd.get()) != 0) throw IoError(errno, temporaryPath, "fsync");
        if (fd.close() != 0) throw IoError(errno, temporaryPath, "close");
        if (::rename(temporary.constData(), target.constData()) != 0) {
            throw IoError(errno, path, "rename");
        }
    } catch (...) {
        ::unlink(temporary.constData());
        throw;
    }
    syncFolderOf(path);
}

QString createNew(const QString& folder, const std::function<QString(int attempt)>& nameFor, const QByteArray& bytes,
                  mode_t mode) {
    const QString firstName = nameFor(0);
    if (firstName.isEmpty()) throw IoError(EINVAL, folder, "create");
    const QString temporaryPath = temporaryPathFor(QDir(folder).filePath(firstName));
    const QByteArray temporary = FileNames::encode(temporaryPath);
    FileDescriptor fd(::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.get() < 0) throw IoError(errno, temporaryPath, "create");

    QString path;
    try {
        writeAll(fd, bytes, temporaryPath);
        if (::fsync(fd.get()) != 0) throw IoError(errno, temporaryPath, "fsync");
        if (fd.close() != 0) throw IoError(errno, temporaryPath, "close");
        for (int attempt = 0;; ++attempt) {
            const QString name = attempt == 0 ? firstName : nameFor(attempt);
            if (name.isEmpty()) throw IoError(EEXIST, QDir(folder).filePath(firstName), "create");
            path = QDir(folder).filePath(name);
            if (claimName(temporary, FileNames::encode(path))) break;
            if (errno != EEXIST) throw IoError(errno, path, "create");
        }
    } catch (...) {
        ::unlink(temporary.constData());
        throw;
    }
    // Gone already when the name was claimed by renaming.
    ::unlink(temporary.constData());
    syncFolderOf(path);
    return path;
}

std::optional<QByteArray> read(const QString& path, int* errorNumber, qint64 maximumBytes) {
    // The user's own files, kept behind a link by some: the file at its end is read.
    SafeFile::Failure failure;
    std::optional<QByteArray> bytes = SafeFile::read(path, maximumBytes, SafeFile::Links::follow, &failure);
    if (!bytes && errorNumber) *errorNumber = failure.errorNumber;
    return bytes;
}

} // namespace Support::AtomicFile
