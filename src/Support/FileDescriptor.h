#pragma once

#include <QByteArray>

#include <cerrno>
#include <unistd.h>

namespace Support {

// An open file descriptor, closed with its owner. Move-only.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Writes all of `bytes` where the file stands: 0, or the system's error number.
    int writeAll(const QByteArray& bytes) const {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, data, static_cast<size_t>(left));
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            data += n;
            left -= n;
        }
        return 0;
    }
    // Closes now and reports the close's own error (a deferred write error shows up here).
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

} // namespace Support
