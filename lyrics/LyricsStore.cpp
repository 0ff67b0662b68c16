#include "lyrics/LyricsStore.h"

#include "files/ReplaceFile.h"
#include "lyrics/LyricsFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace larkspur {

namespace {

// The paths from the store's first folder below it down to `stored` itself; nothing when
// `stored` is not inside the store.
std::vector<std::string> stepsBelow(std::string_view store, const std::string& stored)
{
    std::vector<std::string> steps;
    const std::string root = std::string(store) + "/";
    if (!stored.starts_with(root)) return steps;
    for (auto slash = stored.find('/', root.size()); slash != std::string::npos;
         slash = stored.find('/', slash + 1))
        steps.push_back(stored.substr(0, slash));
    steps.push_back(stored);
    return steps;
}

} // namespace

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

std::string linkInStore(std::string_view store, const std::string& stored)
{
    for (const std::string& step : stepsBelow(store, stored)) {
        struct stat st
        {
        };
        if (::lstat(step.c_str(), &st) != 0) break; // nothing further down is there either
        if (S_ISLNK(st.st_mode)) return step;
    }
    return {};
}

void makeStoreFolders(std::string_view store, const std::string& stored)
{
    if (!makeFolders(std::string(store)))
        throw LyricsFileError("The lyrics store \"" + std::string(store) + "\" cannot be made");
    std::vector<std::string> steps = stepsBelow(store, stored);
    if (!steps.empty()) steps.pop_back(); // the file
    // Checked step by step before each is used; the store is the user's own, where no one
    // else swaps a folder for a link between the check and the use.
    for (const std::string& step : steps) {
        struct stat st
        {
        };
        if (::lstat(step.c_str(), &st) != 0 && ::mkdir(step.c_str(), 0700) != 0 && errno != EEXIST)
            throw LyricsFileError("Cannot make the folder \"" + step +
                                  "\" in the lyrics store: " + std::strerror(errno));
        if (::lstat(step.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            throw LyricsFileError("The lyrics store holds a symbolic link at \"" + step +
                                  "\"; it is not followed");
    }
}

std::string saveBesideOrInStore(std::string_view store, const std::string& besideFile,
                                std::string_view text)
{
    try {
        writeLyricsFile(besideFile, text);
        return besideFile;
    } catch (const LyricsFileError& beside) {
        const std::string stored = storedLyricsFile(store, besideFile);
        try {
            makeStoreFolders(store, stored);
            if (const std::string link = linkInStore(store, stored); !link.empty())
                throw LyricsFileError("The lyrics store holds a symbolic link at \"" + link +
                                      "\"; it is not followed");
        } catch (const LyricsFileError& inStore) {
            throw LyricsFileError(std::string(beside.what()) +
                                  "; nor in the store: " + inStore.what());
        }
        writeLyricsFile(stored, text);
        return stored;
    }
}

std::string savedLyricsText(const std::string& besideFile, const std::string& saved,
                            std::string_view store)
{
    const std::string name = "\"" + besideFile.substr(besideFile.find_last_of('/') + 1) + "\"";
    if (saved == besideFile) return "Saved " + name + " beside the song.";
    return "Saved " + name + " in the lyrics store (" + std::string(store) +
           "): the song's folder takes no file.";
}

} // namespace larkspur
