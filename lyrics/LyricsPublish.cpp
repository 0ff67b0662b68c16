#include "lyrics/LyricsPublish.h"

#include "lyrics/LyricsDatabase.h"
#include "web/FetchLimits.h"
#include "web/HttpError.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace larkspur {

namespace {

// "[mm:ss.xx]", or "[mm:ss.xxx]" where hundredths would move the line.
std::string exactStamp(std::int64_t ms)
{
    ms = std::max<std::int64_t>(0, ms);
    std::string stamp = lrcStamp(ms);
    if (ms % 10 != 0) stamp.insert(stamp.size() - 1, 1, static_cast<char>('0' + ms % 10));
    return stamp;
}

} // namespace

PublishedLyrics publishedLyrics(const LrcLyrics& shown)
{
    PublishedLyrics out;
    for (const LrcLine& line : shown.lines()) {
        if (&line != &shown.lines().front()) out.plain += '\n';
        out.plain += line.text;
        if (!line.timeMs) continue;
        if (!out.synced.empty()) out.synced += '\n';
        out.synced += exactStamp(*line.timeMs) + line.text;
    }
    return out;
}

std::optional<PublishChallenge> parseChallenge(std::string_view json, std::string* why)
{
    const auto refuse = [why](std::string text) {
        if (why) *why = std::move(text);
        return std::nullopt;
    };
    if (json.size() > kChallengeAnswerMaxBytes)
        return refuse("the answer is larger than " + limitText(kChallengeAnswerMaxBytes) + ".");
    const QJsonObject o =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())))
            .object();
    const QJsonValue prefix = o.value(QStringLiteral("prefix"));
    const QString target = o.value(QStringLiteral("target")).toString();
    if (!prefix.isString() || prefix.toString().isEmpty())
        return refuse("the answer holds no challenge.");
    const QByteArray bytes = prefix.toString().toUtf8();
    if (static_cast<std::size_t>(bytes.size()) > kChallengePrefixMaxBytes)
        return refuse("its prefix is longer than " + std::to_string(kChallengePrefixMaxBytes) +
                      " bytes.");
    if (std::any_of(bytes.begin(), bytes.end(),
                    [](char c) { return c <= ' ' || c > '~' || c == ':'; }))
        return refuse("its prefix holds more than letters, digits and signs.");
    const auto hexDigit = [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    };
    if (target.size() != 64 || !std::all_of(target.begin(), target.end(), hexDigit))
        return refuse("its target is not 64 hex digits.");
    return PublishChallenge{bytes.toStdString(), target.toStdString()};
}

std::optional<std::string> solveChallenge(const PublishChallenge& challenge,
                                          const std::atomic<bool>& cancel,
                                          std::chrono::milliseconds limit)
{
    const QByteArray target = QByteArray::fromHex(QByteArray::fromStdString(challenge.target));
    const QByteArray prefix = QByteArray::fromStdString(challenge.prefix);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // A long prefix is hashed in pieces, a cancel looked at before each: one piece takes well
    // under a millisecond, a hash of megabytes many.
    constexpr qsizetype kPieceBytes = 64 * 1024;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto cancelled = [&cancel] { return cancel.load(std::memory_order_relaxed); };
    for (unsigned long long nonce = 0;; ++nonce) {
        if (cancelled()) return std::nullopt;
        if (((nonce & 0x3F) == 0 || prefix.size() > kPieceBytes) &&
            std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        hash.reset();
        for (qsizetype at = 0; at < prefix.size(); at += kPieceBytes) {
            if (at > 0 && cancelled()) return std::nullopt;
            hash.addData(
                QByteArrayView(prefix).sliced(at, std::min(kPieceBytes, prefix.size() - at)));
        }
        const QByteArray text = QByteArray::number(nonce);
        hash.addData(text);
        // Both 32 bytes: comparing bytes in order compares the numbers.
        if (hash.result() <= target) return text.toStdString();
    }
}

std::string publishBody(const PublishSong& song)
{
    const QJsonObject body{
        {QStringLiteral("trackName"), QString::fromStdString(song.title)},
        {QStringLiteral("artistName"), QString::fromStdString(song.artist)},
        {QStringLiteral("albumName"), QString::fromStdString(song.album)},
        {QStringLiteral("duration"), static_cast<double>(song.durationMs) / 1000.0},
        {QStringLiteral("plainLyrics"), QString::fromStdString(song.plainLyrics)},
        {QStringLiteral("syncedLyrics"), QString::fromStdString(song.syncedLyrics)},
    };
    return QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

HttpRequest post(const std::string& url, std::string body)
{
    HttpRequest r;
    r.url = url;
    r.group = FetchGroup::Default;
    r.userAgent = kLyricsDatabaseUserAgent;
    r.post = true;
    r.body = std::move(body);
    r.contentType = "application/json";
    return r;
}

} // namespace

std::string requestChallenge(HttpFetcher& http, const std::string& host)
{
    return http.Fetch(post(host + "/api/request-challenge", {})).body;
}

std::string publish(HttpFetcher& http, const std::string& host, const PublishSong& song,
                    const PublishChallenge& challenge, const std::string& nonce)
{
    HttpRequest r = post(host + "/api/publish", publishBody(song));
    r.headers.push_back("X-Publish-Token: " + challenge.prefix + ":" + nonce);
    try {
        http.Fetch(r);
        return {};
    } catch (const HttpError& e) {
        if (e.statusCode() <= 0) throw; // no answer at all: the caller says so
        return refusalText(e.what(), e.errorPage());
    }
}

std::string refusalText(const std::string& statusLine, const std::string& body)
{
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    const QString message = o.value(QStringLiteral("message")).toString().simplified();
    return message.isEmpty() ? statusLine : message.left(300).toStdString();
}

} // namespace larkspur
