#include "lyrics/CatalogueSearch.h"

#include "lyrics/CataloguePage.h"
#include "web/HtmlCharset.h"
#include "web/HttpFetcher.h"
#include "web/RunAside.h"

namespace larkspur {

CatalogueSearch::CatalogueSearch(CatalogueState& state, HttpFetcher& http, CatalogueView view)
    : m_state(state), m_http(http), m_view(std::move(view))
{}

std::uint64_t CatalogueSearch::startRequest()
{
    if (m_waiting > 0) m_http.Disconnect(FetchGroup::Catalogue);
    return ++m_generation;
}

bool CatalogueSearch::fetch(const std::string& url, std::string& page, std::uint64_t generation,
                            std::string* raw)
{
    ++m_waiting;
    if (m_view.setBusy) m_view.setBusy(true);
    bool ok = true;
    try {
        const HttpPage got = m_http.GetPage(url, FetchGroup::Catalogue);
        // A Latin-1 era site: the program's text is UTF-8.
        page = runAside(got.body.size(),
                        [&got] { return htmlPageToUtf8(got.body, got.contentType); });
        if (raw) *raw = got.body;
    } catch (const std::exception&) {
        ok = false;
    }
    if (--m_waiting == 0 && m_view.setBusy) m_view.setBusy(false);
    // A cancelled fetch may still return what had arrived; a newer request owns the state.
    return ok && generation == m_generation;
}

CatalogueSearch::Outcome CatalogueSearch::search(const std::string& text, bool byTitle)
{
    if (text.empty()) return Outcome::EmptyText;
    // Hits 21-30 of an old search say nothing about where a new one should begin.
    if (m_lastSearch && (m_lastSearch->first != text || m_lastSearch->second != byTitle))
        m_state.CataloguePageStart = 0;
    m_lastSearch.emplace(text, byTitle);
    const std::uint64_t generation = startRequest();
    const std::string host = catalogueHost();
    auto failed = [&] {
        return generation == m_generation ? Outcome::FetchFailed : Outcome::Superseded;
    };
    for (int repeats = 0;; ++repeats) {
        if (m_state.CatalogueTotal == 0) {
            std::string front;
            if (!fetch(host, front, generation)) return failed();
            auto session = sessionFromFrontPage(front);
            if (!session) return Outcome::NoSession;
            m_state.CatalogueSession = std::move(*session);
        }
        std::string lacking;
        const std::string url =
            catalogueSearchUrl(host, m_state.CatalogueSession, text, byTitle,
                               m_state.CataloguePageStart, m_state.EntriesPerPage, &lacking);
        if (!lacking.empty() && repeats == 0 && m_view.showNote)
            m_view.showNote("The catalogue site reads Latin-1 only: \"" + lacking +
                            "\" went out as \"?\".");
        std::string body, raw;
        if (!fetch(url, body, generation, &raw)) return failed();
        CataloguePage page = runAside(body.size(), [&body, &raw] {
            CataloguePage parsed = parseCataloguePage(body);
            // Links are requested with the bytes they had on the page, not as decoded.
            const std::vector<CatalogueRow> rawRows = parseCatalogueRows(raw);
            if (rawRows.size() == parsed.rows.size())
                for (std::size_t i = 0; i < rawRows.size(); ++i)
                    parsed.rows[i].linkBytes = rawRows[i].link;
            return parsed;
        });
        if (generation != m_generation) return Outcome::Superseded;
        switch (page.kind) {
        case CataloguePage::Kind::Expired:
            if (repeats == kMaxExpiredRepeats) {
                if (m_view.showError)
                    m_view.showError("The catalogue site keeps answering that the session has "
                                     "expired; the search was given up.");
                return Outcome::ExpiredTooOften;
            }
            m_state.CatalogueTotal = 1; // the same session is sent again
            continue;
        case CataloguePage::Kind::NoResult:
            if (m_view.showNoResult) m_view.showNoResult();
            return Outcome::NoResult;
        case CataloguePage::Kind::NoCount:
        case CataloguePage::Kind::CountTooLong:
            return Outcome::NoCount;
        case CataloguePage::Kind::BadCount:
            if (m_view.showError)
                m_view.showError("'" + page.countText + "' is not a valid integer value");
            return Outcome::BadCount;
        case CataloguePage::Kind::Rows:
            break;
        }
        m_state.CatalogueTotal = page.count;
        m_state.CatalogueRows = page.rows;
        if (m_view.showPage) m_view.showPage(page);
        return Outcome::Shown;
    }
}

bool CatalogueSearch::canPageForward() const
{
    return m_state.CataloguePageStart + m_state.EntriesPerPage < m_state.CatalogueTotal;
}

bool CatalogueSearch::canPageBack() const
{
    return m_state.CataloguePageStart - m_state.EntriesPerPage >= 0;
}

bool CatalogueSearch::nextPage()
{
    // The same rule as the forward button's: a start at the total is an empty page.
    if (!canPageForward() || m_state.EntriesPerPage <= 0) return false;
    m_state.CataloguePageStart += m_state.EntriesPerPage;
    return true;
}

bool CatalogueSearch::previousPage()
{
    if (!canPageBack() || m_state.EntriesPerPage <= 0) return false;
    m_state.CataloguePageStart -= m_state.EntriesPerPage;
    return true;
}

CatalogueSearch::Outcome CatalogueSearch::loadRow(std::size_t row)
{
    if (row >= m_state.CatalogueRows.size()) return Outcome::NoRow;
    const CatalogueRow& hit = m_state.CatalogueRows[row];
    return loadSong(hit.linkBytes.empty() ? hit.link : hit.linkBytes);
}

CatalogueSearch::Outcome CatalogueSearch::loadSong(const std::string& link)
{
    const std::uint64_t generation = startRequest();
    const std::string url = catalogueSongUrl(catalogueHost(), link);
    std::string page;
    if (!fetch(url, page, generation))
        return generation == m_generation ? Outcome::FetchFailed : Outcome::Superseded;
    if (isExpiredSessionPage(page)) {
        m_state.CatalogueTotal = 1;
        return Outcome::Expired;
    }
    const auto text = runAside(page.size(), [&page] { return songTextFromPage(page); });
    if (generation != m_generation) return Outcome::Superseded;
    if (!text) return Outcome::SongMissing;
    if (m_view.showSong) m_view.showSong(*text);
    return Outcome::Shown;
}

void CatalogueSearch::cancel()
{
    m_http.Disconnect(FetchGroup::Catalogue);
}

} // namespace larkspur
