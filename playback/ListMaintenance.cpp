#include "playback/ListMaintenance.h"

#include <sys/stat.h>

namespace larkspur {

bool songFileExists(const std::string& path)
{
    struct stat st
    {
    };
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string MissingFiles::reportText() const
{
    std::string text;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0) text += '\n';
        text += paths[i];
    }
    return text;
}

MissingFiles testAllFiles(const SongList& list, const FileExists& fileExists)
{
    MissingFiles missing;
    std::string path;
    for (std::size_t i = 0; i < list.count(); ++i) {
        path.assign(splitEntry(list.get(i)).path);
        if (fileExists(path)) continue;
        missing.positions.push_back(i);
        missing.paths.push_back(path);
    }
    return missing;
}

std::vector<std::size_t> stillMissing(const SongList& list, const MissingFiles& missing)
{
    std::vector<std::size_t> found;
    for (std::size_t k = 0; k < missing.positions.size(); ++k) {
        const std::size_t pos = missing.positions[k];
        if (pos < list.count() && splitEntry(list.get(pos)).path == missing.paths[k])
            found.push_back(pos);
    }
    return found;
}

std::size_t clearNotFoundFiles(SongList& list, const MissingFiles& missing,
                               std::vector<std::string>* removed)
{
    const std::vector<std::size_t> gone = stillMissing(list, missing);
    if (removed) {
        removed->clear();
        for (std::size_t pos : gone)
            removed->emplace_back(list.get(pos));
    }
    for (std::size_t k = gone.size(); k-- > 0;)
        list.remove(gone[k]);
    return gone.size();
}

std::size_t banSong(SongList& list, std::string_view path)
{
    std::size_t banned = 0;
    for (std::size_t i = 0; i < list.count(); ++i) {
        const std::string_view line = list.get(i);
        if (line.find('|') == std::string_view::npos || splitEntry(line).path != path) continue;
        ++banned;
        if (splitEntry(line).countText != "-1") list.put(i, makeEntry(-1, path));
    }
    return banned;
}

} // namespace larkspur
