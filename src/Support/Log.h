#pragma once

#include <QString>
#include <memory>
#include <string>

namespace Support {

enum class LogLevel { debug, info, notice, error, fault };

struct LogEntry {
    std::string subsystem; // "app.brindlecast", "app.brindlecast.audit", ...
    std::string category;  // "pipeline", "events", ...
    LogLevel level = LogLevel::info;
    QString message;
};

// Where log entries go: the journal in the app, a recorder in tests.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogEntry& entry) = 0;
};

// Writes "[subsystem:category] message" lines to standard error.
class StandardErrorLogSink final : public LogSink {
public:
    void write(const LogEntry& entry) override;
};

namespace Log {
// The process-wide sink; standard error until the app installs another. Thread-safe.
void setSink(std::shared_ptr<LogSink> sink);
std::shared_ptr<LogSink> sink();
void write(const std::string& subsystem, const std::string& category, LogLevel level, const QString& message);
} // namespace Log

// A subsystem and category bound together, for call sites that log often.
class Logger {
public:
    Logger(std::string subsystem, std::string category)
        : subsystem_(std::move(subsystem)), category_(std::move(category)) {}
    void log(LogLevel level, const QString& message) const { Log::write(subsystem_, category_, level, message); }
    void info(const QString& message) const { log(LogLevel::info, message); }
    void notice(const QString& message) const { log(LogLevel::notice, message); }
    void error(const QString& message) const { log(LogLevel::error, message); }

private:
    std::string subsystem_;
    std::string category_;
};

} // namespace Support
