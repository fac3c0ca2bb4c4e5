#pragma once

#include "AuditKit/AuditRecord.h"
#include "AuditKit/OfflineBuffer.h"

#include <QString>
#include <QUrl>

#include <memory>

namespace AuditKit {

class DeliveryChannel;

// Posts audit records to the organisation's webhook, one record's JSON text per POST.
//
// A record is appended to the offline buffer before anything else (one write, however full the
// buffer), so a record queued or mid-retry when the process ends is still in the file. Delivery
// passes then run on the folder's worker thread ("app.brindlecast.audit.webhook", one per buffer
// folder in the process): each brings the buffer back to its bound and flushes it to the disk,
// then posts the buffered records oldest first, up to 3 attempts each (of at most a minute) with
// 0.2 s and 0.4 s pauses, and takes delivered records out of the buffer (in small batches, and
// always before a retry pause), so they are not posted again, by this process not even when the
// buffer file cannot be rewritten (a full disk). The first record that cannot be delivered ends
// the pass; it and everything after it stay buffered for the next pass. Passes of other processes on
// the same folder take turns through an flock on "audit-buffer.drain.lock".
//
// Nothing is reported to the caller and the caller never waits for the network.
class WebhookSink {
public:
    static constexpr qint64 kBufferMaxCount = 10000;
    static constexpr int kMaxAttempts = 3;
    static constexpr const char* kDrainLockFileName = "audit-buffer.drain.lock";

    WebhookSink(QUrl url, const QString& bufferDirectory);

    // "$XDG_DATA_HOME/Brindlecast/audit-buffer".
    static QString defaultBufferDirectory();

    const QUrl& url() const { return url_; }
    OfflineBuffer& buffer() { return *buffer_; }

    // Buffers the record and queues a delivery pass (unless one to the same URL is already
    // waiting to start); returns at once.
    void send(const AuditRecord& record);

    // Blocks until every pass queued so far on this sink's folder has run.
    void waitUntilIdle();

private:
    QUrl url_;
    std::shared_ptr<OfflineBuffer> buffer_;
    std::shared_ptr<DeliveryChannel> channel_;
};

} // namespace AuditKit
