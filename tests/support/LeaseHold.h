#pragma once
// A regular file whose open() blocks, as on a share whose server hangs: a write lease held
// on it makes every other open() wait for the holder to let go (the kernel's own limit is
// /proc/sys/fs/lease-break-time, 45 s by default). After `patience`, unless destroyed first,
// the lease is let go so that a stuck test fails instead of hanging.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace larkspur::test {

class LeaseHold
{
  public:
    explicit LeaseHold(const std::string& path,
                       std::chrono::seconds patience = std::chrono::seconds(10))
        : m_fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC))
    {
        // The holder is told of each open that waits, by SIGIO, whose default ends the process.
        struct sigaction told
        {
        };
        told.sa_handler = [](int) { s_asked = true; };
        ::sigaction(SIGIO, &told, nullptr);
        m_held = m_fd >= 0 && ::fcntl(m_fd, F_SETLEASE, F_WRLCK) == 0;
        m_thread = std::thread([this, patience] {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_for(lock, patience, [this] { return m_done; })) return;
            m_rescued = true;
            ::fcntl(m_fd, F_SETLEASE, F_UNLCK);
        });
    }
    ~LeaseHold()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
        if (m_fd >= 0) ::close(m_fd); // lets a left-behind opener go on
    }
    LeaseHold(const LeaseHold&) = delete;
    LeaseHold& operator=(const LeaseHold&) = delete;

    bool held() const { return m_held; }
    // Whether an open() has been held back by the lease.
    static bool asked() { return s_asked; }
    static void forget() { s_asked = false; }
    // Whether the lease had to be let go for the test to go on.
    bool rescued() const { return m_rescued; }

  private:
    static inline volatile sig_atomic_t s_asked = false;
    int m_fd;
    bool m_held = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_rescued = false;
    std::thread m_thread;
};

} // namespace larkspur::test
