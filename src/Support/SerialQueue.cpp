#include "Support/SerialQueue.h"

#include "Support/Log.h"

#include <exception>
#include <pthread.h>

namespace Support {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
    worker_ = std::thread([this] { run(); });
    // Thread names are limited to 15 characters; keep the end of the label, its most specific part.
    const std::string name = label_.size() > 15 ? label_.substr(label_.size() - 15) : label_;
    pthread_setname_np(worker_.native_handle(), name.c_str());
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void SerialQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void SerialQueue::drain() {
    sync([] {});
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

void SerialQueue::run() {
    for (;;) {
        std::function<void()> next;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !work_.empty(); });
            if (work_.empty()) return; // stopping, and everything queued has run
            next = std::move(work_.front());
            work_.pop_front();
        }
        try {
            next();
        } catch (const std::exception& e) {
            // Queued work has nobody to report to; one failure must not end the worker.
            Log::write("app.brindlecast", "queue", LogLevel::error,
                       QString("%1: unhandled error: %2").arg(QString::fromStdString(label_), e.what()));
        } catch (...) {
            Log::write("app.brindlecast", "queue", LogLevel::error,
                       QString("%1: unhandled error").arg(QString::fromStdString(label_)));
        }
    }
}

} // namespace Support
