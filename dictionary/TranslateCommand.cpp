#include "dictionary/TranslateCommand.h"

#include "dictionary/Translation.h"
#include "lyrics/LyricsSearch.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"
#include "web/ToolApplication.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <memory>

namespace larkspur {

namespace {

// A slow dictionary still answers; the browser stops a page that keeps loading after 5 s.
constexpr int kLimitMs = 60000;

std::string oneLine(std::string text)
{
    for (char& ch : text)
        if (ch == '\n' || ch == '\r') ch = ' ';
    return text;
}

} // namespace

int runTranslateCommand(const std::string& word, std::ostream& out, std::ostream& err)
{
    const auto app = makeToolApplication();

    LyricsState state;
    HttpClient http;
    BrowserDocument browser;
    QEventLoop loop;
    std::string text, why = "The dictionary did not answer in time.", navigationError;
    bool done = false;
    // Why the local dictionaries left something out; said on err whatever the outcome.
    std::string problems;
    const OfflineLookup offline = [&problems](const std::string& w) {
        return offlineTranslation(w, &problems);
    };
    const auto tellProblems = [&] {
        if (!problems.empty()) err << "larkspur-tool: " << oneLine(problems) << '\n';
    };
    LyricsView view;
    view.setText = [](const std::string&) {};
    view.setBusy = [](bool) {};
    view.searchEnabled = [] { return false; };
    view.checkSearch = [] {};
    view.dictionaryPage = [&] {
        try {
            text = translationOf(browser, word, offline);
            why = "The dictionary page is empty.";
        } catch (const std::exception& e) {
            why = e.what();
        }
        done = true;
        loop.quit();
    };
    // The harvest decides what a completed page is, as in the window.
    LyricsSearch harvest(state, http, browser, view);
    // The empty page that follows an unreachable dictionary is harvested as in the window;
    // the tool says why it is empty.
    QObject::connect(
        &browser, &BrowserDocument::NavigateError, &loop,
        [&](const QString&, const QString& message) { navigationError = message.toStdString(); });
    try {
        requestTranslation(state, browser, word);
    } catch (const std::exception& e) {
        const auto entries = offline(word);
        tellProblems();
        if (entries) {
            out << *entries << '\n';
            return 0;
        }
        err << "larkspur-tool: " << e.what() << '\n';
        return 1;
    }
    QTimer::singleShot(kLimitMs, &loop, &QEventLoop::quit);
    if (!done) loop.exec();
    tellProblems();
    if (text.empty()) {
        err << "larkspur-tool: " << oneLine(navigationError.empty() ? why : navigationError)
            << '\n';
        return 1;
    }
    out << text;
    if (text.back() != '\n') out << '\n';
    return 0;
}

} // namespace larkspur
