// PLS playlists (see PlaylistImport.h).

#include "fuzz/PlaylistCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    larkspur::fuzz::checkPlaylist(larkspur::fuzz::bytesOf(data, size), larkspur::PlaylistKind::Pls,
                                  "list.pls", &larkspur::parsePls);
    return 0;
}
