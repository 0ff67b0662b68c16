// Plain text playlists, one path a line (see PlaylistImport.h).

#include "fuzz/PlaylistCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    larkspur::fuzz::checkPlaylist(larkspur::fuzz::bytesOf(data, size), larkspur::PlaylistKind::Text,
                                  "list.txt", &larkspur::parseTextPlaylist);
    return 0;
}
