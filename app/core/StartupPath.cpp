#include "app/core/StartupPath.h"

#include "app/core/SettingsStore.h"

#include <filesystem>
#include <sys/stat.h>

namespace larkspur {

std::string resolveListArgument(const std::string& argument, const std::string& executableDir,
                                bool currentFirst)
{
    if (argument.find('/') != std::string::npos || executableDir.empty()) return argument;
    std::error_code error;
    if (currentFirst && std::filesystem::exists(argument, error)) return argument;
    std::string dir = executableDir;
    if (dir.back() != '/') dir += '/';
    return dir + argument;
}

std::string startupListName(const std::vector<std::string>& args, const std::string& executableDir,
                            bool desktopMode, SettingsStore& settings)
{
    // From the desktop menu the current folder is the home folder, not a choice.
    if (!args.empty()) return resolveListArgument(args.front(), executableDir, !desktopMode);
    if (!desktopMode) return {};
    std::string name = settings.read(kLastListSetting).value_or("");
    std::error_code error;
    return !name.empty() && std::filesystem::exists(name, error) ? name : std::string();
}

bool regularFileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string dialogFolder(const std::string& last, const std::string& music,
                         const std::string& home)
{
    for (const std::string* folder : {&last, &music}) {
        std::error_code error;
        if (!folder->empty() && std::filesystem::is_directory(*folder, error)) return *folder;
    }
    return home;
}

std::string folderOfPath(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace larkspur
