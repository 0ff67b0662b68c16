#pragma once
// The songs played in this run, for "Previous". Songs drawn or chosen are added as they
// start; a song played by going back is not added again. Each step back goes one song
// further back from the one going back reached; a new song started otherwise ends that walk
// and the next step back starts from it. Holds kCapacity songs, the oldest dropped first.

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace larkspur {

class PlayHistory
{
  public:
    static constexpr std::size_t kCapacity = 100;
    // Whether a song may still be played (listed, not banned).
    using Playable = std::function<bool(const std::string& path)>;

    // A song started by a draw or by the user's choice.
    void played(const std::string& path);
    // The song before the one reached, passing over those no longer playable, or none.
    std::optional<std::string> before(const Playable& playable) const;
    // Goes back to before(): it becomes the song reached. False when there is none.
    bool stepBack(const Playable& playable);
    std::size_t size() const { return m_songs.size(); }
    // The song reached: the one started last, or the one going back reached.
    const std::string& reached() const { return m_songs[m_at]; }

  private:
    std::optional<std::size_t> beforeIndex(const Playable& playable) const;

    std::deque<std::string> m_songs;
    std::size_t m_at = 0; // the song reached, an index into m_songs
};

} // namespace larkspur
