#pragma once
// Text work on a fetched page of some size runs on a thread of its own while the calling
// thread waits in a nested event loop, as a waiting HttpClient::Get does: timers, menus and
// other handlers keep running, so a large page never stalls the window. Any handler may
// change the caller's state meanwhile: the work gets copies or locals only, and the caller
// checks afterwards whether its result is still wanted.

#include <QEventLoop>

#include <atomic>
#include <cstddef>
#include <exception>
#include <optional>
#include <thread>
#include <utility>

namespace larkspur {

// Below this many bytes of input the work takes a few milliseconds: it runs in place.
inline constexpr std::size_t kRunAsideBytes = 64 * 1024;

// Returns work() run on a thread of its own (in place when inputBytes is small); rethrows
// what it throws.
template <typename Work> auto runAside(std::size_t inputBytes, Work work) -> decltype(work())
{
    if (inputBytes < kRunAsideBytes) return work();
    std::optional<decltype(work())> result;
    std::exception_ptr failure;
    std::atomic<bool> done = false;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result.emplace(work());
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    while (!done)
        loop.exec(); // also ends when the application quits: keep waiting then
    worker.join();
    if (failure) std::rethrow_exception(failure);
    return std::move(*result);
}

} // namespace larkspur
