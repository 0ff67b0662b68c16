// The lyrics database's challenge answer: any bytes give a challenge within its bounds or a
// reason; a challenge reads back the same from its own JSON; a cancel set first stops the
// solving before any hash, and an easy target is met by the nonce found.

#include "fuzz/FuzzCheck.h"
#include "lyrics/LyricsPublish.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view answer = fuzz::bytesOf(data, size);
    std::string why;
    const auto challenge = parseChallenge(answer, &why);
    if (!challenge) {
        FUZZ_CHECK(!why.empty());
        return 0;
    }
    FUZZ_CHECK(answer.size() <= kChallengeAnswerMaxBytes);
    const std::string& prefix = challenge->prefix;
    FUZZ_CHECK(!prefix.empty() && prefix.size() <= kChallengePrefixMaxBytes);
    FUZZ_CHECK(std::all_of(prefix.begin(), prefix.end(),
                           [](char c) { return c > ' ' && c <= '~' && c != ':'; }));
    FUZZ_CHECK(challenge->target.size() == 64);
    FUZZ_CHECK(
        QByteArray::fromHex(QByteArray::fromStdString(challenge->target)).toHex().toUpper() ==
        QByteArray::fromStdString(challenge->target).toUpper());

    const QJsonObject again{{QStringLiteral("prefix"), QString::fromStdString(prefix)},
                            {QStringLiteral("target"), QString::fromStdString(challenge->target)}};
    const auto read = parseChallenge(QJsonDocument(again).toJson().toStdString());
    FUZZ_CHECK(read && read->prefix == prefix && read->target == challenge->target);

    const std::atomic<bool> cancelled = true, going = false;
    FUZZ_CHECK(!solveChallenge(*challenge, cancelled));
    // About every second hash meets it.
    const PublishChallenge easy{prefix, "7F" + std::string(62, 'F')};
    const auto nonce = solveChallenge(easy, going);
    FUZZ_CHECK(nonce && !nonce->empty());
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(prefix + *nonce),
                                                     QCryptographicHash::Sha256);
    FUZZ_CHECK(static_cast<unsigned char>(hash[0]) <= 0x7F);
    return 0;
}
