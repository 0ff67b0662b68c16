#include "lyrics/LyricsCommand.h"

#include "lyrics/LyricsSearch.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"
#include "web/ToolApplication.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <charconv>
#include <memory>

namespace larkspur {

namespace {

// Long enough for a slow search engine and a slow lyrics site; the harvest has its own
// 5 s limit once a page has answered.
constexpr int kLimitMs = 120000;

} // namespace

int runLyricsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    int next = 0;
    std::string song;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--next" && i + 1 < args.size()) {
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
    std::string text, why = "The search did not answer in time.";
    bool found = false, done = false;
    int shown = 0;
    LyricsView view;
    view.setText = [&](const std::string& t) { text = t; };
    view.setBusy = [](bool) {};
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
    try {
        search.LookupLyrics(fileName, song);
    } catch (const std::exception& e) {
        err << "larkspur-tool: " << e.what() << '\n';
        return 1;
    }
    if (!state.AutoLyricsPending) { // the lyrics file beside the song
        out << text;
        if (!text.empty() && text.back() != '\n') out << '\n';
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
    if (!done || !found) {
        err << "larkspur-tool: " << (why.empty() ? "No lyrics found." : why) << '\n';
        return 1;
    }
    out << text;
    if (!text.empty() && text.back() != '\n') out << '\n';
    return 0;
}

} // namespace larkspur
