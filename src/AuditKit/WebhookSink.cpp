#include "AuditKit/WebhookSink.h"

#include "AuditKit/AuditJSON.h"
#include "AuditKit/HttpPost.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/SerialQueue.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <unistd.h>

namespace AuditKit {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kFirstPause = 200ms;
// Delivered lines are taken out of the buffer in batches, so a long drain does not rewrite the
// whole file for every record, and always before a retry pause: only a crash in a run of
// successful posts can repeat records, at most one batch.
constexpr std::size_t kRemovalBatch = 32;
constexpr std::chrono::milliseconds kDrainLockPoll = 50ms;

} // namespace

// The worker of one buffer folder: runs delivery passes one after another. Lives until the
// process ends; at exit it stops waiting and posting, and whatever is undelivered stays buffered.
class DeliveryChannel {
public:
    explicit DeliveryChannel(QString directory) : directory_(std::move(directory)) {}

    ~DeliveryChannel() {
        {
            std::lock_guard guard(pauseMutex_);
            cancelled_ = true;
        }
        pauseWake_.notify_all();
        // `queue_` is destroyed next: the passes still queued see the flag and return.
    }

    void schedule(QUrl url, std::shared_ptr<OfflineBuffer> buffer, std::optional<AuditRecord> unbuffered) {
        if (!unbuffered) {
            // A pass to this URL that has not started yet will find the record in the buffer:
            // records sent while the endpoint is down do not pile up a pass each.
            std::lock_guard guard(pendingMutex_);
            if (!pendingURLs_.insert(url).second) return;
        }
        const bool pending = !unbuffered;
        queue_.async([this, url = std::move(url), buffer = std::move(buffer), unbuffered = std::move(unbuffered), pending] {
            if (pending) {
                std::lock_guard guard(pendingMutex_);
                pendingURLs_.erase(url); // before the buffer is read: later records get a pass of their own
            }
            runPass(url, *buffer, unbuffered);
        });
    }

    void waitUntilIdle() { queue_.drain(); }

private:
    // Sleeps unless the channel is stopping; false when it is.
    bool pause(std::chrono::milliseconds length) {
        std::unique_lock lock(pauseMutex_);
        return !pauseWake_.wait_for(lock, length, [this] { return cancelled_.load(); });
    }

    // `beforeRetry` runs once the first attempt has failed.
    bool postWithRetries(const QUrl& url, const QByteArray& body, const std::function<void()>& beforeRetry) {
        std::chrono::milliseconds wait = kFirstPause;
        for (int attempt = 1; attempt <= WebhookSink::kMaxAttempts; ++attempt) {
            if (HttpPost::send(url, body, cancelled_)) return true;
            if (attempt == 1) beforeRetry();
            if (attempt == WebhookSink::kMaxAttempts || !pause(wait)) break;
            wait *= 2;
        }
        return false;
    }

    // Holds the folder's drain lock against passes of other processes; -1 when stopping.
    int lockDrain() {
        const QByteArray path = Support::FileNames::encode(directory_ + '/' + WebhookSink::kDrainLockFileName);
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return -2; // no lock to be had: deliver anyway rather than never
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) return fd;
            if (!pause(kDrainLockPoll)) {
                ::close(fd);
                return -1;
            }
        }
        return fd;
    }

    void runPass(const QUrl& url, OfflineBuffer& buffer, const std::optional<AuditRecord>& unbuffered) {
        if (cancelled_) return;
        // Records come in by quick appends: bring the buffer back to its bound and onto the disk.
        buffer.trim();
        const int drainLock = lockDrain();
        if (drainLock == -1) return;

        std::vector<QByteArray> delivered;
        std::vector<QByteArray> undecodable;
        const auto removeDelivered = [&] {
            buffer.remove(delivered);
            delivered.clear();
        };
        bool allDelivered = true;
        for (const QByteArray& line : buffer.readLines()) {
            std::optional<QByteArray> body;
            try {
                body = AuditJSON::encode(AuditJSON::decode(line));
            } catch (const AuditJSON::DecodingError&) {
                undecodable.push_back(line);
                continue;
            }
            if (cancelled_ || !postWithRetries(url, *body, removeDelivered)) {
                allDelivered = false;
                break;
            }
            delivered.push_back(line);
            if (delivered.size() >= kRemovalBatch) removeDelivered();
        }
        // Lines that never decode go once everything before and after them was delivered.
        if (allDelivered) delivered.insert(delivered.end(), undecodable.begin(), undecodable.end());
        buffer.remove(delivered);

        if (unbuffered) {
            // The record could not be buffered first: post it now, and buffer it if that fails too.
            const bool sent = allDelivered && !cancelled_ && postWithRetries(url, AuditJSON::encode(*unbuffered), [] {});
            if (!sent) buffer.append(*unbuffered);
        }
        if (drainLock >= 0) ::close(drainLock);
    }

    QString directory_;
    std::mutex pendingMutex_;
    std::set<QUrl> pendingURLs_; // passes queued and not started, by URL
    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
    std::atomic<bool> cancelled_{false};
    Support::SerialQueue queue_{"app.brindlecast.audit.webhook"}; // last: stopped first
};

namespace {

std::shared_ptr<DeliveryChannel> channelForFolder(const QString& directory) {
    // The registry's destruction at exit stops the workers. Whatever they use must be torn down
    // after that, so it is set up before the registry exists.
    HttpPost::initialise();
    static std::mutex registryMutex;
    static std::map<QString, std::shared_ptr<DeliveryChannel>> registry;
    QString key = QFileInfo(directory).canonicalFilePath();
    if (key.isEmpty()) key = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    std::lock_guard guard(registryMutex);
    std::shared_ptr<DeliveryChannel>& channel = registry[key];
    if (!channel) channel = std::make_shared<DeliveryChannel>(directory);
    return channel;
}

} // namespace

WebhookSink::WebhookSink(QUrl url, const QString& bufferDirectory)
    : url_(std::move(url)), buffer_(std::make_shared<OfflineBuffer>(bufferDirectory, kBufferMaxCount)),
      channel_(channelForFolder(bufferDirectory)) {}

QString WebhookSink::defaultBufferDirectory() {
    return Support::Folders::dataHome() + "/Brindlecast/audit-buffer";
}

void WebhookSink::send(const AuditRecord& record) {
    const bool buffered = buffer_->appendUntrimmed(record);
    channel_->schedule(url_, buffer_, buffered ? std::nullopt : std::optional<AuditRecord>(record));
}

void WebhookSink::waitUntilIdle() { channel_->waitUntilIdle(); }

} // namespace AuditKit
