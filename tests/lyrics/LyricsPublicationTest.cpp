// Publishing against a loopback database whose challenge is ordinary, huge, malformed,
// unsolvable or slow: each publication ends with its reason, a cancel at any stage ends it,
// and nothing is sent unless the challenge was solved.

#include "lyrics/LyricsPublication.h"
#include "support/HttpPythonServer.h"
#include "support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <gtest/gtest.h>

#include <mutex>

using namespace larkspur;
using namespace std::chrono_literals;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(LyricsPublication, EachChallengeEndsWithItsReason)
{
    TempDir db;
    test::HttpPythonServer server(
        QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/LyricsDatabase.py"),
        {QString::fromStdString(db.path())});
    const QString never(64, u'0');
    const auto challenge = [](const QString& body) {
        return QJsonObject{{QStringLiteral("status"), 200}, {QStringLiteral("body"), body}};
    };
    using Kind = PublishEnd::Kind;
    struct Case
    {
        QJsonObject routes;
        std::optional<PublishStage> cancelAt;
        Kind kind;
        std::string text;
    } cases[] = {
        {{}, {}, Kind::Published, "The lyrics database took the timed lyrics of \"A - T\"."},
        {{{QStringLiteral("prefix"), QString(257, u'p')}},
         {},
         Kind::Failed,
         "The lyrics database's challenge was refused: its prefix is longer than 256 bytes."},
        {{{QStringLiteral("prefix"), QString(10 * 1024 * 1024, u'p')}},
         {},
         Kind::Failed,
         "The lyrics database could not be asked: The answer is larger than 16 KB."},
        {{{QStringLiteral("prefix"), QStringLiteral("ab:cd")}},
         {},
         Kind::Failed,
         "The lyrics database's challenge was refused: its prefix holds more than letters, "
         "digits and signs."},
        {{{QStringLiteral("POST /api/request-challenge"), challenge(QStringLiteral("[1]"))}},
         {},
         Kind::Failed,
         "The lyrics database's challenge was refused: the answer holds no challenge."},
        {{{QStringLiteral("target"), QStringLiteral("0g") + never.mid(2)}},
         {},
         Kind::Failed,
         "The lyrics database's challenge was refused: its target is not 64 hex digits."},
        {{{QStringLiteral("target"), never}},
         {},
         Kind::Failed,
         "The lyrics database's challenge was not solved within 300 ms; nothing was sent."},
        {{{QStringLiteral("target"), never}, {QStringLiteral("prefix"), QString(256, u'p')}},
         PublishStage::Solving,
         Kind::Cancelled,
         "Publishing cancelled; nothing was sent."},
        {{{QStringLiteral("POST /api/request-challenge"),
           QJsonObject{{QStringLiteral("status"), 200},
                       {QStringLiteral("body"), QStringLiteral("{}")},
                       {QStringLiteral("delay"), 30}}}},
         PublishStage::Asking,
         Kind::Cancelled,
         "Publishing cancelled; nothing was sent."},
    };
    int row = 0;
    for (const Case& c : cases) {
        ++row;
        writeFile(db.file("routes.json"), QJsonDocument(c.routes).toJson().toStdString());
        writeFile(db.file("publish.log"), "");
        std::mutex mutex;
        std::vector<PublishStage> stages;
        std::optional<PublishEnd> end;
        PublishSetup setup;
        setup.host = server.url("");
        setup.solveLimit = c.cancelAt ? 30s : 300ms; // a cancel comes first
        setup.stage = [&](PublishStage s) {
            std::lock_guard lock(mutex);
            stages.push_back(s);
        };
        setup.ended = [&](const PublishEnd& e) {
            std::lock_guard lock(mutex);
            end = e;
        };
        LyricsPublication publication({"A", "T", "", 185'000, "la", "[00:01.00]la"}, setup);
        publication.start();
        const auto ended = [&] {
            std::lock_guard lock(mutex);
            if (c.cancelAt && !stages.empty() && stages.back() == *c.cancelAt) publication.cancel();
            return end.has_value();
        };
        for (int ms = 0; !ended() && ms < 10000; ms += 10)
            QTest::qWait(10);
        ASSERT_TRUE(ended()) << row;
        EXPECT_EQ(end->kind, c.kind) << row;
        EXPECT_EQ(end->text, c.text) << row;
        const std::string posts = readFile(db.file("publish.log"));
        EXPECT_EQ(posts.find("/api/publish") != std::string::npos, c.kind == Kind::Published)
            << row;
    }
}
