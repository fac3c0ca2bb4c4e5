#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <utility>
#include <vector>

// Drives tests/support/loopback_http_server.py: a scripted HTTP server on 127.0.0.1 that records
// every request it receives.
class LoopbackServer {
public:
    struct Request {
        double arrival = 0; // seconds on the server's monotonic clock
        QString method;
        QString path;
        std::vector<std::pair<QString, QString>> headers;
        QByteArray body;
        int status = 0;
    };

    // Starts the server answering `script` in order, then `defaultStatus`; with `dripSeconds`, every
    // answer instead is a 200 whose body never ends, one byte each `dripSeconds`. Fails the test
    // when it cannot start.
    explicit LoopbackServer(const QList<int>& script = {}, int defaultStatus = 204, double dripSeconds = 0);
    ~LoopbackServer();

    bool isRunning() const { return port_ > 0; }
    QUrl url(const QString& path = "/audit") const;

    void setDefaultStatus(int status);

    std::vector<Request> requests() const;
    // Waits (up to a generous limit) until at least `count` requests arrived; the requests then.
    std::vector<Request> waitForRequests(std::size_t count, std::chrono::seconds limit = std::chrono::seconds(30)) const;

    // A URL on 127.0.0.1 where nothing listens.
    static QUrl deadUrl();

private:
    void command(const QByteArray& line);

    QProcess process_;
    QString logPath_;
    int port_ = 0;
};
