#include "lyrics/LyricsStore.h"

#include <cstdlib>
#include <filesystem>

namespace larkspur {

std::string lyricsStoreFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return std::string(data) + "/larkspur/lyrics";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.local/share/larkspur/lyrics";
}

std::string storedLyricsFile(std::string_view store, std::string_view besideFile)
{
    std::error_code error;
    std::filesystem::path path(besideFile);
    if (path.is_relative()) {
        const auto absolute = std::filesystem::absolute(path, error);
        if (!error) path = absolute;
    }
    // "..", when the list holds one, must not lead out of the store.
    return std::string(store) + (std::filesystem::path("/") / path).lexically_normal().string();
}

} // namespace larkspur
