#pragma once

#include "AuditKit/AuditEvent.h"
#include "AuditKit/WebhookSink.h"
#include "Support/Log.h"

#include <memory>

namespace AuditKit {

// The audit trail's entry point: each event becomes a record whose JSON text is logged under
// "app.brindlecast.audit" / "events" at notice level, and which is handed to the webhook when
// there is one. Never fails and never waits for the network.
class AuditLog {
public:
    static constexpr const char* kSubsystem = "app.brindlecast.audit";
    static constexpr const char* kCategory = "events";

    // `logSink` defaults to the process's log sink (the journal in the app).
    explicit AuditLog(std::shared_ptr<WebhookSink> webhook = nullptr, std::shared_ptr<Support::LogSink> logSink = nullptr);

    void record(const AuditEvent& event);

private:
    void emitToLog(const AuditRecord& record) const;

    std::shared_ptr<WebhookSink> webhook_;
    std::shared_ptr<Support::LogSink> logSink_;
};

} // namespace AuditKit
