#pragma once
// An MP3's length counted frame by frame, as a decoder that decodes every frame finds it: for
// VBR files without a Xing or VBRI header, whose length GStreamer can only estimate from their
// first frames while they play.

#include <atomic>
#include <optional>
#include <string>

namespace larkspur {

// The samples of every MPEG audio frame in ms: ID3v2 tags in front skipped, a Xing, Info or
// VBRI frame left out (it holds no sound), bytes between frames passed over. Nothing when the
// file does not hold MPEG audio frames at its start (after its tags), cannot be read, or
// `cancel` was set. Reads the whole file: not for the interface thread.
std::optional<long long> mp3FramesLengthMs(const std::string& path,
                                           const std::atomic<bool>* cancel = nullptr);

} // namespace larkspur
