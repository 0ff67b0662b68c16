#include "lyrics/LyricsCommand.h"

#include "lyrics/LocalLyrics.h"
#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsDatabase.h"
#include "lyrics/LyricsFetchAll.h"
#include "lyrics/LyricsSearch.h"
#include "lyrics/SongWords.h"
#include "playback/SongList.h"
#include "playback/SongListFile.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"
#include "web/ToolApplication.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <memory>

namespace larkspur {

namespace {

// Long enough for a slow search engine and a slow lyrics site; the harvest has its own
// 5 s limit once a page has answered.
constexpr int kLimitMs = 120000;

void print(std::ostream& out, const std::string& text)
{
    out << text;
    if (!text.empty() && text.back() != '\n') out << '\n';
}

// --all LIST: the database asked about every song of the list without lyrics; one line a
// song asked about, the report at the end. 1 when the run stopped early.
int fetchAll(const std::string& listFile, std::ostream& out, std::ostream& err,
             const std::function<long long(const std::string&)>& songLengthMs)
{
    const auto app = makeToolApplication();
    SongList list;
    if (const ListFileResult loaded = loadSongList(listFile, list); !loaded) {
        err << "larkspur-tool: " << loaded.message << '\n';
        return 1;
    }
    std::vector<std::string> songs;
    songs.reserve(list.count());
    for (std::size_t i = 0; i < list.count(); ++i)
        if (const std::string_view path = splitEntry(list.get(i)).path; !path.empty())
            songs.emplace_back(path);
    list.clear();

    FetchAllSetup setup;
    setup.songLengthMs = songLengthMs;
    setup.stepped = [&out](const FetchAllStep& step) {
        static const char* const said[] = {"had lyrics",   "found synced", "found plain",
                                           "instrumental", "not found",    "failed",
                                           "refused",      "skipped"};
        if (step.outcome == FetchAllOutcome::HadLyrics) return;
        out << said[static_cast<int>(step.outcome)] << ": " << step.song;
        if (!step.detail.empty()) out << " (" << step.detail << ')';
        out << '\n' << std::flush;
    };
    setup.waiting = [&err](int seconds) {
        err << "Waiting " << seconds << " s as the lyrics database asked.\n" << std::flush;
    };
    LyricsFetchAll run(std::move(songs), std::move(setup));
    run.start();
    run.wait();
    const FetchAllCounts counts = run.counts();
    out << fetchAllReport(counts) << '\n';
    if (counts.stopped.empty()) return 0;
    err << "larkspur-tool: " << counts.stopped << '\n';
    return 1;
}

} // namespace

int runLyricsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const std::function<long long(const std::string&)>& songLengthMs)
{
    int next = 0;
    bool synced = false, database = true;
    std::string song;
    if (std::find(args.begin(), args.end(), "--all") != args.end()) {
        // --all takes its list and nothing else; never a song named "--all".
        if (args.size() != 2 || args[0] != "--all") return 2;
        return fetchAll(args[1], out, err, songLengthMs);
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--synced") {
            synced = true;
        } else if (args[i] == "--no-database") {
            database = false;
        } else if (args[i] == "--next" && i + 1 < args.size()) {
            const std::string& n = args[++i];
            const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), next);
            if (ec != std::errc() || end != n.data() + n.size() || next < 0) return 2;
        } else if (song.empty()) {
            song = args[i];
        } else {
            return 2;
        }
    }
    if (song.empty()) return 2;

    const auto app = makeToolApplication();

    LyricsState state;
    HttpClient http;
    BrowserDocument browser;
    QEventLoop loop;
    std::string text, lrc, why = "The search did not answer in time.";
    bool found = false, done = false;
    int shown = 0;
    LyricsView view;
    view.setText = [&](const std::string& t) {
        text = t;
        lrc.clear();
    };
    view.setSynced = [&](const std::string& timed) {
        text = LrcLyrics::parse(timed).plainText();
        lrc = timed;
    };
    view.setBusy = [](bool) {};
    // A tag past its bounds, say: the lookup goes on without it.
    view.problem = [&](const std::string& line) { err << "larkspur-tool: " << line << '\n'; };
    view.searchEnabled = [] { return true; };
    view.checkSearch = [] {};
    view.ended = [&](bool ok, const std::string& reason) {
        found = ok;
        why = reason;
        done = true;
        loop.quit();
    };
    LyricsSearch search(state, http, browser, view);

    const auto slash = song.find_last_of('/');
    const std::string fileName = slash == std::string::npos ? song : song.substr(slash + 1);
    // The lookup would stop at once and leave nothing to wait for.
    if (!songWordsFromFileName(fileName, state.SplitterChar)) {
        err << "larkspur-tool: No search words in the file name.\n";
        return 1;
    }
    try {
        search.LookupLyrics(fileName, song);
    } catch (const std::exception& e) {
        err << "larkspur-tool: " << e.what() << '\n';
        return 1;
    }
    if (!state.AutoLyricsPending) { // a lyrics file beside the song, or the tags
        print(out, synced && !lrc.empty() ? lrc : text);
        return 0;
    }
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (;;) {
        done = false;
        limit.start(kLimitMs);
        if (!done) loop.exec();
        if (!done || !found || shown++ == next) break;
        QTimer::singleShot(0, &search, [&] { search.nlyricClick(); });
    }
    if (done && found) {
        print(out, text);
        return 0;
    }
    // The web gave nothing for the song: the database, as the window asks it.
    if (database && shown == 0) {
        LyricsDatabase db(http);
        DatabaseSong asked = search.databaseSong();
        std::string unmeasured = "no way to measure it";
        try {
            if (songLengthMs) {
                if (const long long ms = songLengthMs(song); ms > 0)
                    asked.durationMs = ms;
                else
                    unmeasured = "the file gives none";
            }
        } catch (const std::exception& e) {
            unmeasured = e.what();
        }
        if (!asked.durationMs)
            err << "larkspur-tool: The song's length is not known (" << unmeasured
                << "); the lyrics database is asked without it.\n";
        if (const auto answer = db.Lookup(asked)) {
            if (const auto shownLyrics = shownFromDatabase(*answer)) {
                print(out, shownLyrics->synced && !synced
                               ? LrcLyrics::parse(shownLyrics->text).plainText()
                               : shownLyrics->text);
                return 0;
            }
            why += " " + answer->why;
        }
    }
    err << "larkspur-tool: " << (why.empty() ? "No lyrics found." : why) << '\n';
    return 1;
}

} // namespace larkspur
