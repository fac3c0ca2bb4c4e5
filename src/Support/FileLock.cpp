#include "Support/FileLock.h"

#include "Support/FileNames.h"
#include "Support/IoError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Support {

FileLock::FileLock(const QString& lockPath) {
    const QByteArray path = FileNames::encode(lockPath);
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) throw IoError(errno, lockPath, "open lock");
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd_);
        throw IoError(error, lockPath, "lock");
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

} // namespace Support
