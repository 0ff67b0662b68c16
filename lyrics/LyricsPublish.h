#pragma once
// Sharing timed lyrics back with the open lyrics database: it asks for a proof of work (a
// nonce whose SHA-256 together with its prefix is at or below its target) before it takes a
// song's lyrics. Never done without the user's say-so.

#include "lyrics/LrcLyrics.h"
#include "web/HttpFetcher.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

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
    std::string prefix; // printable ASCII without ":", at most kChallengePrefixMaxBytes
    std::string target; // 64 hex digits
};

// The database's challenge answers are a few dozen bytes: its prefixes are 32 letters and
// digits. Anything much larger is not a challenge worth solving.
inline constexpr std::size_t kChallengeAnswerMaxBytes = 16 * 1024;
inline constexpr std::size_t kChallengePrefixMaxBytes = 256;
// The database forgets a challenge after five minutes; a nonce found later is refused.
inline constexpr std::chrono::milliseconds kChallengeSolveLimit = std::chrono::minutes(4);

// The challenge the database answered with (JSON); nothing when the answer is not one, with
// `why` (when given) saying what is wrong: no JSON object, an answer over
// kChallengeAnswerMaxBytes, a prefix over kChallengePrefixMaxBytes or with other than
// printable ASCII (":" would end it in the token), a target other than 64 hex digits.
std::optional<PublishChallenge> parseChallenge(std::string_view json, std::string* why = nullptr);

// Counts nonces up from 0 until SHA-256(prefix + nonce) is at or below the target (as big
// numbers). Nothing when `cancel` was set (seen within a millisecond, whatever the prefix) or
// `limit` has passed. CPU-bound: run it off the interface thread.
std::optional<std::string> solveChallenge(const PublishChallenge& challenge,
                                          const std::atomic<bool>& cancel,
                                          std::chrono::milliseconds limit = kChallengeSolveLimit);

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
