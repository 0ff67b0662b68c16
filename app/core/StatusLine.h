#pragma once
// What the status line under the lyrics says, by one rule. Each message belongs to the
// playing song or to the program. A song's messages end when another song starts; within a
// song an outcome the program reached by itself (Routine) never replaces a warning or an
// answer to the user, a later warning may. A skip's reason belongs to the song that starts
// next (NextSong): it lasts through that song's start. A program message stays until another
// program message replaces it or kProgramMs pass; meanwhile only the song's errors and the
// user's answers said after it come before it. The last few stay readable with their times.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace larkspur {

class StatusLine
{
  public:
    enum class Owner { Song, NextSong, Program };
    enum class Level { Routine, Warning, Answer, Error };
    static constexpr std::int64_t kProgramMs = 30'000;
    static constexpr std::size_t kHistory = 5;

    struct Message
    {
        std::string text;
        Owner owner = Owner::Song;
        Level level = Level::Routine;
        std::int64_t atMs = 0;   // the caller's clock
        std::uint64_t order = 0; // of saying
    };

    void say(std::string text, Owner owner, Level level, std::int64_t nowMs);
    // A song starts: the last song's messages end, a NextSong one becomes this song's.
    void songStarted();
    // Takes back the song's message if it still reads so (a lookup's end that a newer one
    // makes stale).
    void withdraw(const std::string& text);
    // What the line shows now (empty: nothing).
    std::string shown(std::int64_t nowMs) const;
    // When shown() changes by itself (a program message ends), if it will.
    std::optional<std::int64_t> changesAtMs(std::int64_t nowMs) const;
    // The last kHistory messages said, oldest first, withdrawn ones included.
    const std::deque<Message>& history() const { return m_history; }

  private:
    bool programLive(std::int64_t nowMs) const;

    std::optional<Message> m_program;
    std::optional<Message> m_song;
    bool m_songCarried = false; // m_song was said for the song that starts next
    std::deque<Message> m_history;
    std::uint64_t m_said = 0;
};

} // namespace larkspur
