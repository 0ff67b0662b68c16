#pragma once
// A song's length measured by GStreamer without playing it, for tools that have no player.

#include <string>

namespace larkspur {

// The length in ms as GStreamer's discoverer reads it, which walks a VBR file without a
// frame count instead of guessing from its first frame. Throws std::runtime_error when the
// file cannot be read as audio within `timeoutMs`; 0 when it is read but states no length.
long long measureSongLengthMs(const std::string& path, int timeoutMs = 10000);

} // namespace larkspur
