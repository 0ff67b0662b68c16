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

// The size of a file, 0 when it is not there.
std::size_t sizeOf(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::size_t>(std::min<std::uintmax_t>(size, SIZE_MAX));
}

// What the song's own files hold, in the order they are shown: timed lyrics newer than the
// plain ones (most likely timed from them), the .lyr, the .lrc, then what was fetched into
// the store for a song whose folder took no file.
LocalLyricsRead readLocalLyrics(const std::string& songPath, const std::string& store, bool songStart)
{
    LocalLyricsRead r;
    const auto read = [](const std::string& path) {
        return readLyricsFile(path, kLyricsFileMaxBytes);
    };
    if (fileIsNewer(lrcFileFor(songPath), lyricsFileToRead(songPath))) {
        try {
            if (auto lrc = read(lrcFileFor(songPath)); lrc && looksLikeLrc(lrc->text))
                r.local = FoundLyrics{lrc->text, true, lrc->cut};
        } catch (const LyricsFileError&) {
            // the .lyr is read as ever
        }
    }
    if (!r.local) {
        try {
            if (auto lyr = read(lyricsFileToRead(songPath)))
                r.local = FoundLyrics{lyr->text, false, lyr->cut};
        } catch (const LyricsFileError& e) {
            if (!songStart) {
                r.userError = e.what(); // the user asked: the error is theirs to see
                return r;
            }
            r.unreadable = e.what();
        }
    }
    if (!r.local) {
        try {
            if (auto lrc = read(lrcFileFor(songPath)); lrc && !lrc->text.empty())
                r.local = FoundLyrics{lrc->text, looksLikeLrc(lrc->text), lrc->cut};
        } catch (const LyricsFileError& e) {
            // the tags may still hold lyrics
            if (songStart && r.unreadable.empty()) r.unreadable = e.what();
        }
    }
    for (const std::string& path :
         {lyricsFileToRead(songPath, store), storedLyricsFile(store, lrcFileFor(songPath))}) {
        if (r.local) break;
        if (!linkInStore(store, path).empty()) continue; // leads out of the store
        try {
            if (auto stored = read(path); stored && !stored->text.empty())
                r.local = FoundLyrics{stored->text, looksLikeLrc(stored->text), stored->cut};
        } catch (const LyricsFileError& e) {
            if (songStart && r.unreadable.empty()) r.unreadable = e.what();
        }
    }
    return r;
}

// The bytes readLocalLyrics may read: small ones are read in place.
std::size_t localBytes(const std::string& songPath, const std::string& store)
{
    std::size_t bytes = 0;
    for (const std::string& path :
         {lyricsFileToRead(songPath), lrcFileFor(songPath), lyricsFileToRead(songPath, store),
          storedLyricsFile(store, lrcFileFor(songPath))})
        bytes += std::min(sizeOf(path), kLyricsFileMaxBytes);
    return bytes;
}

} // namespace

void LyricsSearch::LookupLyrics(const std::string& fileName, const std::string& songPath,
                                bool songStart)
{
    ++m_generation; // whatever an older harvest still brings belongs to another song
    ++m_song;
    const std::uint64_t generation = m_generation;
    m_harvest = Harvest::Running;
    m_databaseAnswer.reset();
    if (m_databaseWaiting > 0) m_database.Cancel();
    m_tagLane.drop(); // the tags of an older song are not this one's
    m_ownLyrics.reset();
    const auto words = songWordsFromFileName(fileName, m_state.SplitterChar);
    if (!words) {
        m_localLane.drop();
        m_readingFiles = false;
        return;
    }
    m_state.SongArtist = words->artist;
    m_state.SongTitle = words->title;
    m_state.SearchTerm = words->artist + " " + words->title;
    m_databaseSong = songNamesFor(std::nullopt, fileName, m_state.SplitterChar); // until the tag
    m_namedSong = songPath;

    // Large files are read aside; the lookup goes on when they are read (a newer lookup
    // replaces this one's callback).
    const std::string store = lyricsStoreFolder();
    const Lookup lookup{generation, m_song, fileName, songPath, songStart,
                        m_state.AutoLyricsPending};
    m_readingFiles = true;
    m_localLane.run(
        localBytes(songPath, store),
        [songPath, store, songStart] { return readLocalLyrics(songPath, store, songStart); },
        [this, lookup](AsideResult<LocalLyricsRead> read) {
            m_readingFiles = false; // the newest read: older ones never call back
            if (lookup.generation != m_generation) return;
            localRead(lookup, std::move(read.get()));
        });
}

void LyricsSearch::localRead(const Lookup& lookup, LocalLyricsRead read)
{
    if (!read.userError.empty()) {
        if (m_view.failed) return m_view.failed(read.userError);
        return problem(read.userError);
    }
    bool ended = false;
    if (read.local) {
        show(*read.local);
        if (m_state.AutoLyricsPending) {
            m_state.AutoLyricsPending = false;
            stopBrowser(); // an older search must not land on these lyrics
            ended = true;
        }
    } else {
        m_view.setText({}); // the last song's lyrics do not wait for the tag
    }
    // Read at every start, files or not: the database is asked with the tag's artist and
    // title. The tag of a large file takes a while: aside, always.
    const std::string songPath = lookup.songPath;
    m_tagLane.run(
        kRunAsideBytes,
        [songPath] {
            std::string refused;
            auto tags = readEmbeddedLyrics(songPath, &refused);
            return std::make_pair(std::move(tags), std::move(refused));
        },
        [this, lookup, ended, read = std::move(read)](auto tags) mutable {
            if (lookup.song != m_song) return;
            auto& [embedded, refused] = tags.get();
            tagsRead(lookup, std::move(read), ended, embedded, refused);
        });
}

void LyricsSearch::tagsRead(const Lookup& lookup, LocalLyricsRead read, bool ended,
                            const std::optional<EmbeddedLyrics>& tags, const std::string& refused)
{
    m_databaseSong = songNamesFor(tags, lookup.fileName, m_state.SplitterChar);
    if (tags &&
        (!tags->artist.empty() || !tags->title.empty() || !tags->album.empty() ||
         tags->trackNumber > 0) &&
        m_view.songNamed)
        m_view.songNamed();
    std::string unreadable = read.unreadable;
    if (!refused.empty()) unreadable += (unreadable.empty() ? "" : " ") + refused;
    if (!unreadable.empty()) {
        // The status line is short: the file's name says enough beside the playing song.
        const std::string& songPath = lookup.songPath;
        for (const std::string& path : {lyricsFileToRead(songPath), lrcFileFor(songPath), songPath})
            for (auto at = unreadable.find(path); at != std::string::npos;
                 at = unreadable.find(path))
                unreadable.replace(at, path.size(), path.substr(path.find_last_of('/') + 1));
        problem(unreadable);
    }
    if (lookup.generation != m_generation || ended) return;
    m_ownLyrics = read.local;
    if (!read.local) {
        if (const auto fromTags = tagLyrics(tags)) {
            m_ownLyrics = fromTags;
            show(*fromTags);
            if (m_state.AutoLyricsPending) {
                m_state.AutoLyricsPending = false;
                stopBrowser();
                return;
            }
        } else if (lookup.askDatabase && m_view.databaseEnabled && m_view.databaseEnabled()) {
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
    const std::string placeholder = "Search: " + m_state.SongArtist + " - " + m_state.SongTitle;
    m_view.setPlaceholder ? m_view.setPlaceholder(placeholder) : m_view.setText(placeholder);
    try {
        navigateSearch(url);
    } catch (const std::exception& e) {
        searchLoaded();
        if (!lookup.songStart) {
            m_view.setText({});
            const std::string why = std::string("The web search could not start: ") + e.what();
            return m_view.failed ? m_view.failed(why) : problem(why);
        }
        // Dropped: the song plays without it, and the memo does not promise a search.
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
    m_tagLane.drop();
    const std::string lyr = lyricsFileToRead(songPath);
    m_readingFiles = true;
    m_localLane.run(
        sizeOf(lyr), [lyr] { return readLyricsFile(lyr, kLyricsFileMaxBytes); },
        [this, generation](AsideResult<std::optional<LyricsFileStart>> read) {
            m_readingFiles = false;
            if (generation != m_generation) return;
            try {
                if (const auto& got = read.get())
                    show(FoundLyrics{got->text, false, got->cut});
            } catch (const LyricsFileError& e) {
                m_view.failed ? m_view.failed(e.what()) : problem(e.what());
            }
        });
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
    try {
        m_browser.Navigate(EncodeUtf8Query(url));
    } catch (...) {
        searchLoaded(); // nothing loads: no busy word waits for it
        throw;
    }
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
    const std::uint64_t generation = m_generation;
    // A large page is parsed aside first; the harvest goes on when it is.
    if (m_state.TranslationPending) {
        m_state.TranslationPending = false;
        if (m_view.dictionaryPage) m_browser.whenRendered([this] { m_view.dictionaryPage(); });
        return;
    }
    if (m_state.LyricsPagePending && m_view.searchEnabled()) {
        if (m_stagingGeneration != m_generation) return; // staged for an older song
        m_browser.whenRendered([this, generation] {
            if (generation != m_generation) return;
            const std::string text = DecodeUmlautEntities(m_browser.innerText());
            if (!text.empty()) m_view.setText(text);
            finish(!text.empty(), text.empty() ? m_failure : std::string());
        });
        return;
    }
    if (m_state.LyricsPagePending) return; // the staging page while the search is off
    if (m_searchGeneration != m_generation) return;
    m_browser.whenRendered([this, generation] {
        if (generation != m_generation) return;
        harvestResults();
    });
}

void LyricsSearch::harvestResults()
{
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

bool LyricsSearch::fetchPage(const std::string& link, HttpPage& page)
{
    ++m_waiting;
    updateBusy();
    bool ok = true;
    try {
        page = m_http.GetPage(link, FetchGroup::LyricsHarvest);
    } catch (const std::exception&) {
        ok = false;
    }
    if (--m_waiting == 0) updateBusy();
    return ok;
}

void LyricsSearch::FetchCandidate(const std::string& link)
{
    const std::uint64_t generation = m_generation;
    HttpPage page;
    bool second = false;
    m_failure.clear();
    if (!fetchPage(link, page)) {
        if (generation != m_generation) return;
        auto rest = textAfterMarker(m_state.ResultsRemainder, kSecondResultMarker);
        if (!rest) return finish(false, "The result's page could not be fetched.");
        m_state.ResultsRemainder = *rest;
        if (!hasLinkEnd(*rest)) return finish(false, "The result's page could not be fetched.");
        page = {};
        second = true;
        if (!fetchPage(resultLinkA(*rest), page)) {
            page = {};
            m_failure = "Neither the result's page nor the next one could be fetched.";
        }
    }
    // A newer lookup started while this one waited: its page belongs to another song.
    if (generation != m_generation) return;
    struct Staged
    {
        std::string cleaned;
        bool staged = false;
    };
    const std::size_t bytes = page.body.size();
    m_pageLane.run(
        bytes,
        [page = std::move(page), second] {
            // The cleaning cuts the head with its meta tag: decode while the charset is known.
            std::string text = htmlPageToUtf8(page.body, page.contentType);
            if (second && !text.empty()) text = dropThroughBannerEnd(text);
            Staged s{CleanLyricsPage(text)};
            try {
                writeUtf8StagingPage(s.cleaned);
                s.staged = true;
            } catch (const std::exception&) {
                // no staging file (a cache folder that cannot be made, a full disk): the
                // page is rendered all the same
            }
            return s;
        },
        [this, generation](AsideResult<Staged> done) {
            if (generation != m_generation) return;
            Staged s;
            try {
                s = std::move(done.get());
            } catch (const std::exception&) {
                // a page the cleaning could not take: an empty one is staged
            }
            stagePage(generation, s.cleaned, s.staged);
        });
}

void LyricsSearch::stagePage(std::uint64_t generation, const std::string& cleaned, bool staged)
{
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
        // The song start's lookup would only be held back now: it ends, and its busy word.
        if (m_databaseWaiting > 0 && !m_databaseAtOnce) cancelDatabase();
    } else if (m_harvest != Harvest::Found) {
        m_harvest = Harvest::Empty;
        if (m_databaseAnswer) {
            show(*m_databaseAnswer);
            m_databaseAnswer.reset();
        } else if (m_view.placeholderShown && m_view.placeholderShown()) {
            // The search's promise was not kept: what the song had comes back.
            m_ownLyrics ? show(*m_ownLyrics) : m_view.setText({});
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
        m_databaseAtOnce = request.atOnce;
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
            m_view.databaseMissed(
                answer.refused  ? "The lyrics database refused this song: " + reason
                : answer.failed ? "The lyrics database could not be asked: " + reason
                                : "The lyrics database has no lyrics for this song.");
        }
        return;
    }
    if (atOnce || !m_view.searchEnabled() || m_harvest == Harvest::Empty) return show(*shown);
    if (m_harvest == Harvest::Running) m_databaseAnswer = shown;
}

} // namespace larkspur
