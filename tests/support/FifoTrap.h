#pragma once

// A named pipe put where a reader expects a file, for tests of readers that must never wait on
// one. The test itself never opens it: the trap's own thread looks every few milliseconds whether
// some reader holds the pipe open (opening it to write without waiting succeeds only then), notes
// it, and lets that reader go at once (it reads an empty file), so a reader that would wait for
// ever fails the test instead of hanging it. Header-only.
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace TestSupport {

class FifoTrap {
public:
    explicit FifoTrap(const QString& path) : path_(QFile::encodeName(path)) {
        made_ = ::mkfifo(path_.constData(), 0644) == 0;
        if (made_) watch_ = std::thread([this] { watch(); });
    }
    ~FifoTrap() {
        stop_ = true;
        if (watch_.joinable()) watch_.join();
    }
    FifoTrap(const FifoTrap&) = delete;
    FifoTrap& operator=(const FifoTrap&) = delete;

    // Whether the pipe could be made.
    bool made() const { return made_; }
    // Whether any reader ever opened the pipe (and so could have waited on it).
    bool caughtAReader() const { return caught_; }

private:
    void watch() {
        while (!stop_) {
            const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                caught_ = true;
                ::close(fd); // the reader sees the end of an empty file
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    QByteArray path_;
    bool made_ = false;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> caught_ = false;
    std::thread watch_;
};

} // namespace TestSupport
