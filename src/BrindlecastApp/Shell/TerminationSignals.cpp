#include "BrindlecastApp/Shell/TerminationSignals.h"

#include "BrindlecastApp/Logging/AppLog.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace BrindlecastApp {

namespace {

constexpr int kHandled[] = {SIGTERM, SIGHUP, SIGINT};

// The pipe's ends; the handler reaches the write end only.
int readEnd = -1;
volatile sig_atomic_t writeEnd = -1;
// What each handled signal did before; a signal left out keeps `handled` false.
struct Previous {
    struct sigaction action {};
    bool handled = false;
};
Previous previous[std::size(kHandled)];

extern "C" void forwardSignal(int number) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Non-blocking: with the pipe full the signal is already on its way.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        appLog().error(QString("termination signals: no pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    notifier_ = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
    struct sigaction forward {};
    forward.sa_handler = forwardSignal;
    ::sigemptyset(&forward.sa_mask);
    // Interrupted system calls go on.
    forward.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kHandled); ++i) {
        if (::sigaction(kHandled[i], nullptr, &previous[i].action) != 0) continue;
        if (previous[i].action.sa_handler == SIG_IGN) continue;
        previous[i].handled = ::sigaction(kHandled[i], &forward, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (std::size_t i = 0; i < std::size(kHandled); ++i) {
        if (previous[i].handled) ::sigaction(kHandled[i], &previous[i].action, nullptr);
        previous[i].handled = false;
    }
    delete notifier_;
    ::close(readEnd);
    ::close(writeEnd);
    readEnd = -1;
    writeEnd = -1;
}

void TerminationSignals::readPending() {
    unsigned char numbers[16];
    const ssize_t count = ::read(readEnd, numbers, sizeof numbers);
    for (ssize_t i = 0; i < count; ++i) {
        if (ending_) {
            appLog().notice(QString("received signal %1 while ending: the store goes on").arg(numbers[i]));
            continue;
        }
        ending_ = true;
        appLog().notice(QString("received signal %1: storing what is open, then ending").arg(numbers[i]));
        emit received(numbers[i]);
    }
}

} // namespace BrindlecastApp
