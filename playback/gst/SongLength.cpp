#include "playback/gst/SongLength.h"

#include "files/BoundedCall.h"
#include "playback/Mp3Frames.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

namespace larkspur {

namespace {

long long discoveredLengthMs(const std::string& path, int timeoutMs)
{
    // A FIFO would hold the file source's open() until a writer comes; a device never ends.
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0)
        throw std::runtime_error("Cannot read \"" + path + "\": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw std::runtime_error("\"" + path + "\" is not a song file");
    // An MP3's frames give its length as decoding finds it; the discoverer only estimates a
    // VBR file's without a header.
    if (const auto frames = mp3FramesLengthMs(path)) return *frames;
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    if (!uri) {
        const std::string text = error ? error->message : "Invalid file name";
        if (error) g_error_free(error);
        throw std::runtime_error(text);
    }
    // The discoverer takes no limit under a second; the caller's wait keeps the shorter one.
    const GstClockTime limit = GstClockTime(std::max(timeoutMs, 1000)) * GST_MSECOND;
    GstDiscoverer* discoverer = gst_discoverer_new(limit, &error);
    GstDiscovererInfo* info =
        discoverer ? gst_discoverer_discover_uri(discoverer, uri, &error) : nullptr;
    g_free(uri);
    GList* audio = info ? gst_discoverer_info_get_audio_streams(info) : nullptr;
    const bool read = audio && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK;
    gst_discoverer_stream_info_list_free(audio);
    long long ms = 0;
    if (read) ms = static_cast<long long>(gst_discoverer_info_get_duration(info) / GST_MSECOND);
    std::string why = error ? error->message : "The file holds no audio: " + path;
    if (error) g_error_free(error);
    if (info) g_object_unref(info);
    if (discoverer) g_object_unref(discoverer);
    if (!read) throw std::runtime_error(why);
    return ms;
}

} // namespace

long long measureSongLengthMs(const std::string& path, int timeoutMs)
{
    // The discoverer's own limit starts once its pipeline runs, after the file is open.
    const auto ms = callWithin<long long>(std::chrono::milliseconds(timeoutMs), [path, timeoutMs] {
        return discoveredLengthMs(path, timeoutMs);
    });
    if (!ms) {
        const std::string limit = timeoutMs % 1000 == 0 ? std::to_string(timeoutMs / 1000) + " s"
                                                        : std::to_string(timeoutMs) + " ms";
        throw std::runtime_error("\"" + path + "\" could not be read within " + limit);
    }
    return *ms;
}

} // namespace larkspur
