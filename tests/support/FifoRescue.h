#pragma once
// For tests of readers that must not block on a FIFO: after `patience`, unless destroyed
// first, opens each FIFO for writing too, so that a reader stuck in open() goes on and the
// test fails instead of hanging for good.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace larkspur::test {

class FifoRescue
{
  public:
    explicit FifoRescue(std::vector<std::string> fifos,
                        std::chrono::seconds patience = std::chrono::seconds(10))
        : m_fifos(std::move(fifos)), m_thread([this, patience] {
              std::unique_lock lock(m_mutex);
              if (m_wake.wait_for(lock, patience, [this] { return m_done; })) return;
              m_rescued = true;
              for (const auto& fifo : m_fifos)
                  m_fds.push_back(::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
          })
    {}
    ~FifoRescue()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
        for (int fd : m_fds)
            if (fd >= 0) ::close(fd);
    }
    FifoRescue(const FifoRescue&) = delete;
    FifoRescue& operator=(const FifoRescue&) = delete;

    // Whether the reader needed the writers to go on.
    bool rescued() const { return m_rescued; }

  private:
    std::vector<std::string> m_fifos;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_rescued = false;
    std::vector<int> m_fds;
    std::thread m_thread;
};

} // namespace larkspur::test
