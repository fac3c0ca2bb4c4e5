#include "Support/Log.h"

#include <cstdio>
#include <mutex>

namespace Support {

void StandardErrorLogSink::write(const LogEntry& entry) {
    const QByteArray line = QString("[%1:%2] %3\n")
                                .arg(QString::fromStdString(entry.subsystem), QString::fromStdString(entry.category),
                                     entry.message)
                                .toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

namespace Log {

namespace {
std::mutex sinkMutex;
std::shared_ptr<LogSink>& currentSink() {
    static std::shared_ptr<LogSink> sink = std::make_shared<StandardErrorLogSink>();
    return sink;
}
} // namespace

void setSink(std::shared_ptr<LogSink> sink) {
    std::lock_guard lock(sinkMutex);
    currentSink() = sink ? std::move(sink) : std::make_shared<StandardErrorLogSink>();
}

std::shared_ptr<LogSink> sink() {
    std::lock_guard lock(sinkMutex);
    return currentSink();
}

void write(const std::string& subsystem, const std::string& category, LogLevel level, const QString& message) {
    sink()->write(LogEntry{subsystem, category, level, message});
}

} // namespace Log
} // namespace Support
