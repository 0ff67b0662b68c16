// The lyrics database lookup against servers that hold, drip, flood or break their answers:
// each lookup ends within the client's limits with one line saying why.

#include "lyrics/LyricsDatabase.h"
#include "support/HostileServers.h"
#include "support/TickGaps.h"
#include "web/HttpClient.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <map>

using namespace larkspur;
using namespace std::chrono_literals;

TEST(LyricsDatabaseHostile, EveryLookupEndsWithItsReason)
{
    const test::HostileSizes sizes{200, 200u * 1024 * 1024, 32u * 1024 * 1024};
    const std::map<std::string, std::string> expected = {
        {"no answer", "Read timed out (no data for 1 s)."},
        {"drip", "The answer took longer than 3 s."},
        {"header line of 1 MB", "Max line length exceeded."},
        {"10000 headers", "The answer's header lines exceed 256 KB."},
        {"redirect loop", "HTTP/1.1 302 Found"},
        {"length beyond body", "Read timed out (no data for 1 s)."},
        // One line: the tool prints it as such.
        {"reset midway", "Socket Error # 104 Connection reset by peer"},
        {"huge body", "The answer is larger than 4 MB."},
        // Not decoded, so not JSON either.
        {"gzip bomb", "the answer is not a JSON record"},
        {"stalled TLS", "Connect timed out."},
    };
    int checked = 0;
    for (const test::HostileCase& hostile : test::hostileCases(sizes)) {
        const auto want = expected.find(hostile.name);
        if (want == expected.end()) continue; // chunked garbage: a Get test covers it
        ++checked;
        test::HttpRawServer server(hostile.handler);
        HttpClient http({1s, 1s, 3s, 256 * 1024, 4 * 1024 * 1024});
        const std::string url = test::hostileUrl(server, hostile);
        LyricsDatabase db(http, url.substr(0, url.find("/page")));
        test::TickGaps gaps;
        QElapsedTimer clock;
        clock.start();
        const auto got = db.Lookup({"artist", "title", 200'000});
        ASSERT_TRUE(got) << hostile.name;
        EXPECT_EQ(got->kind, DatabaseLyricsKind::Nothing) << hostile.name;
        EXPECT_EQ(got->why, "lyrics database: " + want->second) << hostile.name;
        EXPECT_LT(clock.elapsed(), 8000) << hostile.name;
        EXPECT_LT(gaps.longestMs(), 250) << hostile.name;
    }
    EXPECT_EQ(checked, static_cast<int>(expected.size()));
}
