#pragma once
// A regular file whose open() blocks, as on a share whose server hangs: a write lease held on
// it makes every other open() wait until the holder lets go, or until the kernel breaks the
// lease after /proc/sys/fs/lease-break-time (45 s by default), so a stuck test still ends.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace larkspur::test {

class LeaseHold
{
  public:
    explicit LeaseHold(const std::string& path) : m_fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC))
    {
        // The holder is told of each open that waits by SIGIO, whose default ends the process.
        struct sigaction told
        {
        };
        told.sa_handler = [](int) {};
        ::sigaction(SIGIO, &told, nullptr);
        m_held = m_fd >= 0 && ::fcntl(m_fd, F_SETLEASE, F_WRLCK) == 0;
    }
    ~LeaseHold() { ::close(m_fd); } // lets a left-behind opener go on
    LeaseHold(const LeaseHold&) = delete;
    bool held() const { return m_held; }
    // A thread of this process waits in open() for a lease now.
    static bool waiting()
    {
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::string channel;
            std::ifstream(task.path() / "wchan") >> channel;
            if (channel.find("break_lease") != std::string::npos) return true;
        }
        return false;
    }

  private:
    int m_fd;
    bool m_held = false;
};

} // namespace larkspur::test
