#pragma once
// Temporary folders and generated media for tests.

#include <QByteArray>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <string>

namespace larkspur::test {

// A private temporary folder, removed at the end of the test.
class TempDir
{
  public:
    TempDir();
    std::string path() const { return m_dir.path().toStdString(); }
    std::string file(const std::string& name) const { return path() + "/" + name; }

  private:
    QTemporaryDir m_dir;
};

// Points the user's cache folder ($XDG_CACHE_HOME), and with it the staging page, at a
// temporary folder for the object's lifetime.
class CacheFolder
{
  public:
    CacheFolder();
    ~CacheFolder();
    CacheFolder(const CacheFolder&) = delete;
    CacheFolder& operator=(const CacheFolder&) = delete;
    std::string path() const { return m_dir.path(); }

  private:
    TempDir m_dir;
    QByteArray m_old;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// A name of exactly `bytes` bytes, ASCII or mostly three-byte UTF-8 characters, then `last`.
std::string nameOfBytes(std::size_t bytes, bool multiByte, char last, const std::string& ending);

// Encodes a real MP3 file of about `seconds` of a sine tone with GStreamer's encoder.
// Files of the same length are made once per test run and copied.
void makeMp3(const std::string& path, double seconds);

// An ID3v2 frame (version 3 or 4) written by hand: `body` as stored, compressed or not,
// `flags` its second flag byte.
std::string id3Frame(int version, const std::string& id, const std::string& body,
                     unsigned char flags = 0);
// A compressed frame that claims `claimed` bytes inflated and holds `data` compressed.
std::string id3CompressedFrame(int version, const std::string& id, const std::string& data,
                               std::uint32_t claimed);
// zlib's stream of `data`, as a compressed frame holds it.
std::string zlibStream(const std::string& data);
// A one-second MP3 whose ID3v2 tag holds `frames`; the header claims `size` bytes of tag
// (the frames' own size when 0).
void makeTaggedMp3(const std::string& path, int version, const std::string& frames,
                   std::uint32_t size = 0);

// Polls a condition every 50 ms for up to ten seconds; for processes of their own, which the
// test cannot wait on through an event loop.
bool waitFor(const std::function<bool()>& condition);

} // namespace larkspur::test
