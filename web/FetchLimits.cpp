#include "web/FetchLimits.h"

namespace larkspur {

std::string limitText(std::chrono::milliseconds limit)
{
    const long long ms = limit.count();
    if (ms < 1000) return std::to_string(ms) + " ms";
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        while (fraction.back() == '0')
            fraction.pop_back();
        text += "." + fraction;
    }
    return text + " s";
}

std::string limitText(std::size_t bytes)
{
    constexpr std::size_t kb = 1024;
    if (bytes >= kb * kb && bytes % (kb * kb) == 0)
        return std::to_string(bytes / (kb * kb)) + " MB";
    if (bytes >= kb && bytes % kb == 0) return std::to_string(bytes / kb) + " KB";
    return std::to_string(bytes) + " bytes";
}

} // namespace larkspur
