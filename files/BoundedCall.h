#pragma once
// Work that may block in the kernel for good (an open() of a FIFO, a stat() on a share whose
// server is gone), run on a thread of its own that the caller waits for only so long. Such a
// call cannot be interrupted; a thread that does not answer is left behind, never joined.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace larkspur {

// How often a wait looks at its stop flag.
inline constexpr std::chrono::milliseconds kBoundedCallStopCheck{50};

// `work`'s result, or nothing when it did not return within `limit` or `*stop` turned true
// first: its thread then runs on, detached, and what it returns is dropped. `work` must own
// all it uses (captured by value), as it may outlive the caller. An exception it throws in
// time is thrown here. Blocks the calling thread: not for the interface thread.
template <typename T>
std::optional<T> callWithin(std::chrono::milliseconds limit, std::function<T()> work,
                            const std::atomic<bool>* stop = nullptr)
{
    struct Outcome
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::optional<T> value;
        std::exception_ptr error;
    };
    const auto outcome = std::make_shared<Outcome>();
    std::thread thread([outcome, work = std::move(work)] {
        std::optional<T> value;
        std::exception_ptr error;
        try {
            value.emplace(work());
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(outcome->mutex);
        outcome->value = std::move(value);
        outcome->error = error;
        outcome->finished = true;
        outcome->done.notify_all();
    });
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(outcome->mutex);
    while (!outcome->finished && !(stop && *stop)) {
        const auto next =
            std::min(deadline, std::chrono::steady_clock::now() + kBoundedCallStopCheck);
        outcome->done.wait_until(lock, next, [&] { return outcome->finished; });
        if (std::chrono::steady_clock::now() >= deadline) break;
    }
    if (!outcome->finished) {
        lock.unlock();
        thread.detach();
        return std::nullopt;
    }
    lock.unlock();
    thread.join(); // it has set its outcome: only its return is left
    if (outcome->error) std::rethrow_exception(outcome->error);
    return std::move(outcome->value);
}

} // namespace larkspur
