#pragma once

#include "Support/Log.h"

namespace AuditKit {

// Writes log entries to the systemd journal (MESSAGE, PRIORITY, SYSLOG_IDENTIFIER=brindlecast,
// BRINDLECAST_SUBSYSTEM, BRINDLECAST_CATEGORY), or to syslog when no journal answers.
class JournalLogSink final : public Support::LogSink {
public:
    void write(const Support::LogEntry& entry) override;

    // The syslog priority of a level: debug 7, info 6, notice 5, error 3, fault 2.
    static int priority(Support::LogLevel level);
};

} // namespace AuditKit
