#include "AuditKit/JournalLogSink.h"

#include <systemd/sd-journal.h>
#include <sys/uio.h>
#include <syslog.h>

#include <mutex>
#include <string>

namespace AuditKit {

namespace {

iovec field(const std::string& text) { return iovec{const_cast<char*>(text.data()), text.size()}; }

void writeToSyslog(const Support::LogEntry& entry, int priority) {
    static std::once_flag opened;
    std::call_once(opened, [] { ::openlog("brindlecast", LOG_PID, LOG_USER); });
    const std::string line = "[" + entry.subsystem + ":" + entry.category + "] " + entry.message.toStdString();
    ::syslog(priority, "%s", line.c_str());
}

} // namespace

int JournalLogSink::priority(Support::LogLevel level) {
    switch (level) {
    case Support::LogLevel::debug: return LOG_DEBUG;
    case Support::LogLevel::info: return LOG_INFO;
    case Support::LogLevel::notice: return LOG_NOTICE;
    case Support::LogLevel::error: return LOG_ERR;
    case Support::LogLevel::fault: return LOG_CRIT;
    }
    return LOG_NOTICE;
}

void JournalLogSink::write(const Support::LogEntry& entry) {
    const int level = priority(entry.level);
    // Fields go as separate vectors, so a message may hold any text, new lines included.
    const std::string message = "MESSAGE=" + entry.message.toStdString();
    const std::string priorityField = "PRIORITY=" + std::to_string(level);
    const std::string identifier = "SYSLOG_IDENTIFIER=brindlecast";
    const std::string subsystem = "BRINDLECAST_SUBSYSTEM=" + entry.subsystem;
    const std::string category = "BRINDLECAST_CATEGORY=" + entry.category;
    const iovec fields[] = {field(message), field(priorityField), field(identifier), field(subsystem), field(category)};
    if (::sd_journal_sendv(fields, static_cast<int>(std::size(fields))) < 0) writeToSyslog(entry, level);
}

} // namespace AuditKit
