#pragma once
// The lyrics of the playing song: its lyrics file, its .lrc file, the lyrics in its tags, or
// a web search whose first result is fetched, cleaned, staged and rendered by the browser
// document; and, when the view allows it, the lyrics database. The window and the
// command-line tool drive the same object.
//
// Lives on the interface thread. Fetches block their caller in a nested event loop, so a
// new song (and its lookup) may start while a harvest waits: every lookup, switch change
// and custom search starts a new generation, and a fetch or a staged page of an older one
// is neither staged nor shown.

#include "lyrics/LocalLyrics.h"
#include "lyrics/LyricsDatabase.h"
#include "lyrics/LyricsState.h"
#include "web/HttpFetcher.h"
#include "web/RunAside.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

namespace larkspur {

class BrowserDocument;
class HttpFetcher;

// What a song's own lyrics files hold (read beside the interface thread).
struct LocalLyricsRead
{
    std::optional<FoundLyrics> local;
    std::string unreadable; // at a song start: for the status line
    std::string userError;  // asked for by the user: the .lyr cannot be read
};

// What the lookup shows and reads in its surroundings.
struct LyricsView
{
    std::function<void(const std::string&)> setText; // the lyrics memo's whole text
    // The beginning of a lyrics file too large to read whole (timed or not, as text): to
    // show read-only and never save in the file's place. Optional: without it, setText.
    std::function<void(const std::string&)> setCutText;
    std::function<void(bool)> setBusy; // "busy" while a fetch or the result page waits
    std::function<bool()> searchEnabled;             // the search switch
    std::function<void()> checkSearch;               // ticks the search switch
    // The completed document is the dictionary page (TranslationPending was set).
    std::function<void()> dictionaryPage;
    // A source of a song start could not be used (a lyrics file that cannot be read, a
    // search that cannot start): one line for the user; the song plays on. Optional.
    std::function<void(const std::string& why)> problem;
    // A harvest came to its end: the page's text was shown (found) or the lookup ended
    // without text; why is one line for the user. Optional.
    std::function<void(bool found, const std::string& why)> ended;
    // Timed lyrics (LRC text) to show. Optional: without it their plain text goes to setText.
    std::function<void(const std::string& lrc)> setSynced;
    // The database is asked at a song start when no local source has lyrics. Optional:
    // without it, only databaseLookup asks.
    std::function<bool()> databaseEnabled;
    // The playing song's length in ms, 0 when not known. Optional.
    std::function<long long()> songLengthMs;
    // "busy" while a database fetch waits. Optional.
    std::function<void(bool)> setDatabaseBusy;
    // The song's tags gave its artist or title: databaseSong() holds them now. Optional.
    std::function<void()> songNamed;
    // A database lookup that was to show its answer (asked by hand, or with the search
    // off) came back without lyrics: one line for the user. Optional.
    std::function<void(const std::string& why)> databaseMissed;
    // What the user asked for failed (a lyrics file that cannot be read, a search that
    // cannot start): the error is theirs to see. Optional: without it, problem.
    std::function<void(const std::string& why)> failed;
    // The search's "Search: ..." line, which is no lyrics, and whether the memo still holds
    // it as put there. Optional: without them, setText and no word back.
    std::function<void(const std::string&)> setPlaceholder;
    std::function<bool()> placeholderShown;
};

class LyricsSearch : public QObject
{
    Q_OBJECT

public:
    // None of the references is owned; all must outlive this object.
    LyricsSearch(LyricsState& state, HttpFetcher& http, BrowserDocument& browser, LyricsView view,
                 QObject* parent = nullptr);

    // A song started (or the switch was ticked): `fileName` without folder, `songPath` the
    // full path. At a song start (`songStart`) a source that cannot be read is
    // skipped and a search that cannot start is dropped, each told through `problem`: the
    // lyrics never cost the song its play. Otherwise (the user asked) a lyrics file that
    // exists but cannot be read, or a search that cannot start, is told through `failed`.
    // The song's tag, and lyrics files too large to read in a moment, are read on a thread
    // of their own and the lookup goes on when they are read (small files are shown before
    // this returns); a newer lookup replaces an older one still reading.
    void LookupLyrics(const std::string& fileName, const std::string& songPath,
                      bool songStart = false);
    // After the switch changed: ticked, a new lookup; unticked, the lyrics file if any.
    void srchenClick(const std::string& songPath);
    // The words as the user typed them; ticks the switch.
    void customSearch(const std::string& typed);
    // The next result of the same result page.
    void nlyricClick();
    // The document in the browser is complete, or its time ran out.
    void HarvestDocument();
    // The busy label was clicked: ends the loading result page (the harvest ends with
    // "Cancelled.") and the waiting lyrics fetches (each falls back as a failed one).
    // False when nothing was waiting.
    bool lbusyClick();
    // Asks the database about the song of the last lookup now; its lyrics are shown when
    // they come, whatever the search does.
    void databaseLookup();
    // Ends the waiting database lookup; its answer is not shown.
    void cancelDatabase();

    bool fetching() const { return m_waiting > 0; }
    // The song's own lyrics files are being read: what the memo shows is not yet theirs.
    bool readingFiles() const { return m_readingFiles; }
    bool databaseWaiting() const { return m_databaseWaiting > 0; }
    // What the database is asked about the song of the last lookup (without its length), and
    // that song's path (empty before the first lookup that found words in a file name).
    const DatabaseSong& databaseSong() const { return m_databaseSong; }
    const std::string& namedSong() const { return m_namedSong; }
    std::uint64_t generation() const { return m_generation; }

private:
    struct Lookup
    {
        std::uint64_t generation, song;
        std::string fileName, songPath;
        bool songStart, askDatabase;
    };
    void localRead(const Lookup& lookup, LocalLyricsRead read);
    void tagsRead(const Lookup& lookup, LocalLyricsRead read, bool ended,
                  const std::optional<EmbeddedLyrics>& tags, const std::string& refused);
    void harvestResults(); // the result page is rendered: its first result is fetched
    void FetchCandidate(const std::string& link);
    bool fetchPage(const std::string& link, HttpPage& page);
    void stagePage(std::uint64_t generation, const std::string& cleaned, bool staged);
    // A lyrics navigation drops a dictionary load that was running and clears
    // TranslationPending with it, so the next page to complete is never taken for the
    // dictionary's. Stopping spares a dictionary load.
    void navigateSearch(const std::string& url);
    void stopBrowser();
    void searchLoaded(); // the result page's load ended, one way or another
    void updateBusy();
    void finish(bool found, const std::string& why);
    void problem(const std::string& why);
    void show(const FoundLyrics& lyrics);
    // The database's answer is shown at once (atOnce) or, with the search on, once the
    // harvest ended without text.
    void startDatabase(bool atOnce);
    void runDatabase();
    void databaseAnswered(const DatabaseLyrics& answer, bool atOnce);

    LyricsState& m_state;
    HttpFetcher& m_http;
    BrowserDocument& m_browser;
    LyricsView m_view;
    std::uint64_t m_generation = 0;
    std::uint64_t m_searchGeneration = 0;  // the generation whose result page is loading
    std::uint64_t m_stagingGeneration = 0; // the generation whose page is staged
    int m_waiting = 0;
    bool m_searchLoading = false; // the result page is loading
    std::string m_searchError;    // why the result page's load failed
    std::string m_failure; // why the staged page is empty, for `ended`

    LyricsDatabase m_database;
    std::uint64_t m_song = 0; // counts song lookups: a database answer belongs to one
    DatabaseSong m_databaseSong;
    std::string m_namedSong;
    enum class Harvest { Running, Found, Empty };
    Harvest m_harvest = Harvest::Running;        // the harvest for m_song
    std::optional<FoundLyrics> m_databaseAnswer; // held until the harvest ends without text
    int m_databaseWaiting = 0; // 1 while the one lookup waits
    bool m_databaseAtOnce = false; // the waiting one was asked by hand
    struct DatabaseRequest
    {
        std::uint64_t song;
        bool atOnce;
    };
    std::optional<DatabaseRequest> m_databaseRequest; // the next lookup to run
    bool m_readingFiles = false;
    std::optional<FoundLyrics> m_ownLyrics; // the song's own, shown before a search
    AsideLane m_localLane{this}; // the song's lyrics files
    AsideLane m_tagLane{this};   // the song's tags
    AsideLane m_pageLane{this};  // a fetched page, decoded and cleaned
};

} // namespace larkspur
