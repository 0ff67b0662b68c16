#include "lyrics/LyricsDatabase.h"

#include "lyrics/LyricsPublish.h"
#include "web/HttpError.h"
#include "web/HttpFetcher.h"
#include "web/HttpUrl.h"
#include "web/RunAside.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace larkspur {

namespace {

constexpr std::string_view kBuiltInHost = "https://lrclib.net";
constexpr double kLengthToleranceSeconds = 2.0;
constexpr long long kLongestSeconds = 3600; // the database's range for an exact lookup

std::string percentEncoded(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
            b == '-' || b == '.' || b == '_' || b == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    return out;
}

// A length of zero or less is as good as none.
std::optional<long long> knownLength(const DatabaseSong& song)
{
    if (song.durationMs && *song.durationMs > 0) return song.durationMs;
    return std::nullopt;
}

long long wholeSeconds(long long ms)
{
    return (ms + 500) / 1000;
}

DatabaseLyrics nothing(std::string why, bool failed = false)
{
    // A socket error's text spans two lines; a tool prints one.
    std::erase(why, '\r');
    std::replace(why.begin(), why.end(), '\n', ' ');
    return DatabaseLyrics{
        DatabaseLyricsKind::Nothing, {}, "lyrics database: " + std::move(why), failed};
}

struct Answer
{
    int status = 0; // 200 for an accepted answer, else HttpError's code
    std::string body;
    std::string failure;
    std::string retryAfter;
    std::string message; // a refusal's own words: the database's "message", else the status line
};

Answer fetch(HttpFetcher& http, FetchGroup group, const std::string& url)
{
    Answer answer;
    try {
        HttpRequest request;
        request.url = url;
        request.group = group;
        request.userAgent = kLyricsDatabaseUserAgent;
        answer.body = http.Fetch(request).body;
        answer.status = 200;
    } catch (const HttpError& e) {
        answer.status = e.statusCode();
        answer.failure = e.what();
        answer.retryAfter = e.retryAfter();
        if (answer.status > 0) answer.message = refusalText(answer.failure, e.errorPage());
    }
    return answer;
}

// A refusal, with what a caller that paces its requests needs of it.
DatabaseLyrics refused(const Answer& answer)
{
    // A 4xx but "not found" and "wait" is about this request: its message says what.
    const bool request = answer.status >= 400 && answer.status < 500 && answer.status != 429;
    DatabaseLyrics failed = nothing(request ? answer.message : answer.failure, true);
    failed.status = answer.status;
    failed.retryAfter = answer.retryAfter;
    failed.refused = request;
    return failed;
}

QString field(const QJsonObject& record, const char* name)
{
    return record.value(QLatin1String(name)).toString();
}

DatabaseRecord toRecord(const QJsonObject& record)
{
    DatabaseRecord r;
    r.instrumental = record.value(QLatin1String("instrumental")).toBool();
    r.synced = field(record, "syncedLyrics").toStdString();
    r.plain = field(record, "plainLyrics").toStdString();
    if (const QJsonValue d = record.value(QLatin1String("duration")); d.isDouble())
        r.durationSeconds = d.toDouble();
    return r;
}

bool blank(const std::string& text)
{
    return QString::fromStdString(text).trimmed().isEmpty();
}

std::optional<QJsonDocument> parsed(const std::string& body)
{
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
    if (error.error != QJsonParseError::NoError) return std::nullopt;
    return doc;
}

DatabaseLyrics fromSearch(const std::string& body, std::optional<long long> lengthMs)
{
    const auto doc = parsed(body);
    if (!doc || !doc->isArray()) return nothing("the search answer is not a JSON list");
    const QJsonArray hits = doc->array();
    if (hits.isEmpty()) return nothing("no such song");
    std::vector<DatabaseRecord> records;
    for (const QJsonValue& hit : hits)
        if (hit.isObject()) records.push_back(toRecord(hit.toObject()));
    return databaseLyricsFromHits(records, lengthMs);
}

} // namespace

DatabaseLyrics databaseLyricsFromRecord(const DatabaseRecord& record)
{
    if (record.instrumental) return {DatabaseLyricsKind::Instrumental, "[Instrumental]", {}};
    if (!blank(record.synced)) return {DatabaseLyricsKind::Synced, record.synced, {}};
    if (!blank(record.plain)) return {DatabaseLyricsKind::Plain, record.plain, {}};
    return nothing("the record holds no lyrics");
}

DatabaseLyrics databaseLyricsFromHits(const std::vector<DatabaseRecord>& hits,
                                      std::optional<long long> lengthMs)
{
    // The hit nearest in length: a live take or a long version often shares the names.
    const DatabaseRecord* nearest = nullptr;
    double nearestOff = 0;
    for (const DatabaseRecord& hit : hits) {
        if (!lengthMs || *lengthMs <= 0) return databaseLyricsFromRecord(hit);
        if (!hit.durationSeconds) continue;
        const double off = std::abs(*hit.durationSeconds - *lengthMs / 1000.0);
        if (off <= kLengthToleranceSeconds && (!nearest || off < nearestOff)) {
            nearest = &hit;
            nearestOff = off;
        }
    }
    if (nearest) return databaseLyricsFromRecord(*nearest);
    return nothing("no hit within 2 s of the song's length");
}

std::string lyricsDatabaseHost()
{
    return siteHost("LARKSPUR_LYRICS_DB_URL", kBuiltInHost);
}

std::string lyricsDatabaseGetUrl(std::string_view host, const DatabaseSong& song)
{
    std::string url = std::string(host) + "/api/get?artist_name=" + percentEncoded(song.artist) +
                      "&track_name=" + percentEncoded(song.title);
    if (const auto ms = knownLength(song))
        if (const long long s = wholeSeconds(*ms); s >= 1 && s <= kLongestSeconds)
            url += "&duration=" + std::to_string(s);
    return url;
}

std::string lyricsDatabaseSearchUrl(std::string_view host, const DatabaseSong& song)
{
    std::string url = std::string(host) + "/api/search?track_name=" + percentEncoded(song.title);
    if (!blank(song.artist)) url += "&artist_name=" + percentEncoded(song.artist);
    return url;
}

bool lyricsDatabaseGetAccepts(const DatabaseSong& song)
{
    const auto ms = knownLength(song);
    return !blank(song.artist) && !blank(song.title) &&
           !(ms && wholeSeconds(*ms) > kLongestSeconds);
}

LyricsDatabase::LyricsDatabase(HttpFetcher& http, std::string host, FetchGroup group)
    : m_http(http), m_host(std::move(host)), m_group(group)
{}

LyricsDatabase::~LyricsDatabase()
{
    ++*m_generation;
}

void LyricsDatabase::Cancel()
{
    ++*m_generation;
    m_http.Disconnect(m_group);
}

std::optional<DatabaseLyrics> LyricsDatabase::Lookup(const DatabaseSong& song)
{
    // Copies: a handler running during a fetch may destroy this object.
    const std::shared_ptr<std::uint64_t> generation = m_generation;
    const std::uint64_t mine = ++*generation;
    HttpFetcher& http = m_http;
    const FetchGroup group = m_group;
    const std::string searchUrl = lyricsDatabaseSearchUrl(m_host, song);

    Answer exact;
    exact.status = 404; // a song the exact lookup would refuse is only searched for
    if (lyricsDatabaseGetAccepts(song))
        exact = fetch(http, group, lyricsDatabaseGetUrl(m_host, song));
    if (*generation != mine) return std::nullopt;
    if (exact.status == 200) {
        // A large answer is parsed beside the event loop; the lookup may be stale after.
        DatabaseLyrics found = runAside(exact.body.size(), [&exact] {
            const auto doc = parsed(exact.body);
            if (!doc || !doc->isObject()) return nothing("the answer is not a JSON record");
            return databaseLyricsFromRecord(toRecord(doc->object()));
        });
        if (*generation != mine) return std::nullopt;
        return found;
    }
    // Only "no such record" is worth a search; any other refusal would refuse it too.
    if (exact.status != 404) return refused(exact);

    const Answer search = fetch(http, group, searchUrl);
    if (*generation != mine) return std::nullopt;
    if (search.status != 200) return refused(search);
    const auto length = knownLength(song);
    DatabaseLyrics found =
        runAside(search.body.size(), [&search, length] { return fromSearch(search.body, length); });
    if (*generation != mine) return std::nullopt;
    return found;
}

} // namespace larkspur
