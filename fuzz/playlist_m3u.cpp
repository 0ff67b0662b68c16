// M3U and M3U8 playlists (see PlaylistImport.h).

#include "fuzz/PlaylistCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    larkspur::fuzz::checkPlaylist(larkspur::fuzz::bytesOf(data, size), larkspur::PlaylistKind::M3u,
                                  "list.m3u", &larkspur::parseM3u);
    return 0;
}
