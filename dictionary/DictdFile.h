#pragma once
// One file of a dictd dictionary, opened for reading by offset. Opened without blocking and
// kept only when it is a regular file: a FIFO with no writer, a device or a folder in the
// dictionary folder must never hang a lookup.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace larkspur {

class DictdFile
{
  public:
    DictdFile() = default;
    ~DictdFile();
    DictdFile(const DictdFile&) = delete;
    DictdFile& operator=(const DictdFile&) = delete;

    // False when `path` cannot be used: `why` stays empty when there is no such file, and
    // otherwise gets a sentence naming the file and the reason.
    bool open(const std::filesystem::path& path, std::string& why);

    // The size when opened, in bytes.
    std::uint64_t size() const { return m_size; }

    // Up to `len` bytes at `off`; fewer only at the end of the file or on a read error.
    std::string readAt(std::uint64_t off, std::size_t len) const;

  private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

} // namespace larkspur
