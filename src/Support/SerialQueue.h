#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

namespace Support {

// One worker thread running submitted work in submission order. Destruction runs everything
// still queued, then joins the worker.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    // Queues `work` and returns at once.
    void async(std::function<void()> work);

    // Runs `work` on the worker and waits for its result (exceptions are rethrown here). Called
    // from the worker itself, it runs inline instead of waiting on itself.
    template <typename F>
    auto sync(F&& work) -> std::invoke_result_t<F> {
        using R = std::invoke_result_t<F>;
        if (isCurrent()) return work();
        std::packaged_task<R()> task(std::forward<F>(work));
        std::future<R> result = task.get_future();
        async([&task] { task(); });
        return result.get();
    }

    // Blocks until everything queued before this call has run.
    void drain();

    // True on the worker thread.
    bool isCurrent() const;

private:
    void run();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> work_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace Support
