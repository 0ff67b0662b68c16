#include "playback/PlayHistory.h"

namespace larkspur {

void PlayHistory::played(const std::string& path)
{
    m_songs.push_back(path);
    if (m_songs.size() > kCapacity) m_songs.pop_front();
    m_at = m_songs.size() - 1;
}

std::optional<std::size_t> PlayHistory::beforeIndex(const Playable& playable) const
{
    for (std::size_t i = m_at; i-- > 0;)
        if (m_songs[i] != m_songs[m_at] && playable(m_songs[i])) return i;
    return std::nullopt;
}

std::optional<std::string> PlayHistory::before(const Playable& playable) const
{
    if (m_songs.empty()) return std::nullopt;
    const auto i = beforeIndex(playable);
    return i ? std::optional(m_songs[*i]) : std::nullopt;
}

bool PlayHistory::stepBack(const Playable& playable)
{
    if (m_songs.empty()) return false;
    const auto i = beforeIndex(playable);
    if (!i) return false;
    m_at = *i;
    return true;
}

} // namespace larkspur
