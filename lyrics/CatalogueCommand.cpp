#include "lyrics/CatalogueCommand.h"

#include "lyrics/CataloguePage.h"
#include "lyrics/CatalogueSearch.h"
#include "web/HttpClient.h"
#include "web/ToolApplication.h"

#include <QCoreApplication>

#include <charconv>
#include <memory>

namespace larkspur {

namespace {

// Tabs and line breaks inside a piece would break the one-row-per-line output.
std::string oneLine(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return text;
}

const char* why(CatalogueSearch::Outcome outcome)
{
    using O = CatalogueSearch::Outcome;
    switch (outcome) {
    case O::NoResult:
        return "The catalogue found nothing.";
    case O::FetchFailed:
    case O::Superseded:
        return "The catalogue site could not be fetched.";
    case O::NoSession:
        return "The catalogue's front page holds no session.";
    case O::NoCount:
        return "The result page holds no usable hit count.";
    case O::SongMissing:
        return "The page holds no song text.";
    case O::Expired:
        return "The catalogue session has expired.";
    default:
        return "The catalogue search failed.";
    }
}

} // namespace

int runCatalogueCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    bool full = false;
    int offset = 0;
    std::string text, song;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--full") {
            full = true;
        } else if (args[i] == "--offset" && i + 1 < args.size()) {
            const std::string& n = args[++i];
            const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), offset);
            if (ec != std::errc() || end != n.data() + n.size() || offset < 0) return 2;
        } else if (args[i] == "--song" && i + 1 < args.size()) {
            song = args[++i];
        } else if (text.empty() && !args[i].empty()) {
            text = args[i];
        } else {
            return 2;
        }
    }
    if (text.empty() == song.empty()) return 2; // one of the two

    const auto app = makeToolApplication();

    CatalogueState state;
    state.CataloguePageStart = offset;
    HttpClient http;
    std::string error, songText;
    CataloguePage shown;
    CatalogueView view;
    view.showPage = [&](const CataloguePage& page) { shown = page; };
    view.showSong = [&](const std::string& t) { songText = t; };
    view.showError = [&](const std::string& e) { error = e; };
    view.showNote = [&](const std::string& note) { err << "larkspur-tool: " << note << '\n'; };
    CatalogueSearch search(state, http, view);

    const auto outcome = song.empty() ? search.search(text, !full) : search.loadSong(song);
    if (outcome != CatalogueSearch::Outcome::Shown) {
        err << "larkspur-tool: " << (error.empty() ? why(outcome) : error.c_str()) << '\n';
        return 1;
    }
    if (!song.empty()) {
        out << songText;
        if (!songText.empty() && songText.back() != '\n') out << '\n';
        return 0;
    }
    out << "Found: " << shown.countText << '\n' << "Range: " << shown.range << '\n';
    for (const CatalogueRow& row : shown.rows)
        out << oneLine(row.title) << '\t' << oneLine(row.text) << '\t' << oneLine(row.link) << '\n';
    return 0;
}

} // namespace larkspur
