#pragma once
// Work of some size (reading a file, parsing a large page) beside the interface thread.
//
// AsideLane: the work runs on a thread of its own and its end continues in a callback on the
// thread of the lane's context object; the handler that asked returns at once, so nothing
// runs inside it. One job runs at a time: a request made while one runs waits in its place,
// and a newer request replaces the waiting one and the running one's callback (the newest
// wins; a flood of requests never stacks threads or callbacks). Small input runs in place and
// its callback runs before run() returns. A job that never ends is left behind: nothing
// waits for it, at exit neither.
//
// runAside: the same work, waited for in a nested event loop. Only for the tail of a fetch,
// which waits nested anyway; it counts as that fetch's wait (NestedWait).

#include "web/NestedWait.h"

#include <QEventLoop>
#include <QObject>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace larkspur {

// Below this many bytes of input the work takes a few milliseconds: it runs in place.
inline constexpr std::size_t kRunAsideBytes = 64 * 1024;

// What a job gave: its value, or what it threw (rethrown by get()).
template <typename T> class AsideResult
{
  public:
    template <typename Work> static AsideResult of(Work& work)
    {
        AsideResult r;
        try {
            r.m_value.emplace(work());
        } catch (...) {
            r.m_failure = std::current_exception();
        }
        return r;
    }
    T& get()
    {
        if (m_failure) std::rethrow_exception(m_failure);
        return *m_value;
    }
    bool failed() const { return m_failure != nullptr; }

  private:
    std::optional<T> m_value;
    std::exception_ptr m_failure;
};

class AsideLane
{
  public:
    // Callbacks run on context's thread, never after the lane or context is gone.
    explicit AsideLane(QObject* context);
    ~AsideLane();
    AsideLane(const AsideLane&) = delete;
    AsideLane& operator=(const AsideLane&) = delete;

    // then(AsideResult<decltype(work())>) runs once work ended, unless a newer run() or
    // drop() came first.
    template <typename Work, typename Then> void run(std::size_t inputBytes, Work work, Then then);
    // No callback of the requests so far runs; a waiting one does not start.
    void drop();
    // A job runs or waits.
    bool busy() const { return m_running || m_waiting; }

  private:
    struct Shared
    {
        std::mutex mutex;
        QObject* context = nullptr;
        bool alive = true; // read and written on the context's thread only
    };
    using Job = std::function<void()>;
    // Runs job on a thread of its own, then finish on the context's thread.
    void launch(Job job, Job finish);
    void startWaiting();

    std::shared_ptr<Shared> m_shared;
    Job m_waiting; // starts the request that waits for the running one
    bool m_running = false;
    std::uint64_t m_ticket = 0; // of the newest request
};

template <typename Work, typename Then>
void AsideLane::run(std::size_t inputBytes, Work work, Then then)
{
    using Result = AsideResult<decltype(work())>;
    const std::uint64_t ticket = ++m_ticket;
    m_waiting = nullptr;
    if (inputBytes < kRunAsideBytes) {
        then(Result::of(work));
        return;
    }
    auto shared = std::make_shared<std::pair<Work, Then>>(std::move(work), std::move(then));
    m_waiting = [this, ticket, shared] {
        auto result = std::make_shared<std::optional<Result>>();
        launch([shared, result] { result->emplace(Result::of(shared->first)); },
               [this, ticket, shared, result] {
                   if (ticket == m_ticket) shared->second(std::move(**result));
               });
    };
    if (!m_running) startWaiting();
}

// Returns work() run on a thread of its own (in place when inputBytes is small) while the
// caller waits nested; rethrows what it throws.
template <typename Work> auto runAside(std::size_t inputBytes, Work work) -> decltype(work())
{
    if (inputBytes < kRunAsideBytes) return work();
    struct State
    {
        std::optional<decltype(work())> result;
        std::exception_ptr failure;
        std::atomic<bool> done = false;
    };
    auto state = std::make_shared<State>();
    const NestedWait wait;
    QEventLoop loop;
    std::thread worker([state, &loop, work = std::move(work)]() mutable {
        try {
            state->result.emplace(work());
        } catch (...) {
            state->failure = std::current_exception();
        }
        state->done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    while (!state->done)
        loop.exec(); // also ends when the application quits: keep waiting then
    worker.join();
    if (state->failure) std::rethrow_exception(state->failure);
    return std::move(*state->result);
}

} // namespace larkspur
