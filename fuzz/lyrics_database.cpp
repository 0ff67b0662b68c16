// The lyrics database's answers: the exact lookup's record and, when it has none (404), the
// search's list of hits matched by length. Input: a first byte choosing the song's length
// and whether the exact lookup answers, then the answer's body.

#include "fuzz/FuzzCheck.h"
#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsDatabase.h"
#include "web/HttpError.h"
#include "web/HttpFetcher.h"

#include <QCoreApplication>

#include <string>

using namespace larkspur;

namespace {

// The database's side of the conversation, from the input: no network involved, so the
// parsing runs at full speed (the HTTP client has its own target).
class AnswerFetcher : public HttpFetcher
{
  public:
    AnswerFetcher(std::string body, bool exactFound) : m_body(std::move(body)), m_exactFound(exactFound) {}

    HttpPage GetPage(const std::string& url, FetchGroup) override
    {
        ++calls;
        const bool exact = url.find("/api/get?") != std::string::npos;
        if (exact && !m_exactFound)
            throw HttpError("HTTP/1.1 404 Not Found", 404, "{\"code\":404}");
        return HttpPage{m_body, "application/json"};
    }
    void Disconnect(FetchGroup) override {}
    void Disconnect() override {}

    int calls = 0;

  private:
    std::string m_body;
    bool m_exactFound;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Large answers are parsed on a thread of their own while an event loop waits.
    static int argc = 1;
    static char name[] = "fuzz_lyrics_database";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
    if (size == 0) return 0;
    const std::uint8_t choice = data[0];
    AnswerFetcher http(std::string(fuzz::bytesOf(data + 1, size - 1)), (choice & 1) != 0);
    LyricsDatabase db(http, "http://127.0.0.1:9");
    DatabaseSong song{"Artist", "Title", std::nullopt};
    if (choice & 2) song.durationMs = static_cast<long long>(choice >> 2) * 1000;

    const auto got = db.Lookup(song);
    FUZZ_CHECK(got.has_value());
    FUZZ_CHECK(http.calls == ((choice & 1) ? 1 : 2));
    switch (got->kind) {
    case DatabaseLyricsKind::Nothing:
        FUZZ_CHECK(got->text.empty());
        FUZZ_CHECK(got->why.starts_with("lyrics database: "));
        FUZZ_CHECK(got->why.find_first_of("\r\n") == std::string::npos);
        break;
    case DatabaseLyricsKind::Instrumental:
        FUZZ_CHECK(got->text == "[Instrumental]");
        break;
    case DatabaseLyricsKind::Synced: {
        // Shown as the window shows it: its lines cost memory in proportion to the answer.
        std::size_t bytes = 0;
        const LrcLyrics shown = LrcLyrics::parse(got->text);
        for (const LrcLine& line : shown.lines())
            bytes += line.text.size();
        FUZZ_CHECK(bytes <= (kLrcCopyBudgetFactor + 1) * got->text.size() + kLrcCopyBudgetBytes);
        [[fallthrough]];
    }
    case DatabaseLyricsKind::Plain:
        FUZZ_CHECK(!got->text.empty());
        FUZZ_CHECK(fuzz::isUtf8(got->text));
        break;
    }
    return 0;
}
