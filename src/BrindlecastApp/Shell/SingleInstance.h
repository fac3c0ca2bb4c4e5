#pragma once

#include "Support/FileDescriptor.h"

#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;

namespace BrindlecastApp {

// One running copy per user. The running copy holds an exclusive lock on "instance.lock" (which
// names its process) and listens on "instance.socket", both in a private folder of the user's
// runtime folder. A later launch that finds the lock taken asks the running copy, through the
// socket, to come forward, and learns its process ID. A folder that is not the user's own, or
// that lies below a folder another user owns or may write to (through its group only when the
// group has another member), is not used: the copy then runs unguarded rather than not at all.
// The folder is opened once, and the lock and the socket are reached through that descriptor
// only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` holds the lock and the socket; made with mode 0700 when missing.
    explicit SingleInstance(QString folder = defaultFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // "$XDG_RUNTIME_DIR/app.brindlecast"; without that variable
    // "$XDG_CACHE_HOME/app.brindlecast/instance-<host name>".
    static QString defaultFolder();

    // The single-instance guard: when another copy runs, asks it to come forward and returns its
    // process ID (this copy should then exit). Otherwise this copy becomes the running one and the
    // result is empty.
    std::optional<qint64> activateExistingInstance();

    // Becomes the running copy when no other is, without asking anything of one that is (for
    // launches that skip the guard). True when this copy now holds the lock.
    bool claim();

    bool isRunningCopy() const { return lockFd_ >= 0; }

signals:
    // Another launch asked this copy to come forward; `pid` is its process ID (0 when unknown).
    void activationRequested(qint64 pid);

private:
    bool tryLock();
    void listen();
    void answer();
    std::optional<qint64> askRunningCopy() const;
    std::optional<qint64> pidInLockFile() const;
    QString inFolder(const char* name) const;

    QString folder_;
    Support::FileDescriptor folderFd_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
};

} // namespace BrindlecastApp
