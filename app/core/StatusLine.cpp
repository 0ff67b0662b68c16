#include "app/core/StatusLine.h"

namespace larkspur {

namespace {
// A warning and an answer to the user replace each other; a routine outcome replaces only
// another; an error, only an error.
int rank(StatusLine::Level level)
{
    switch (level) {
    case StatusLine::Level::Routine:
        return 0;
    case StatusLine::Level::Error:
        return 2;
    default:
        return 1;
    }
}
} // namespace

void StatusLine::say(std::string text, Owner owner, Level level, std::int64_t nowMs)
{
    if (text.empty()) return;
    Message m{std::move(text), owner, level, nowMs, ++m_said};
    m_history.push_back(m);
    if (m_history.size() > kHistory) m_history.pop_front();
    if (owner == Owner::Program) {
        m_program = std::move(m);
        return;
    }
    // A skip carried into this song's start counts as a warning of it.
    if (m_song && !m_songCarried && rank(level) < rank(m_song->level)) return;
    if (m_song && m_songCarried && level == Level::Routine) return;
    m_songCarried = owner == Owner::NextSong;
    if (m_songCarried && level < Level::Warning) m.level = Level::Warning;
    m_song = std::move(m);
}

void StatusLine::songStarted()
{
    if (m_songCarried) {
        m_songCarried = false; // now this song's
        m_song->owner = Owner::Song;
        return;
    }
    m_song.reset();
}

void StatusLine::withdraw(const std::string& text)
{
    if (m_song && !text.empty() && m_song->text == text) {
        m_song.reset();
        m_songCarried = false;
    }
}

bool StatusLine::programLive(std::int64_t nowMs) const
{
    return m_program && nowMs - m_program->atMs < kProgramMs;
}

std::string StatusLine::shown(std::int64_t nowMs) const
{
    // The user's own answer about the song, given after the program's message, comes first.
    const bool songFirst =
        m_song && (!programLive(nowMs) ||
                   (rank(m_song->level) >= rank(Level::Answer) && m_song->level != Level::Warning &&
                    m_song->order > m_program->order));
    if (songFirst) return m_song->text;
    return programLive(nowMs) ? m_program->text : std::string();
}

std::optional<std::int64_t> StatusLine::changesAtMs(std::int64_t nowMs) const
{
    if (!programLive(nowMs)) return std::nullopt;
    return m_program->atMs + kProgramMs;
}

} // namespace larkspur
