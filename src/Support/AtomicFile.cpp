#include "Support/AtomicFile.h"

#include "Support/IoError.h"

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

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the close's own error (a deferred write error shows up here).
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

void writeAll(int fd, const QByteArray& bytes, const QString& path) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw IoError(errno, path, "write");
        }
        data += n;
        left -= n;
    }
}

void syncFolderOf(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return; // the rename already happened; a folder we cannot open cannot be synced
    ::fsync(fd);
    ::close(fd);
}

// The longest file name the folder holding `path` accepts, in bytes.
qsizetype nameLimitBeside(const QString& path) {
    const QString folder = QFileInfo(path).path();
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? qsizetype(limit) : qsizetype(NAME_MAX);
}

} // namespace

QString temporaryPathFor(const QString& path) {
    const QString suffix = ".tmp-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString fileName = QFileInfo(path).fileName();
    const QByteArray encoded = QFile::encodeName(fileName);
    qsizetype keep = nameLimitBeside(path) - suffix.size();
    if (encoded.size() <= keep) return path + suffix;
    // Never split a UTF-8 sequence: back up to the first byte of a character.
    while (keep > 0 && (static_cast<unsigned char>(encoded[keep]) & 0xC0) == 0x80) --keep;
    const QString folderPart = path.left(path.size() - fileName.size());
    return folderPart + QFile::decodeName(encoded.left(std::max<qsizetype>(keep, 0))) + suffix;
}

void write(const QString& path, const QByteArray& bytes, mode_t newFileMode) {
    const QByteArray target = QFile::encodeName(path);
    mode_t mode = newFileMode;
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        mode = existing.st_mode & 07777;
    }

    const QString temporaryPath = temporaryPathFor(path);
    const QByteArray temporary = QFile::encodeName(temporaryPath);
    FileDescriptor fd(::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) throw IoError(errno, temporaryPath, "create");

    try {
        writeAll(fd.get(), bytes, temporaryPath);
        if (::fchmod(fd.get(), mode) != 0) throw IoError(errno, temporaryPath, "chmod");
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

std::optional<QByteArray> read(const QString& path, int* errorNumber) {
    const auto failed = [errorNumber](int error) -> std::optional<QByteArray> {
        if (errorNumber) *errorNumber = error;
        return std::nullopt;
    };
    // Non-blocking, so a pipe in the file's place cannot hang the reader.
    FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return failed(errno);
    QByteArray bytes;
    char chunk[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(errno);
        if (n == 0) return bytes;
        bytes.append(chunk, n);
    }
}

} // namespace Support::AtomicFile
