#include "lyrics/LyricsPublish.h"

#include "lyrics/LyricsDatabase.h"
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

std::optional<PublishChallenge> parseChallenge(const std::string& json)
{
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    const QString prefix = o.value(QStringLiteral("prefix")).toString();
    const QString target = o.value(QStringLiteral("target")).toString();
    if (prefix.isEmpty() || QByteArray::fromHex(target.toLatin1()).size() != 32 ||
        target.size() != 64)
        return std::nullopt;
    return PublishChallenge{prefix.toStdString(), target.toStdString()};
}

std::optional<std::string> solveChallenge(const PublishChallenge& challenge,
                                          const std::atomic<bool>& cancel)
{
    const QByteArray target = QByteArray::fromHex(QByteArray::fromStdString(challenge.target));
    const QByteArray prefix = QByteArray::fromStdString(challenge.prefix);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (unsigned long long nonce = 0;; ++nonce) {
        if ((nonce & 0xFFF) == 0 && cancel.load(std::memory_order_relaxed)) return std::nullopt;
        const QByteArray text = QByteArray::number(nonce);
        hash.reset();
        hash.addData(prefix);
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
