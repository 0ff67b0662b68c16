#pragma once
// The entries' file of a dictd dictionary: uncompressed, dictzip (a gzip whose header lists
// chunks that inflate alone) or a plain gzip. Only what the entries asked for is read: the
// chunks that hold them, or a plain gzip inflated from its start up to the end of the
// furthest entry asked for and never past kDictdMaxInflated. Blocking reads; the object is
// not changed by reading, so one may be read from one thread at a time or several.

#include "dictionary/DictdFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace larkspur {

class DictdData
{
  public:
    // False when `path` cannot be used: `why` as DictdFile::open gives it, or a sentence on
    // a broken gzip header.
    bool open(const std::filesystem::path& path, std::string& why);

    // Whether bytes [offset, offset + length) may be in the data: false when they are known
    // to pass its end without reading any (uncompressed or dictzip data).
    bool mayHold(std::uint64_t offset, std::uint64_t length) const;

    struct Piece
    {
        enum class Outcome { Read, Unreadable, PastInflateBound };
        std::uint64_t offset = 0;
        std::size_t length = 0;
        std::string text; // when Read: the `length` bytes at `offset`
        Outcome outcome = Outcome::Unreadable;
    };

    // Reads every piece; the caller bounds the lengths, and so the memory.
    void read(std::vector<Piece>& pieces) const;

  private:
    enum class Kind { Plain, DictZip, Gzip };

    std::string inflateChunk(std::size_t chunk) const;
    void readDictZip(Piece& piece, std::size_t& cachedChunk, std::string& cached) const;
    void readGzip(std::vector<Piece>& pieces) const;
    bool readHeader();

    DictdFile m_file;
    std::filesystem::path m_path;
    Kind m_kind = Kind::Plain;
    std::uint64_t m_chunkLength = 0;
    std::vector<std::uint64_t> m_chunkStarts; // file offsets; one more than there are chunks
};

} // namespace larkspur
