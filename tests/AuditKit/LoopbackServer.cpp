#include "LoopbackServer.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

LoopbackServer::LoopbackServer(const QList<int>& script, int defaultStatus, double dripSeconds) {
    logPath_ = TestSupport::makeTemporaryFolder("http") + "/requests.jsonl";
    QStringList arguments{LOOPBACK_HTTP_SERVER_SCRIPT, "--log", logPath_, "--default", QString::number(defaultStatus)};
    for (int status : script) arguments << "--status" << QString::number(status);
    if (dripSeconds > 0) arguments << "--drip" << QString::number(dripSeconds);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("python3", arguments);
    if (!process_.waitForStarted(10000)) {
        ADD_FAILURE() << "python3 did not start";
        return;
    }
    while (process_.waitForReadyRead(10000)) {
        if (!process_.canReadLine()) continue;
        const QByteArray line = process_.readLine().trimmed();
        if (line.startsWith("PORT ")) port_ = line.mid(5).toInt();
        break;
    }
    if (port_ <= 0) ADD_FAILURE() << "the loopback HTTP server did not report its port";
}

LoopbackServer::~LoopbackServer() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.closeWriteChannel(); // the server stops when its input closes
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QUrl LoopbackServer::url(const QString& path) const { return QUrl(QString("http://127.0.0.1:%1%2").arg(port_).arg(path)); }

void LoopbackServer::command(const QByteArray& line) {
    process_.write(line + '\n');
    process_.waitForBytesWritten(5000);
    // The server acknowledges every command, so the next request sees it.
    while (!process_.canReadLine() && process_.waitForReadyRead(5000)) {
    }
    process_.readLine();
}

void LoopbackServer::setDefaultStatus(int status) { command("default " + QByteArray::number(status)); }

std::vector<LoopbackServer::Request> LoopbackServer::requests() const {
    std::vector<Request> result;
    QFile file(logPath_);
    if (!file.open(QIODevice::ReadOnly)) return result;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty()) continue;
        const nlohmann::json entry = nlohmann::json::parse(line.toStdString(), nullptr, false);
        if (entry.is_discarded()) continue; // a line still being written
        Request request;
        request.arrival = entry.at("time").get<double>();
        request.method = QString::fromStdString(entry.at("method").get<std::string>());
        request.path = QString::fromStdString(entry.at("path").get<std::string>());
        for (const auto& header : entry.at("headers")) {
            request.headers.emplace_back(QString::fromStdString(header.at(0).get<std::string>()),
                                         QString::fromStdString(header.at(1).get<std::string>()));
        }
        request.body = QByteArray::fromStdString(entry.at("body").get<std::string>());
        request.status = entry.at("status").get<int>();
        result.push_back(std::move(request));
    }
    return result;
}

std::vector<LoopbackServer::Request> LoopbackServer::waitForRequests(std::size_t count, std::chrono::seconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::vector<Request> seen = requests();
    while (seen.size() < count && std::chrono::steady_clock::now() < end) {
        QThread::msleep(20);
        seen = requests();
    }
    return seen;
}

QUrl LoopbackServer::deadUrl() {
    // Take a free port and let it go again: nothing listens there afterwards.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return QUrl(QString("http://127.0.0.1:%1/audit").arg(ntohs(address.sin_port)));
}
