#include "Support/AtomicFile.h"

#include "Support/IoError.h"

#include <QFileInfo>
#include <QUuid>

#include <cerrno>
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

} // namespace

QString temporaryPathFor(const QString& path) {
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return path + ".tmp-" + uuid;
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
