#include "app/core/StartupPath.h"

#include <filesystem>

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

} // namespace larkspur
