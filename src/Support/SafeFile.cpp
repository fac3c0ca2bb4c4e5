#include "Support/SafeFile.h"

#include "Support/FileNames.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <utility>
#include <unistd.h>

namespace Support::SafeFile {

namespace {

std::nullopt_t failed(Failure* failure, int errorNumber, qint64 maximumBytes = -1) {
    if (failure) {
        failure->errorNumber = errorNumber;
        failure->reason = errorNumber == EFBIG && maximumBytes >= 0
                              ? QStringLiteral("larger than %1 bytes").arg(maximumBytes)
                              : describe(errorNumber);
    }
    return std::nullopt;
}

// EISDIR for a folder, EINVAL for anything else that is not a regular file.
int notRegular(const struct stat& status) { return S_ISDIR(status.st_mode) ? EISDIR : EINVAL; }

} // namespace

QString describe(int errorNumber) {
    if (errorNumber == EINVAL || errorNumber == EISDIR || errorNumber == ELOOP) return QStringLiteral("not a regular file");
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

OpenFile::OpenFile(OpenFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), status_(other.status_) {}

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        status_ = other.status_;
    }
    return *this;
}

OpenFile::~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<QByteArray> OpenFile::readAll(qint64 maximumBytes, Failure* failure) {
    if (fd_ < 0) return failed(failure, EBADF);
    if (maximumBytes >= 0 && size() > maximumBytes) return failed(failure, EFBIG, maximumBytes);
    QByteArray bytes;
    if (size() > 0) bytes.reserve(size());
    char chunk[65536];
    while (true) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(failure, errno);
        if (n == 0) return bytes;
        if (maximumBytes >= 0 && bytes.size() + n > maximumBytes) return failed(failure, EFBIG, maximumBytes);
        bytes.append(chunk, n);
    }
}

std::optional<QByteArray> OpenFile::readAt(qint64 offset, qint64 length, Failure* failure) {
    if (fd_ < 0) return failed(failure, EBADF);
    if (offset < 0 || length < 0) return failed(failure, EINVAL);
    // Never more than the file holds now: a length taken from the file itself may be anything.
    const qint64 available = std::max<qint64>(0, size() - offset);
    QByteArray bytes(std::min(length, available), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, std::size_t(bytes.size() - done), off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(failure, errno);
        if (n == 0) break; // the file was cut short meanwhile
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

std::unique_ptr<QFile> OpenFile::intoDevice(Failure* failure) {
    if (fd_ < 0) {
        failed(failure, EBADF);
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd_, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        failed(failure, EBADF);
        if (failure) failure->reason = file->errorString();
        return nullptr;
    }
    fd_ = -1;
    return file;
}

std::optional<OpenFile> open(const QString& path, Links links, Failure* failure) {
    const QByteArray name = FileNames::encode(path);
    // Looked at first, so a pipe or a device is never opened at all (opening some has effects).
    struct stat before {};
    const int looked = links == Links::follow ? ::stat(name.constData(), &before) : ::lstat(name.constData(), &before);
    if (looked != 0) return failed(failure, errno);
    if (S_ISLNK(before.st_mode)) return failed(failure, ELOOP);
    if (!S_ISREG(before.st_mode)) return failed(failure, notRegular(before));

    // Non-blocking all the same: the file may have been swapped for a pipe in the meantime.
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == Links::refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(name.constData(), flags);
    if (fd < 0) return failed(failure, errno);
    OpenFile file(fd, {});
    if (::fstat(fd, &file.status_) != 0) return failed(failure, errno);
    if (!S_ISREG(file.status_.st_mode)) return failed(failure, notRegular(file.status_));
    return file;
}

std::optional<QByteArray> read(const QString& path, qint64 maximumBytes, Links links, Failure* failure) {
    std::optional<OpenFile> file = open(path, links, failure);
    if (!file) return std::nullopt;
    return file->readAll(maximumBytes, failure);
}

} // namespace Support::SafeFile
