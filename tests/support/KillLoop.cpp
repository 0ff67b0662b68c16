#include "support/KillLoop.h"

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace larkspur::test {

namespace {

using Clock = std::chrono::steady_clock;

class Child
{
  public:
    explicit Child(const std::vector<std::string>& command,
                   const std::vector<std::string>& environment = {})
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        std::vector<char*> argv;
        for (const auto& a : command)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (char** e = environ; *e; ++e)
            envp.push_back(*e);
        for (const auto& e : environment)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], 1);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        m_out = fds[0];
        if (m_pid < 0) throw std::runtime_error("fork");
    }
    ~Child()
    {
        kill();
        ::close(m_out);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line of its output; throws after ten seconds of silence or at its end.
    std::string line()
    {
        for (;;) {
            const auto eol = m_buffer.find('\n');
            if (eol != std::string::npos) {
                std::string l = m_buffer.substr(0, eol);
                m_buffer.erase(0, eol + 1);
                return l;
            }
            if (!fill(10000)) throw std::runtime_error("the save probe stopped or fell silent");
        }
    }

    void kill()
    {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

    // Everything it wrote, once it is dead.
    std::string rest()
    {
        while (fill(10000)) {
        }
        std::string r;
        r.swap(m_buffer);
        return r;
    }

  private:
    bool fill(int timeoutMs)
    {
        pollfd p{m_out, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        char buf[4096];
        const ssize_t n = ::read(m_out, buf, sizeof buf);
        if (n <= 0) return false;
        m_buffer.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

void note(const std::string& line, KilledSave& k)
{
    if (line.size() < 2) return;
    const long n = std::stol(line.substr(1));
    if (line[0] == 'S') k.started = std::max(k.started, n);
    if (line[0] == 'D') k.done = std::max(k.done, n);
}

} // namespace

KillLoop::KillLoop(std::vector<std::string> command, unsigned seed)
    : m_command(std::move(command)), m_random(seed)
{}

std::chrono::microseconds KillLoop::timeOneSave()
{
    // The first save of a start also clears what an earlier kill left; the second does not.
    Child child(m_command);
    Clock::duration longest{};
    for (const char* n : {"0", "1"}) {
        while (child.line() != std::string("S") + n) {
        }
        const auto start = Clock::now();
        while (child.line() != std::string("D") + n) {
        }
        longest = std::max(longest, Clock::now() - start);
    }
    return std::chrono::duration_cast<std::chrono::microseconds>(longest);
}

KilledSave KillLoop::killDuringSave(std::chrono::microseconds spread)
{
    Child child(m_command);
    KilledSave k;
    std::string l;
    do {
        l = child.line();
        note(l, k);
    } while (l != "S0");
    std::uniform_int_distribution<long> delay(0, spread.count());
    std::this_thread::sleep_for(std::chrono::microseconds(delay(m_random)));
    child.kill();
    const std::string rest = child.rest();
    std::size_t from = 0;
    for (auto eol = rest.find('\n'); eol != std::string::npos; eol = rest.find('\n', from)) {
        note(rest.substr(from, eol - from), k);
        from = eol + 1;
    }
    return k;
}

KilledSave KillLoop::killAtStop(const std::vector<std::string>& environment)
{
    Child child(m_command, environment);
    KilledSave k;
    for (std::string l = child.line(); l != "X"; l = child.line()) {
        note(l, k);
        if (k.done >= 1) throw std::runtime_error("the save probe never stopped");
    }
    child.kill();
    return k;
}

std::vector<std::string> folderNames(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace larkspur::test
