#include "playback/Selection.h"

#include <gtest/gtest.h>
#include <cmath>
#include <deque>
#include <set>

using namespace larkspur;

namespace {

// Hands out a fixed sequence of draws.
class ScriptedRandom : public RandomSource
{
public:
    ScriptedRandom(std::initializer_list<std::size_t> draws) : m_draws(draws) {}
    std::size_t below(std::size_t n) override
    {
        if (m_draws.empty()) throw std::logic_error("drew more often than scripted");
        const auto d = m_draws.front();
        m_draws.pop_front();
        EXPECT_LT(d, n);
        return d;
    }
    std::size_t left() const { return m_draws.size(); }

private:
    std::deque<std::size_t> m_draws;
};

SongList listOf(std::initializer_list<const char*> lines)
{
    SongList l;
    for (auto* line : lines) l.add(line);
    return l;
}

FileExists existsUnless(std::set<std::string> missing)
{
    return [missing](const std::string& p) { return !missing.count(p); };
}

} // namespace

TEST(Selection, AcceptsOnlyFromTheDrawThatPassesTheCount)
{
    auto list = listOf({"2|/a", "0|/b", "1|/c"});
    ScriptedRandom r{0, 0, 2, 0};
    // draw 1: a (2 < 1 no), draw 2: a (2 < 2 no), draw 3: c (1 < 3 yes)
    auto sel = drawSong(list, -1, r, existsUnless({}));
    ASSERT_EQ(sel.outcome, Selection::Outcome::Chosen);
    EXPECT_EQ(sel.index, 2u);
    EXPECT_EQ(sel.newEntry, "2|/c");
    EXPECT_EQ(sel.draws, 3);

    ScriptedRandom never{1};
    sel = drawSong(list, -1, never, existsUnless({}));
    EXPECT_EQ(sel.index, 1u); // a never-played song goes at once
    EXPECT_EQ(sel.newEntry, "1|/b");
    EXPECT_EQ(sel.missing, "");

    ScriptedRandom pastGone{0, 1};
    sel = drawSong(listOf({"0|/gone", "0|/b"}), -1, pastGone, existsUnless({"/gone"}));
    EXPECT_EQ(sel.index, 1u);
    EXPECT_EQ(sel.missing, "/gone"); // passed over, to be named
}

TEST(Selection, CountsCompareAsIntegers)
{
    auto list = listOf({"10|/a", "9|/b"});
    ScriptedRandom r{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto sel = drawSong(list, -1, r, existsUnless({}));
    ASSERT_EQ(sel.outcome, Selection::Outcome::Chosen);
    EXPECT_EQ(sel.draws, 11);
    EXPECT_EQ(sel.newEntry, "11|/a");
}

TEST(Selection, GivesUpOnlyWhenNothingCanBeAccepted)
{
    struct Case
    {
        std::vector<std::string> lines;
        std::set<std::string> missing;
        bool gaveUp;
    };
    const std::vector<std::string> nineGone{"0|/g1", "0|/g2", "0|/g3", "0|/g4", "0|/g5",
                                            "0|/g6", "0|/g7", "0|/g8", "0|/g9"};
    std::vector<std::string> oneAmongGone = nineGone;
    oneAmongGone.push_back("5|/here");
    const std::set<std::string> gone{"/g1", "/g2", "/g3", "/g4", "/g5", "/g6", "/g7", "/g8", "/g9"};
    const std::vector<Case> cases{
        {{"0|/gone"}, {"/gone"}, true},
        {{"-1|/a", "-1|/b", "oops|/c", ""}, {}, true},
        {{"-1|/a", "3|/gone"}, {"/gone"}, true},
        {nineGone, gone, true},
        // Banned and missing draws no longer end a call that has a song to play.
        {{"-1|/a", "5|/b", "5|/c"}, {}, false},
        {oneAmongGone, gone, false},
        {{"-1|/a", "2147483647|/huge"}, {}, false},
    };
    TimeSeededRandom random(7);
    for (const auto& c : cases) {
        SongList list;
        for (const auto& line : c.lines) list.add(line);
        for (int call = 0; call < 300; ++call) {
            const auto sel = drawSong(list, -1, random, existsUnless(c.missing));
            ASSERT_EQ(sel.outcome == Selection::Outcome::GaveUp, c.gaveUp) << c.lines.back();
            ASSERT_LE(sel.draws, 4096);
            if (!c.gaveUp) {
                EXPECT_FALSE(c.missing.count(sel.path)) << sel.path;
            }
        }
    }

    SongList empty;
    ScriptedRandom r4{};
    EXPECT_EQ(drawSong(empty, -1, r4, existsUnless({})).outcome, Selection::Outcome::Nothing);
}

TEST(Selection, MalformedEntriesAreSkippedAtRandomAndFailByIndex)
{
    auto list = listOf({"", "x|/bad", "0|/good"});
    ScriptedRandom r{0, 1, 2};
    auto sel = drawSong(list, -1, r, existsUnless({}));
    ASSERT_EQ(sel.outcome, Selection::Outcome::Chosen);
    EXPECT_EQ(sel.index, 2u);
    EXPECT_FALSE(sel.malformed);

    ScriptedRandom none{};
    sel = drawSong(list, 1, none, existsUnless({}));
    ASSERT_EQ(sel.outcome, Selection::Outcome::Chosen);
    EXPECT_TRUE(sel.malformed);
    EXPECT_TRUE(sel.newEntry.empty());
    EXPECT_EQ(sel.path, "/bad");
}

TEST(Selection, ExplicitIndexIsAlwaysTaken)
{
    auto list = listOf({"50|/a", "-1|/b", "4|/gone"});
    ScriptedRandom none{};
    auto sel = drawSong(list, 0, none, existsUnless({"/gone"}));
    EXPECT_EQ(sel.newEntry, "51|/a");
    sel = drawSong(list, 1, none, existsUnless({"/gone"}));
    EXPECT_EQ(sel.newEntry, "0|/b"); // playing a banned song lifts the ban
    sel = drawSong(list, 2, none, existsUnless({"/gone"}));
    EXPECT_EQ(sel.newEntry, "1|/gone"); // a missing file counts from 0
    EXPECT_EQ(drawSong(list, 7, none, existsUnless({})).outcome, Selection::Outcome::Nothing);

    auto single = listOf({"3|/gone"});
    EXPECT_EQ(drawSong(single, 0, none, existsUnless({"/gone"})).outcome,
              Selection::Outcome::GaveUp);
}

// The chance that a call picks entry j, drawing until acceptance: at the k-th existing-file
// draw every existing, unbanned entry with count < k is accepted when drawn, so
// P(j) = sum over k >= c_j + 1 of P(no acceptance before draw k) / E, E the existing files.
// Missing and malformed draws change nothing. Past the largest count every step accepts
// with the same chance, so the rest is shared equally.
std::vector<double> ruleChances(const std::vector<int>& counts, const std::vector<bool>& exists)
{
    double e = 0;
    int top = 0;
    for (std::size_t j = 0; j < counts.size(); ++j)
        if (exists[j]) {
            e += 1;
            top = std::max(top, counts[j]);
        }
    std::vector<double> p(counts.size(), 0.0);
    double reach = 1.0;
    for (int k = 1; k <= top + 1; ++k) {
        double acceptable = 0;
        for (std::size_t j = 0; j < counts.size(); ++j)
            if (exists[j] && counts[j] != -1 && counts[j] < k) {
                p[j] += reach / e;
                acceptable += 1;
            }
        reach *= 1.0 - acceptable / e;
    }
    double all = 0;
    for (std::size_t j = 0; j < counts.size(); ++j) all += exists[j] && counts[j] != -1;
    for (std::size_t j = 0; j < counts.size(); ++j)
        if (exists[j] && counts[j] != -1) p[j] += reach / all;
    return p;
}

TEST(Selection, EachEntryWinsWithTheChanceTheRuleGivesIt)
{
    struct Case
    {
        std::vector<int> counts;
        std::vector<bool> exists;
    };
    const std::vector<Case> cases{
        {{0, 1, 3, 6}, {true, true, true, true}},
        {{-1, 5, 5}, {true, true, true}},
        {{0, -1, 2, 7, 0, 4}, {false, true, true, true, false, true}},
        // Beyond the entry-by-entry draws: worked out from the whole list.
        {{1000, 2000, -1, 0}, {true, true, true, false}},
        {{3, 200, 200, 5000}, {true, true, true, true}},
    };
    TimeSeededRandom random(12345);
    for (const auto& c : cases) {
        SongList list;
        std::set<std::string> missing;
        for (std::size_t j = 0; j < c.counts.size(); ++j) {
            const std::string path = "/song" + std::to_string(j);
            list.add(makeEntry(c.counts[j], path));
            if (!c.exists[j]) missing.insert(path);
        }
        list.add("not a count|/song-x");
        const auto expected = ruleChances(c.counts, c.exists);
        std::vector<int> seen(c.counts.size() + 1, 0);
        const int calls = 20000;
        for (int call = 0; call < calls; ++call) {
            const auto sel = drawSong(list, -1, random, existsUnless(missing));
            ASSERT_EQ(sel.outcome, Selection::Outcome::Chosen);
            ++seen[sel.index];
        }
        EXPECT_EQ(seen.back(), 0);
        for (std::size_t j = 0; j < c.counts.size(); ++j) {
            const double share = double(seen[j]) / calls;
            const double sigma = std::sqrt(expected[j] * (1 - expected[j]) / calls);
            EXPECT_NEAR(share, expected[j], 5 * sigma + 1e-4)
                << "entry " << j << " of case with count " << c.counts[j];
        }
    }
}

// Counts near the integer limit: the entry with one play less is accepted alone at the
// 2147483647th existing-file draw (chance 1/2); after that both are, equally.
TEST(Selection, HugeCountsTakeBoundedTimeAndKeepTheirChances)
{
    SongList list;
    list.add("2147483647|/x");
    list.add("2147483646|/y");
    TimeSeededRandom random(99);
    int y = 0;
    const int calls = 20000;
    for (int call = 0; call < calls; ++call) {
        const auto sel = drawSong(list, -1, random, existsUnless({}));
        ASSERT_EQ(sel.outcome, Selection::Outcome::Chosen);
        y += sel.index == 1;
    }
    EXPECT_NEAR(double(y) / calls, 0.75, 5 * std::sqrt(0.75 * 0.25 / calls));
}
