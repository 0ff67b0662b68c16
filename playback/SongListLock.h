#pragma once
// Keeps a second running copy off a song list: each copy would save its own counts over the
// other's. The lock is an flock on "<list>.lock" beside the list (shortened like any name that
// would grow too long, see besideFile), or in the user's runtime folder when the list's folder
// takes no new file; it is released when the holder ends, even by a crash.

#include <string>

namespace larkspur {

class SongListLock
{
public:
    enum class Result {
        Taken,
        HeldElsewhere, // another running copy plays this list
        Unavailable,   // no lock file could be made; the caller goes on without one
    };

    SongListLock() = default;
    ~SongListLock() { release(); }
    SongListLock(const SongListLock&) = delete;
    SongListLock& operator=(const SongListLock&) = delete;

    // runtimeFolder empty: $XDG_RUNTIME_DIR/larkspur, else a private folder in /tmp.
    Result acquire(const std::string& listFile, const std::string& runtimeFolder = {});
    void release();
    const std::string& lockFile() const { return m_path; }

private:
    Result lockAt(const std::string& path);

    int m_fd = -1;
    std::string m_path;
};

} // namespace larkspur
