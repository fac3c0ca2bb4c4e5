#pragma once

#include <exception>
#include <functional>
#include <optional>

class QThreadPool;

namespace BrindlecastApp::Pipeline {

// What work done on a worker thread gave: its value, or the failure it threw.
template <typename T>
struct Outcome {
    std::optional<T> value;
    std::exception_ptr error;

    bool succeeded() const { return !error; }
};

// Queues `task` on the GUI thread's event loop. Safe from any thread; dropped when the
// application is gone.
void onGuiThread(std::function<void()> task);

// Runs `work` on `pool`, or on the worker pool that captures and exports share when none is given.
void onWorker(std::function<void()> work, QThreadPool* pool = nullptr);

// Runs `work` on `pool` (as onWorker) and hands its outcome to `then` on the GUI thread. The GUI
// thread never waits for the work.
template <typename T>
void inBackground(std::function<T()> work, std::function<void(Outcome<T>)> then, QThreadPool* pool = nullptr) {
    onWorker([work = std::move(work), then = std::move(then)]() mutable {
        Outcome<T> outcome;
        try {
            outcome.value.emplace(work());
        } catch (...) {
            outcome.error = std::current_exception();
        }
        onGuiThread([then = std::move(then), outcome = std::move(outcome)]() mutable { then(std::move(outcome)); });
    }, pool);
}

} // namespace BrindlecastApp::Pipeline
