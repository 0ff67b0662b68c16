#pragma once
// A song's length measured by GStreamer without playing it, for tools that have no player.

#include <string>

namespace larkspur {

// The length in ms: an MP3's counted frame by frame (mp3FramesLengthMs), anything else's as
// GStreamer's discoverer reads it. Only a regular file is a song: a
// FIFO, a device or a folder throws std::runtime_error saying "not a song file" without
// being opened. Throws std::runtime_error too when the file cannot be read as audio within
// `timeoutMs`, the opening of the file included: the discoverer runs on a thread of its own,
// left behind when it does not answer in time (an open() that blocks cannot be interrupted).
// 0 when the file is read but states no length. Blocks its caller up to `timeoutMs`.
long long measureSongLengthMs(const std::string& path, int timeoutMs = 10000);

} // namespace larkspur
