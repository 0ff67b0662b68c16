#include "lyrics/LyricsFileNames.h"

#include "lyrics/LyricsStore.h"

#include <sys/stat.h>

namespace larkspur {

namespace {

// Where the file name starts and where its extension does (npos: none).
std::size_t extensionAt(std::string_view songPath)
{
    const std::size_t slash = songPath.rfind('/');
    const std::size_t name = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = songPath.rfind('.');
    return dot != std::string_view::npos && dot > name ? dot : std::string_view::npos;
}

bool there(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

std::string besideSong(std::string_view songPath, std::string_view ending)
{
    const std::size_t dot = extensionAt(songPath);
    return std::string(songPath.substr(0, dot)) + std::string(ending);
}

std::string lyricsFileFor(std::string_view songPath)
{
    return besideSong(songPath, ".lyr");
}

std::string lrcFileFor(std::string_view songPath)
{
    return besideSong(songPath, ".lrc");
}

std::string oldLyricsFileFor(std::string_view songPath)
{
    const std::size_t dot = extensionAt(songPath);
    if (dot == std::string_view::npos || songPath.size() - dot < 4) return {};
    return std::string(songPath.substr(0, songPath.size() - 4)) + ".lyr";
}

std::string lyricsFileToRead(std::string_view songPath, std::string_view store)
{
    const auto placed = [store](const std::string& beside) {
        return store.empty() || beside.empty() ? beside : storedLyricsFile(store, beside);
    };
    const std::string current = placed(lyricsFileFor(songPath));
    const std::string old = placed(oldLyricsFileFor(songPath));
    return !old.empty() && old != current && !there(current) && there(old) ? old : current;
}

} // namespace larkspur
