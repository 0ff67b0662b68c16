#pragma once
// Sharing timed lyrics back with the open lyrics database: it asks for a proof of work (a
// nonce whose SHA-256 together with its prefix is at or below its target) before it takes a
// song's lyrics. Never done without the user's say-so.

#include "lyrics/LrcLyrics.h"
#include "web/HttpFetcher.h"

#include <atomic>
#include <optional>
#include <string>

namespace larkspur {

struct PublishSong
{
    std::string artist, title, album; // album may be empty
    long long durationMs = 0;
    std::string plainLyrics, syncedLyrics; // LF line breaks
};

// Shown timed lyrics as the database keeps them, LF line breaks: `synced` one "[mm:ss.xx]text"
// line per timed line in the order shown, each at the time it shows at (the offset applied,
// to the millisecond, never before 0), without metadata tags, word stamps or untimed lines
// (the tags have fields of their own); `plain` every shown line's text, without stamps.
struct PublishedLyrics
{
    std::string synced, plain;
};
PublishedLyrics publishedLyrics(const LrcLyrics& shown);

struct PublishChallenge
{
    std::string prefix;
    std::string target; // 64 hex digits
};

// The challenge the database answered with; nothing when the answer is not one.
std::optional<PublishChallenge> parseChallenge(const std::string& json);

// Counts nonces up from 0 until SHA-256(prefix + nonce) is at or below the target (as big
// numbers); nothing when `cancel` was set first. CPU-bound: run it off the interface thread.
std::optional<std::string> solveChallenge(const PublishChallenge& challenge,
                                          const std::atomic<bool>& cancel);

// The request body of a publication.
std::string publishBody(const PublishSong& song);

// The two requests, for callers that solve in between: the challenge's JSON, then the
// database's word on the publication ("" when it took them). Both throw HttpError.
std::string requestChallenge(HttpFetcher& http, const std::string& host);
std::string publish(HttpFetcher& http, const std::string& host, const PublishSong& song,
                    const PublishChallenge& challenge, const std::string& nonce);

// What the user is told of an answer that refused the lyrics: the database's own message
// where it gave one, else the status line.
std::string refusalText(const std::string& statusLine, const std::string& body);

} // namespace larkspur
