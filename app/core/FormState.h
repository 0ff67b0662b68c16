#pragma once
// The main window's state variables: one instance for the process, start values as the
// window has them before start-up runs. Texts are bytes in the system encoding.

#include "lyrics/CatalogueState.h"
#include "lyrics/LyricsState.h"
#include "playback/ListMaintenance.h"

#include <cstddef>
#include <string>
#include <vector>

namespace larkspur {

struct FormState : LyricsState, CatalogueState
{
    int NormalWidth = 0;          // window width without the right-hand area, pixels
    std::string ListFileName;     // empty: the song list is never written
    std::string CurrentSong;      // full path of the playing song
    int CurrentIndex = 0;         // its song list index
    int Volume = 1000;            // the user's volume, 0..1000
    int DeviceVolume = 1000;      // the volume last sent to the player
    int FadeSpeed = 50;           // volume units per tick at full volume
    int FadeStep = 50;            // volume change per fade tick
    bool FadingIn = false;        // direction of the running fade
    bool NextAfterFade = false;   // play PendingIndex when the fade-out ends
    bool CloseAfterFade = false;  // close the window when a fade-out ends; never cleared
    int PendingIndex = 0;         // -1: random choice
    // Both grow with the list rather than stopping at a fixed size.
    MissingFiles NotFoundIndices;            // what the last file test found missing
    std::vector<std::size_t> FinderIndices; // song list position behind each finder row
};

} // namespace larkspur
