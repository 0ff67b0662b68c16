#include "support/TestFiles.h"

#include <QThread>

#include <QFile>
#include <fstream>
#include <gst/gst.h>
#include <map>
#include <sstream>
#include <stdexcept>
#include <zlib.h>

namespace larkspur::test {

TempDir::TempDir()
{
    if (!m_dir.isValid()) throw std::runtime_error("cannot create a temporary folder");
}

CacheFolder::CacheFolder() : m_old(qgetenv("XDG_CACHE_HOME"))
{
    qputenv("XDG_CACHE_HOME", m_dir.path().c_str());
}

CacheFolder::~CacheFolder()
{
    if (m_old.isEmpty())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", m_old);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string nameOfBytes(std::size_t bytes, bool multiByte, char last, const std::string& ending)
{
    const std::size_t body = bytes - ending.size() - 1;
    std::string name(multiByte ? body % 3 : body, 'n');
    while (name.size() < body) name += "\xE9\x9F\xB3"; // U+97F3
    return name + last + ending;
}

namespace {

void encode(const std::string& path, double seconds)
{
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    const int buffers = static_cast<int>(seconds * 44100 / 1024) + 1;
    const std::string desc = "audiotestsrc num-buffers=" + std::to_string(buffers) +
                             " wave=sine freq=440 ! audioconvert ! lamemp3enc ! filesink name=out";
    GError* err = nullptr;
    GstElement* pipeline = gst_parse_launch(desc.c_str(), &err);
    if (!pipeline) {
        std::string text = err ? err->message : "pipeline";
        if (err) g_error_free(err);
        throw std::runtime_error("cannot build the MP3 encoder: " + text);
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_object_set(sink, "location", path.c_str(), nullptr);
    gst_object_unref(sink);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
    if (msg) gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (!ok) throw std::runtime_error("encoding " + path + " failed");
}

} // namespace

void makeMp3(const std::string& path, double seconds)
{
    static std::map<double, std::string> made;
    static TempDir cache;
    auto it = made.find(seconds);
    if (it == made.end()) {
        const std::string master = cache.file("tone" + std::to_string(made.size()) + ".mp3");
        encode(master, seconds);
        it = made.emplace(seconds, master).first;
    }
    QFile::remove(QString::fromStdString(path));
    if (!QFile::copy(QString::fromStdString(it->second), QString::fromStdString(path)))
        throw std::runtime_error("cannot copy test MP3 to " + path);
}

bool waitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        QThread::msleep(50);
    }
    return false;
}

namespace {

std::string be32(std::uint32_t n, bool syncsafe)
{
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i) {
        out[i] = static_cast<char>(n & (syncsafe ? 0x7F : 0xFF));
        n >>= syncsafe ? 7 : 8;
    }
    return out;
}

} // namespace

std::string id3Frame(int version, const std::string& id, const std::string& body,
                     unsigned char flags)
{
    return id + be32(static_cast<std::uint32_t>(body.size()), version == 4) + '\0' +
           static_cast<char>(flags) + body;
}

std::string id3CompressedFrame(int version, const std::string& id, const std::string& data,
                               std::uint32_t claimed)
{
    return id3Frame(version, id, be32(claimed, version == 4) + zlibStream(data),
                    version == 4 ? 0x09 : 0x80);
}

std::string zlibStream(const std::string& data)
{
    uLongf size = compressBound(data.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
    out.resize(size);
    return out;
}

void makeTaggedMp3(const std::string& path, int version, const std::string& frames,
                   std::uint32_t size)
{
    makeMp3(path, 1.0);
    const std::string audio = readFile(path);
    const std::string header = std::string("ID3") + static_cast<char>(version) + '\0' + '\0' +
                               be32(size ? size : static_cast<std::uint32_t>(frames.size()), true);
    writeFile(path, header + frames + audio);
}

} // namespace larkspur::test
