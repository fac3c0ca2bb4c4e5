#pragma once

#include <QObject>

class QSocketNotifier;

namespace BrindlecastApp {

// SIGTERM and SIGINT (a logout, `kill`, Control-C) as a signal of the GUI thread, so that the app
// can end as Quit ends it instead of dropping what is open. The handler only writes the signal's
// number into a pipe that the event loop watches. It handles the first of each: a second one
// ends the process at once, for a session that no longer wants to wait. One at a time.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    // The default actions come back.
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace BrindlecastApp
