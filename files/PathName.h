#pragma once
// The last part of a path: a song's file name for titles, messages and lookups.

#include <string>
#include <string_view>

namespace larkspur {

inline std::string fileNameOf(std::string_view path)
{
    const auto slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace larkspur
