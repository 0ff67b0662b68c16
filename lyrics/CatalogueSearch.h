#pragma once
// The catalogue site's search, paging and song loads over its session. The window and the
// command-line tool drive the same object.
//
// Lives on the interface thread. A fetch waits in a nested event loop, so a new search,
// page or song may be asked for while one waits: the newest request wins. It cancels the
// waiting catalogue fetch (lyrics fetches go on) and runs; the older request, once its
// fetch returns, changes nothing.

#include "lyrics/CatalogueState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace larkspur {

class HttpFetcher;
struct CataloguePage;

struct CatalogueView
{
    std::function<void(bool)> setBusy;                  // "busy" while a catalogue fetch waits
    std::function<void()> showNoResult;                 // the site found nothing
    std::function<void(const CataloguePage&)> showPage; // a counted page; state is updated
    std::function<void(const std::string&)> showSong;   // the song's text
    std::function<void(const std::string&)> showError;  // an error the user must read
    std::function<void(const std::string&)> showNote;   // a short outcome for the status line
};

class CatalogueSearch
{
  public:
    enum class Outcome {
        Shown,           // a page or a song was shown
        EmptyText,       // nothing to search for
        NoResult,        // the site found nothing
        FetchFailed,     // network error, bad answer or cancelled
        Superseded,      // a newer request took over while this one waited
        NoSession,       // the front page has no session frame
        NoCount,         // the page had no usable hit count
        BadCount,        // a count that is no whole number (reported through showError)
        ExpiredTooOften, // the site kept answering that the session expired (reported)
        SongMissing,     // the song page has no song block
        Expired,         // a song load found the session expired: search again
        NoRow,           // no such row
    };

    // Expired-session answers repeated more often than this end the search.
    static constexpr int kMaxExpiredRepeats = 3;

    // Neither reference is owned; both must outlive this object.
    CatalogueSearch(CatalogueState& state, HttpFetcher& http, CatalogueView view);

    // The search for `text` at the current page start. Another text or mode than the last
    // search's starts at the first page; the first search keeps the start it was given.
    Outcome search(const std::string& text, bool byTitle);
    // Moves the page start one page on or back; false when there is no such page.
    bool nextPage();
    bool previousPage();
    bool canPageForward() const;
    bool canPageBack() const;
    // The song of row `row` of the last counted page.
    Outcome loadRow(std::size_t row);
    // The song at `link`, relative to the host or an absolute http(s) address.
    Outcome loadSong(const std::string& link);
    // Ends the waiting catalogue fetches (the busy label was clicked).
    void cancel();

    bool waiting() const { return m_waiting > 0; }

  private:
    // `page` decoded to UTF-8; `raw`, when given, the bytes as they came.
    bool fetch(const std::string& url, std::string& page, std::uint64_t generation,
               std::string* raw = nullptr);
    std::uint64_t startRequest();

    CatalogueState& m_state;
    HttpFetcher& m_http;
    CatalogueView m_view;
    std::uint64_t m_generation = 0;
    int m_waiting = 0;
    std::optional<std::pair<std::string, bool>> m_lastSearch; // text and by-title
};

} // namespace larkspur
