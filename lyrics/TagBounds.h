#pragma once
// The ID3v2 tag at the start of a song file, read as bytes and checked against the bounds of
// SourceLimits.h before TagLib parses it: TagLib inflates compressed frames without a bound.

#include <string>
#include <string_view>

namespace larkspur {

struct BoundedTag
{
    enum class Outcome { None, Refused, Read };
    Outcome outcome = Outcome::None;
    // Read: the tag (header, frames, footer) and up to 64 KB of the audio after it, enough
    // for the first frame's sample rate.
    std::string bytes;
    std::string why; // Refused: one line on which bound the tag would pass
};

// None when the file cannot be read or does not start with an ID3v2 tag.
BoundedTag readBoundedTag(const std::string& songPath);

// Why a whole tag (from its "ID3" header on) would pass the bounds; empty when it keeps to
// them. Frames are walked as TagLib walks them, so what it would inflate is inflated here
// first, with a bound.
std::string tagRefusal(std::string_view tag);

} // namespace larkspur
