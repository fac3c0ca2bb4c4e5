#include "AuditKit/AuditLog.h"

#include "AuditKit/AuditJSON.h"

namespace AuditKit {

AuditLog::AuditLog(std::shared_ptr<WebhookSink> webhook, std::shared_ptr<Support::LogSink> logSink)
    : webhook_(std::move(webhook)), logSink_(std::move(logSink)) {}

void AuditLog::record(const AuditEvent& event) {
    const AuditRecord record = AuditRecord::now(event);
    emitToLog(record);
    if (webhook_) webhook_->send(record);
}

void AuditLog::emitToLog(const AuditRecord& record) const {
    const Support::LogEntry entry{kSubsystem, kCategory, Support::LogLevel::notice,
                                  QString::fromUtf8(AuditJSON::encode(record))};
    try {
        (logSink_ ? logSink_ : Support::Log::sink())->write(entry);
    } catch (...) {
        // The audit path never throws to its caller.
    }
}

} // namespace AuditKit
