#include "lyrics/EmbeddedLyrics.h"

#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsFile.h"
#include "lyrics/TagBounds.h"

#include <cstdint>
#include <filesystem>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <vector>

namespace larkspur {

namespace {

using TagLib::ID3v2::SynchronizedLyricsFrame;
using TagLib::ID3v2::UnsynchronizedLyricsFrame;

std::string utf8(const TagLib::String& s)
{
    return s.to8Bit(true);
}

bool isBreak(char c)
{
    return c == '\r' || c == '\n';
}

bool isBlank(const std::string& s)
{
    return s.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

// An LRC stamp has at most three digits of minutes: a later time would be read as text.
constexpr std::int64_t kLrcEndMs = 1000LL * 60 * 1000;

// Samples in one MPEG audio frame, to turn SYLT frame counts into milliseconds.
int samplesPerFrame(const TagLib::MPEG::Properties& p)
{
    if (p.layer() == 1) return 384;
    if (p.layer() == 2 || p.version() == TagLib::MPEG::Header::Version1) return 1152;
    return 576;
}

// A byte of the frame's fields as the file has it (4: the time format, 5: the content type).
// TagLib keeps those bytes in its enums whatever they are, and reading an enum out of its
// range is undefined.
int syltFieldByte(const SynchronizedLyricsFrame& frame, unsigned index)
{
    const TagLib::ByteVector bytes = frame.render(); // header, then the fields of size()
    if (frame.size() > bytes.size()) return -1;
    const unsigned at = bytes.size() - frame.size() + index;
    return at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : -1;
}

// SYLT entries are either whole lines or syllables, where an entry that starts with a line
// break opens a new line. One LRC line per line either way.
std::string syltToLrc(const SynchronizedLyricsFrame& frame, const TagLib::MPEG::File& file)
{
    std::int64_t num = 1, den = 1;
    if (syltFieldByte(frame, 4) == SynchronizedLyricsFrame::AbsoluteMpegFrames) {
        const auto* props = file.audioProperties();
        if (!props || props->sampleRate() <= 0) return {};
        num = std::int64_t{samplesPerFrame(*props)} * 1000;
        den = props->sampleRate();
    }
    const auto entries = frame.synchedText();
    bool syllables = false;
    for (const auto& e : entries) {
        const std::string t = utf8(e.text);
        if (!t.empty() && isBreak(t.front())) syllables = true;
    }
    struct Line
    {
        std::int64_t ms;
        std::string text;
    };
    std::vector<Line> lines;
    bool anyText = false;
    for (const auto& e : entries) {
        const std::int64_t ms = std::int64_t{e.time} * num / den;
        if (ms >= kLrcEndMs) continue;
        std::string t = utf8(e.text);
        const bool opens = !syllables || lines.empty() || (!t.empty() && isBreak(t.front()));
        std::size_t start = 0;
        while (start < t.size() && isBreak(t[start]))
            ++start;
        t.erase(0, start);
        for (char& c : t)
            if (isBreak(c)) c = ' ';
        anyText = anyText || !isBlank(t);
        if (opens)
            lines.push_back({ms, t});
        else
            lines.back().text += t;
    }
    if (!anyText) return {}; // stamps alone are no lyrics
    std::string out;
    for (const Line& line : lines) {
        if (!out.empty()) out += "\r\n";
        out += lrcStamp(line.ms) + line.text;
    }
    return out;
}

bool isLyricsType(const SynchronizedLyricsFrame& frame)
{
    const int type = syltFieldByte(frame, 5);
    return type == SynchronizedLyricsFrame::Lyrics || type == SynchronizedLyricsFrame::Other ||
           type == SynchronizedLyricsFrame::TextTranscription;
}

} // namespace

std::optional<EmbeddedLyrics> readEmbeddedLyrics(const std::string& songPath, std::string* refused)
{
    // TagLib opens folders and devices too; only a regular file can be a song.
    std::error_code error;
    if (!std::filesystem::is_regular_file(songPath, error)) return std::nullopt;
    try {
        const BoundedTag bounded = readBoundedTag(songPath);
        if (bounded.outcome == BoundedTag::Outcome::Refused && refused)
            *refused = "The tags of \"" + songPath + "\" were not read: " + bounded.why + ".";
        if (bounded.outcome != BoundedTag::Outcome::Read) return std::nullopt;
        // TagLib gets only the bytes checked, never the file, which could have changed since.
        TagLib::ByteVectorStream stream(TagLib::ByteVector(
            bounded.bytes.data(), static_cast<unsigned int>(bounded.bytes.size())));
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), true,
                                TagLib::AudioProperties::Fast);
        if (!file.isValid() || !file.hasID3v2Tag()) return std::nullopt;
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
        if (!tag) return std::nullopt;
        EmbeddedLyrics result;
        result.artist = utf8(tag->artist());
        result.title = utf8(tag->title());
        result.album = utf8(tag->album());
        result.trackNumber = tag->track();
        const auto& frames = tag->frameListMap();
        if (const auto it = frames.find("USLT"); it != frames.end()) {
            for (const auto* f : it->second) {
                const auto* uslt = dynamic_cast<const UnsynchronizedLyricsFrame*>(f);
                if (uslt && !isBlank(utf8(uslt->text()))) {
                    result.text = withCrLf(utf8(uslt->text()));
                    break;
                }
            }
        }
        if (const auto it = frames.find("SYLT"); it != frames.end()) {
            for (const auto* f : it->second) {
                const auto* sylt = dynamic_cast<const SynchronizedLyricsFrame*>(f);
                if (!sylt || !isLyricsType(*sylt)) continue;
                result.lrc = syltToLrc(*sylt, file);
                if (!result.lrc.empty()) break;
            }
        }
        return result;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace larkspur
