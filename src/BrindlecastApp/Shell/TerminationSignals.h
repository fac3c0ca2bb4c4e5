#pragma once

#include <QObject>

class QSocketNotifier;

namespace BrindlecastApp {

// SIGTERM, SIGHUP and SIGINT (a logout, `kill`, a closed terminal, Control-C) as a signal of the
// GUI thread, so that the app stores what is open before it ends instead of dropping it. The
// handler only writes the signal's number into a pipe that the event loop watches. Only the first
// is acted on: a session's end often sends SIGHUP right after SIGTERM, and a later signal must not
// cut short the store the first one started. A signal the app was started with ignored (nohup, a
// background job) stays ignored. One at a time.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    // The actions from before come back.
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier* notifier_ = nullptr;
    bool ending_ = false;
};

} // namespace BrindlecastApp
