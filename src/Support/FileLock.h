#pragma once

#include <QString>

namespace Support {

// An exclusive advisory lock (flock) on a lock file, held for the object's lifetime. Guards
// read-modify-write cycles of state files against other processes. The lock file is created
// with mode 0600 and left in place.
class FileLock {
public:
    // Blocks until the lock is held. Throws Support::IoError when the file cannot be opened.
    explicit FileLock(const QString& lockPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace Support
