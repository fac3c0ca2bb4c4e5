#include "BrindlecastApp/Shell/TerminationSignals.h"

#include "BrindlecastApp/Logging/AppLog.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace BrindlecastApp {

namespace {

constexpr int kHandled[] = {SIGTERM, SIGINT};

// The pipe's ends; the handler reaches the write end only.
int readEnd = -1;
volatile sig_atomic_t writeEnd = -1;

extern "C" void forwardSignal(int number) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Non-blocking: with the pipe full the signal is already on its way.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

void setAction(int number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    ::sigemptyset(&action.sa_mask);
    // Interrupted system calls go on; the next signal of this kind takes the default action.
    action.sa_flags = SA_RESTART | (handler == SIG_DFL ? 0 : SA_RESETHAND);
    ::sigaction(number, &action, nullptr);
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
    for (const int number : kHandled) setAction(number, forwardSignal);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (const int number : kHandled) setAction(number, SIG_DFL);
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
        appLog().notice(QString("received signal %1: storing what is open, then ending").arg(numbers[i]));
        emit received(numbers[i]);
    }
}

} // namespace BrindlecastApp
