#include "app/core/StartupPath.h"

namespace larkspur {

std::string resolveListArgument(const std::string& argument, const std::string& executableDir)
{
    if (argument.find('/') != std::string::npos || executableDir.empty()) return argument;
    std::string dir = executableDir;
    if (dir.back() != '/') dir += '/';
    return dir + argument;
}

} // namespace larkspur
