#include "lyrics/LyricsSearch.h"

#include "lyrics/CleanLyricsPage.h"
#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsFile.h"
#include "lyrics/LyricsFileNames.h"
#include "lyrics/LyricsStore.h"
#include "lyrics/QueryEncoding.h"
#include "lyrics/ResultLinks.h"
#include "lyrics/SongWords.h"
#include "lyrics/SourceLimits.h"
#include "lyrics/TextRoutines.h"
#include "web/BrowserDocument.h"
#include "web/HtmlCharset.h"
#include "web/HttpError.h"
#include "web/HttpFetcher.h"
#include "web/RunAside.h"
#include "web/StagingPage.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <filesystem>

namespace larkspur {

LyricsSearch::LyricsSearch(LyricsState& state, HttpFetcher& http, BrowserDocument& browser,
                           LyricsView view, QObject* parent)
    : QObject(parent), m_state(state), m_http(http), m_browser(browser), m_view(std::move(view)),
      m_database(http)
{
    connect(&m_browser, &BrowserDocument::DocumentComplete, this, [this] {
        if (!m_browser.LocationURL().empty()) HarvestDocument();
    });
    connect(&m_browser, &BrowserDocument::navtoutTimer, this, &LyricsSearch::HarvestDocument);
    connect(&m_browser, &BrowserDocument::NavigateError, this,
            [this](const QString&, const QString& message) {
                if (m_searchLoading && !m_state.TranslationPending)
                    m_searchError = message.toStdString();
            });
}

namespace {

// Both regular files, and `a` written later than `b`. Anything else (a folder or a pipe in
// the place of `b`) is read, and reported, as ever.
bool fileIsNewer(const std::string& a, const std::string& b)
{
    std::error_code ea, eb;
    if (!std::filesystem::is_regular_file(a, ea) || !std::filesystem::is_regular_file(b, eb))
        return false;
    const auto ta = std::filesystem::last_write_time(a, ea);
    const auto tb = std::filesystem::last_write_time(b, eb);
    return !ea && !eb && ta > tb;
}

// The beginning of a lyrics file, read on a thread of its own when it is large.
std::optional<LyricsFileStart> readBesideSong(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    const std::size_t bytes =
        error ? 0 : static_cast<std::size_t>(std::min<std::uintmax_t>(size, SIZE_MAX));
    return runAside(bytes, [path] { return readLyricsFile(path, kLyricsFileMaxBytes); });
}

} // namespace

void LyricsSearch::LookupLyrics(const std::string& fileName, const std::string& songPath,
                                bool songStart)
{
    ++m_generation; // whatever an older harvest still brings belongs to another song
    ++m_song;
    const std::uint64_t generation = m_generation;
    const std::uint64_t song = m_song;
    m_harvest = Harvest::Running;
    m_databaseAnswer.reset();
    if (m_databaseWaiting > 0) m_database.Cancel();
    const bool askDatabase = m_state.AutoLyricsPending;
    const auto words = songWordsFromFileName(fileName, m_state.SplitterChar);
    if (!words) return;
    m_state.SongArtist = words->artist;
    m_state.SongTitle = words->title;
    m_state.SearchTerm = words->artist + " " + words->title;
    m_databaseSong = songNamesFor(std::nullopt, fileName, m_state.SplitterChar); // until the tag
    m_namedSong = songPath;

    std::optional<FoundLyrics> local;
    std::string unreadable;
    // Timed lyrics newer than the plain ones were most likely timed from them: shown instead.
    if (fileIsNewer(lrcFileFor(songPath), lyricsFileToRead(songPath))) {
        try {
            if (auto lrc = readBesideSong(lrcFileFor(songPath)); lrc && looksLikeLrc(lrc->text))
                local = FoundLyrics{lrc->text, true, lrc->cut};
        } catch (const LyricsFileError&) {
            // the .lyr is read as ever
        }
        if (generation != m_generation) return;
    }
    try {
        if (!local) {
            if (auto lyr = readBesideSong(lyricsFileToRead(songPath)))
                local = FoundLyrics{lyr->text, false, lyr->cut};
        }
    } catch (const LyricsFileError& e) {
        if (!songStart) throw; // the user asked: the error is theirs to see
        unreadable = e.what();
    }
    if (generation != m_generation) return; // a newer lookup started while the file was read
    if (!local) {
        try {
            if (auto lrc = readBesideSong(lrcFileFor(songPath)); lrc && !lrc->text.empty())
                local = FoundLyrics{lrc->text, looksLikeLrc(lrc->text), lrc->cut};
        } catch (const LyricsFileError& e) {
            // the tags may still hold lyrics
            if (songStart && unreadable.empty()) unreadable = e.what();
        }
        if (generation != m_generation) return;
    }
    // Fetched lyrics of a song whose folder took no file.
    const std::string store = lyricsStoreFolder();
    for (const std::string& path :
         {lyricsFileToRead(songPath, store), storedLyricsFile(store, lrcFileFor(songPath))}) {
        if (local) break;
        if (!linkInStore(store, path).empty()) continue; // leads out of the store
        try {
            if (auto stored = readBesideSong(path); stored && !stored->text.empty())
                local = FoundLyrics{stored->text, looksLikeLrc(stored->text), stored->cut};
        } catch (const LyricsFileError& e) {
            if (songStart && unreadable.empty()) unreadable = e.what();
        }
        if (generation != m_generation) return;
    }
    bool ended = false;
    if (local) {
        show(*local);
        if (m_state.AutoLyricsPending) {
            m_state.AutoLyricsPending = false;
            stopBrowser(); // an older search must not land on these lyrics
            ended = true;
        }
    } else {
        m_view.setText({}); // the last song's lyrics do not wait for the tag
    }

    // Read at every start, files or not: the database is asked with the tag's artist and title.
    std::string refused;
    const auto tags = runAside(
        kRunAsideBytes, [songPath, &refused] { return readEmbeddedLyrics(songPath, &refused); });
    if (song == m_song) {
        m_databaseSong = songNamesFor(tags, fileName, m_state.SplitterChar);
        if (tags && (!tags->artist.empty() || !tags->title.empty()) && m_view.songNamed)
            m_view.songNamed();
    }
    if (!refused.empty() && song == m_song) unreadable += (unreadable.empty() ? "" : " ") + refused;
    if (!unreadable.empty() && song == m_song) {
        // The status line is short: the file's name says enough beside the playing song.
        for (const std::string& path : {lyricsFileToRead(songPath), lrcFileFor(songPath), songPath})
            for (auto at = unreadable.find(path); at != std::string::npos;
                 at = unreadable.find(path))
                unreadable.replace(at, path.size(), path.substr(path.find_last_of('/') + 1));
        problem(unreadable);
    }
    if (generation != m_generation || ended) return;
    if (!local) {
        local = tagLyrics(tags);
        if (local) {
            show(*local);
            if (m_state.AutoLyricsPending) {
                m_state.AutoLyricsPending = false;
                stopBrowser();
                return;
            }
        } else if (askDatabase && m_view.databaseEnabled && m_view.databaseEnabled()) {
            startDatabase(false);
        }
    }
    if (!m_view.searchEnabled()) {
        stopBrowser();
        return;
    }
    m_state.SongArtist = ReplaceAllNoCase(m_state.SongArtist, " ", "+");
    m_state.SongTitle = ReplaceAllNoCase(m_state.SongTitle, " ", "+");
    const std::string url = songSearchUrl(searchHost(), m_state.Preamble, m_state.SongArtist,
                                          m_state.SongTitle, m_state.Appendix);
    m_state.LyricsPagePending = false;
    m_view.setText("Search: " + m_state.SongArtist + " - " + m_state.SongTitle);
    try {
        navigateSearch(url);
    } catch (const std::exception& e) {
        if (!songStart) throw;
        // Dropped: the song plays without it, and the memo does not promise a search.
        searchLoaded();
        m_view.setText({});
        problem(std::string("The web search could not start: ") + e.what());
        return;
    }
    m_state.TranslationPending = false;
}

void LyricsSearch::srchenClick(const std::string& songPath)
{
    if (m_view.searchEnabled()) {
        const auto slash = songPath.find_last_of('/');
        LookupLyrics(slash == std::string::npos ? songPath : songPath.substr(slash + 1), songPath);
        return;
    }
    const std::uint64_t generation = ++m_generation; // a search under way shows nothing now
    const auto lyr = readBesideSong(lyricsFileToRead(songPath));
    if (lyr && generation == m_generation) show(FoundLyrics{lyr->text, false, lyr->cut});
}

void LyricsSearch::customSearch(const std::string& typed)
{
    ++m_generation;
    m_view.checkSearch();
    const std::string url = customSearchUrl(searchHost(), typed);
    m_state.LyricsPagePending = false;
    navigateSearch(url);
}

void LyricsSearch::navigateSearch(const std::string& url)
{
    m_searchGeneration = m_generation;
    m_searchError.clear();
    m_searchLoading = true;
    updateBusy();
    m_browser.Navigate(EncodeUtf8Query(url));
    m_state.TranslationPending = false; // the dictionary load was dropped
}

void LyricsSearch::searchLoaded()
{
    if (!m_searchLoading) return;
    m_searchLoading = false;
    updateBusy();
}

void LyricsSearch::updateBusy() { m_view.setBusy(m_waiting > 0 || m_searchLoading); }

void LyricsSearch::stopBrowser()
{
    // With a translation awaited the load is the dictionary's, newer than any search: a
    // song change leaves it to land.
    if (m_state.TranslationPending) return;
    m_browser.Stop();
    searchLoaded();
}

void LyricsSearch::HarvestDocument()
{
    m_browser.navtout().stop();
    searchLoaded(); // whatever the browser loaded, it loads no result page now
    if (m_state.TranslationPending) {
        m_state.TranslationPending = false;
        if (m_view.dictionaryPage) m_view.dictionaryPage();
        return;
    }
    if (m_state.LyricsPagePending && m_view.searchEnabled()) {
        if (m_stagingGeneration != m_generation) return; // staged for an older song
        const std::string text = DecodeUmlautEntities(m_browser.innerText());
        m_view.setText(text);
        finish(!text.empty(), text.empty() ? m_failure : std::string());
        return;
    }
    if (m_state.LyricsPagePending) return; // the staging page while the search is off
    if (m_searchGeneration != m_generation) return;
    std::string page;
    try {
        page = m_browser.innerHTML();
    } catch (const std::exception&) {
    }
    auto rest = textAfterMarker(page, kResultMarker);
    if (!rest && !m_searchError.empty())
        return finish(false, "The search engine could not be reached: " + m_searchError);
    if (!rest) return finish(false, "The result page holds no result.");
    m_state.ResultsRemainder = *rest;
    if (!hasLinkEnd(*rest)) return finish(false, "The first result holds no link.");
    FetchCandidate(resultLinkA(*rest));
}

void LyricsSearch::nlyricClick()
{
    auto rest = textAfterMarker(m_state.ResultsRemainder, kResultMarker);
    if (!rest) return finish(false, "There is no further result.");
    m_state.ResultsRemainder = *rest;
    if (!hasLinkEnd(*rest)) return finish(false, "The next result holds no link.");
    m_state.LyricsPagePending = true;
    FetchCandidate(resultLinkB(*rest));
}

bool LyricsSearch::fetchPage(const std::string& link, std::string& page)
{
    ++m_waiting;
    updateBusy();
    bool ok = true;
    try {
        const HttpPage got = m_http.GetPage(link, FetchGroup::LyricsHarvest);
        // The cleaning cuts the head with its meta tag: decode while the charset is known.
        page = runAside(got.body.size(),
                        [&got] { return htmlPageToUtf8(got.body, got.contentType); });
    } catch (const std::exception&) {
        ok = false;
    }
    if (--m_waiting == 0) updateBusy();
    return ok;
}

void LyricsSearch::FetchCandidate(const std::string& link)
{
    const std::uint64_t generation = m_generation;
    std::string page;
    m_failure.clear();
    if (!fetchPage(link, page)) {
        if (generation != m_generation) return;
        auto rest = textAfterMarker(m_state.ResultsRemainder, kSecondResultMarker);
        if (!rest) return finish(false, "The result's page could not be fetched.");
        m_state.ResultsRemainder = *rest;
        if (!hasLinkEnd(*rest)) return finish(false, "The result's page could not be fetched.");
        page.clear();
        if (!fetchPage(resultLinkA(*rest), page)) {
            page.clear();
            m_failure = "Neither the result's page nor the next one could be fetched.";
        }
        if (!page.empty()) page = dropThroughBannerEnd(page);
    }
    // A newer lookup started while this one waited: its page belongs to another song.
    if (generation != m_generation) return;
    std::string cleaned;
    bool staged = false;
    try {
        cleaned = runAside(page.size(), [&page] { return CleanLyricsPage(page); });
        if (generation != m_generation) return;
        writeUtf8StagingPage(cleaned);
        staged = true;
    } catch (const std::exception&) {
        // no staging file (a cache folder that cannot be made, a full disk): rendered below
    }
    if (generation != m_generation) return;
    m_state.LyricsPagePending = true;
    m_stagingGeneration = generation;
    // The file is only where the page waits: without it the page is rendered all the same.
    if (staged) {
        try {
            m_browser.Navigate(stagingPagePath());
        } catch (const std::exception&) {
            staged = false;
        }
    }
    if (!staged) m_browser.NavigateToPage("about:blank", utf8StagingBytes(cleaned));
    m_state.TranslationPending = false; // the staging page took the dictionary's place
}

bool LyricsSearch::lbusyClick()
{
    const bool fetches = m_waiting > 0;
    m_http.Disconnect(FetchGroup::LyricsHarvest);
    if (m_state.TranslationPending) searchLoaded(); // the dictionary's load took its place
    if (!m_searchLoading) return fetches;
    // No DocumentComplete follows a stop: the harvest ends here.
    m_browser.Stop();
    searchLoaded();
    finish(false, "Cancelled.");
    return true;
}

void LyricsSearch::finish(bool found, const std::string& why)
{
    if (found) {
        m_harvest = Harvest::Found;
        m_databaseAnswer.reset();
    } else if (m_harvest != Harvest::Found) {
        m_harvest = Harvest::Empty;
        if (m_databaseAnswer) {
            show(*m_databaseAnswer);
            m_databaseAnswer.reset();
        }
    }
    if (m_view.ended) m_view.ended(found, why);
}

void LyricsSearch::problem(const std::string& why)
{
    if (m_view.problem) m_view.problem(why);
}

void LyricsSearch::show(const FoundLyrics& lyrics)
{
    if (lyrics.cut)
        return m_view.setCutText ? m_view.setCutText(lyrics.text) : m_view.setText(lyrics.text);
    if (!lyrics.synced) return m_view.setText(lyrics.text);
    if (m_view.setSynced) return m_view.setSynced(lyrics.text);
    m_view.setText(LrcLyrics::parse(lyrics.text).plainText());
}

void LyricsSearch::databaseLookup()
{
    startDatabase(true);
}

void LyricsSearch::cancelDatabase()
{
    m_databaseRequest.reset();
    if (m_databaseWaiting > 0) m_database.Cancel();
}

void LyricsSearch::startDatabase(bool atOnce)
{
    // One lookup at a time: the newest request replaces one not yet run and cancels the
    // waiting one, whose loop then runs it. Presses while a lookup waits never nest loops.
    m_databaseRequest = DatabaseRequest{m_song, atOnce};
    if (m_databaseWaiting > 0) {
        m_database.Cancel();
        return;
    }
    // Later, so a song start returns before the fetch's nested event loop runs.
    QTimer::singleShot(0, this, &LyricsSearch::runDatabase);
}

void LyricsSearch::runDatabase()
{
    while (m_databaseRequest && m_databaseWaiting == 0) {
        const DatabaseRequest request = *m_databaseRequest;
        m_databaseRequest.reset();
        if (request.song != m_song) continue;
        DatabaseSong asked = m_databaseSong;
        if (m_view.songLengthMs) {
            if (const long long length = m_view.songLengthMs(); length > 0)
                asked.durationMs = length;
        }
        m_databaseWaiting = 1;
        if (m_view.setDatabaseBusy) m_view.setDatabaseBusy(true);
        const QPointer<LyricsSearch> self(this);
        const std::optional<DatabaseLyrics> answer = m_database.Lookup(asked);
        if (!self) return; // destroyed while it waited
        m_databaseWaiting = 0;
        if (!m_databaseRequest && m_view.setDatabaseBusy) m_view.setDatabaseBusy(false);
        if (answer && request.song == m_song && !m_databaseRequest)
            databaseAnswered(*answer, request.atOnce);
    }
}

void LyricsSearch::databaseAnswered(const DatabaseLyrics& answer, bool atOnce)
{
    const auto shown = shownFromDatabase(answer);
    if (!shown) {
        // A harvest under way or ended has its own word; here nothing else would speak.
        if ((atOnce || !m_view.searchEnabled()) && m_view.databaseMissed) {
            // The reason leaves out the tool's "lyrics database: " in front.
            const std::string reason = answer.why.substr(answer.why.find(": ") + 2);
            m_view.databaseMissed(answer.failed
                                      ? "The lyrics database could not be asked: " + reason
                                      : "The lyrics database has no lyrics for this song.");
        }
        return;
    }
    if (atOnce || !m_view.searchEnabled() || m_harvest == Harvest::Empty) return show(*shown);
    if (m_harvest == Harvest::Running) m_databaseAnswer = shown;
}

} // namespace larkspur
