#pragma once
// Playlist files turned into new song list entries ("0|" + path). One parser per format, each
// taking the file's bytes and returning the entries to append, in file order; a dispatcher by
// extension; the file read as a separate step. Nothing is checked for existence. Relative
// paths are resolved against the playlist's folder on import, so they do not depend on the
// current folder; the parsers themselves keep paths as the file gives them.
//
// LoadPLS1Click, after the open dialog:
//   try {
//       const PlaylistImport got = importPlaylistFile(fileName);   // throws PlaylistReadError
//       appendEntries(dl, got.entries);
//       if (got.kind == PlaylistKind::Text) ListFileName = fileName;
//       tell the user lineBreakNotice(got.lineBreaks) when something was left out
//       then move playback on
//   } catch (const PlaylistReadError& e) { report e.what(); the list is untouched }

#include "playback/Selection.h"
#include "playback/SongList.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

class PlaylistReadError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

enum class PlaylistKind { M3u, Pls, Text };

// By the extension (from the last "." of the file name on), compared in lower case: ".m3u" and
// ".m3u8" (M3U in UTF-8), ".pls", anything else (no extension included) is text.
PlaylistKind playlistKindOf(std::string_view fileName);

// Lines split at CR LF, LF or CR; a final line break adds no line. A UTF-8 byte order mark at
// the start is dropped.
std::vector<std::string_view> playlistLines(std::string_view text);

// Line lengths below are bytes as read, before any trimming.
// M3U: lines of 5 or more bytes not starting with "#", untrimmed.
std::vector<std::string> parseM3u(std::string_view text);
// PLS: lines of 10 or more bytes starting with "file" in any case; the value after the first
// "=" with blanks and control characters trimmed (no "=": an empty path).
std::vector<std::string> parsePls(std::string_view text);
// Any other text: lines of 5 or more bytes, untrimmed ("#" lines too). A line that already is
// a song list entry (integer, "|", path) is kept as it is rather than counted twice.
std::vector<std::string> parseTextPlaylist(std::string_view text);

std::vector<std::string> parsePlaylist(PlaylistKind kind, std::string_view text);

struct PlaylistImport
{
    PlaylistKind kind = PlaylistKind::Text;
    std::vector<std::string> entries;
    std::size_t lineBreaks = 0; // paths left out for holding CR or LF
};

// A playlist's path as the song list stores it: a relative path joined to the playlist's
// folder, so it plays whatever the current folder is. Absolute paths, URLs ("scheme://...")
// and Windows drive paths ("C:\...") stay as they are, and so does an empty path.
std::string resolvePlaylistPath(std::string_view path, std::string_view folder);

// The entries of a playlist read from fileName (an absolute path): parsed by the name's
// extension, relative paths resolved against the file's folder; paths holding CR or LF are
// left out and counted.
PlaylistImport importPlaylistText(std::string_view fileName, std::string_view text);

// Reads the file as bytes and imports its text. Throws PlaylistReadError with the system's
// message when the file cannot be read.
PlaylistImport importPlaylistFile(const std::string& fileName);

struct NewEntries
{
    std::vector<std::string> entries;
    std::size_t lineBreaks = 0; // paths left out for holding CR or LF
};

// Dropped files and folders: one entry per path, in the order given, whatever its type;
// paths holding CR or LF are left out and counted.
NewEntries entriesForDroppedPaths(const std::vector<std::string>& paths);

// What one addition of songs (an import, a drop) did, for the words that tell it.
struct AddedSongs
{
    std::vector<std::string> paths;   // of the entries appended, in order
    std::size_t alreadyListed = 0;    // entries left out: the list held their paths
    std::vector<std::string> missing; // of `paths`, those with no file there, in order
};

// Appends the entries after the list's own, in order, leaving out those whose path (the
// text after the first "|") the list holds already. `missing` stays empty.
AddedSongs appendNewEntries(SongList& list, const std::vector<std::string>& entries);
// The same; returns how many were left out.
std::size_t appendEntries(SongList& list, const std::vector<std::string>& entries);

// The added paths that lead to no file, as `exists` sees it: one check per path, so for many
// paths this is work for beside the interface thread (`exists` must allow that).
std::vector<std::string> missingPaths(const std::vector<std::string>& paths,
                                      const FileExists& exists);

// "3 songs were already in the list." / "1 song was already in the list."
std::string alreadyListedText(std::size_t already);

// "Added 4 songs, 1 of them not found: Ghost.mp3. 3 songs were already in the list."
// Missing songs are named by file name, the first three, then "and N more".
std::string addedSongsText(const AddedSongs& added);

} // namespace larkspur
