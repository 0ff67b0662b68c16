#pragma once
// The play log: an append-only text file, one event per CR LF line. Each append opens and
// closes the file, so no handle stays open between lines. A program killed in the middle of
// an append may leave its last line cut short (after a power loss even with NUL bytes); the
// next append starts on a new line, and readers take such a line as it is.

#include <stdexcept>
#include <string>

namespace larkspur {

class PlayLogError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Marker lines, written after the song line they point at.
inline constexpr const char* kLogStart = " <- START";
inline constexpr const char* kLogExit = " <- EXIT";
inline constexpr const char* kLogNext = " <- NEXT";
inline constexpr const char* kLogPrevious = " <- PREVIOUS";
inline constexpr const char* kLogNeverPlayAgain = " <- NEVER PLAY AGAIN";
inline constexpr const char* kLogPlayFailure = " <- !! ABSPIELFEHLER !!";

class PlayLog
{
public:
    explicit PlayLog(std::string fileName = "log.txt") : m_fileName(std::move(fileName)) {}

    const std::string& fileName() const { return m_fileName; }

    // Appends line + CR LF, creating the file when missing. Throws PlayLogError with the
    // system's message when the file cannot be opened or written.
    void append(const std::string& line) const;

private:
    std::string m_fileName;
};

} // namespace larkspur
