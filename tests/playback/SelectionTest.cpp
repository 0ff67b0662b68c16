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

TEST(Selection, GiveUpRule)
{
    auto one = listOf({"0|/gone"});
    ScriptedRandom r1{0};
    EXPECT_EQ(drawSong(one, -1, r1, existsUnless({"/gone"})).outcome,
              Selection::Outcome::GaveUp);

    // Missing files never count as found and are never accepted.
    auto two = listOf({"0|/gone", "1|/here"});
    ScriptedRandom r2{0, 1, 1};
    auto sel = drawSong(two, -1, r2, existsUnless({"/gone"}));
    ASSERT_EQ(sel.outcome, Selection::Outcome::Chosen);
    EXPECT_EQ(sel.index, 1u);
    EXPECT_EQ(sel.draws, 3);

    // Banned and malformed random draws bring the end nearer too.
    auto banned = listOf({"-1|/a", "-1|/b", "oops|/c"});
    ScriptedRandom r3{0, 2, 1};
    sel = drawSong(banned, -1, r3, existsUnless({}));
    EXPECT_EQ(sel.outcome, Selection::Outcome::GaveUp);
    EXPECT_EQ(r3.left(), 0u);

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

// The chance that a call picks entry j: at the k-th existing-file draw (k = 1, 2, ...) every
// entry with count < k is accepted when drawn, so
// P(j) = sum over k >= c_j + 1 of P(no acceptance before draw k) / n.
TEST(Selection, LessPlayedSongsWinInTheProportionTheRuleImplies)
{
    const std::vector<int> counts{0, 1, 3, 6};
    SongList list;
    for (std::size_t j = 0; j < counts.size(); ++j)
        list.add(makeEntry(counts[j], "/song" + std::to_string(j)));
    const double n = static_cast<double>(counts.size());
    std::vector<double> expected(counts.size(), 0.0);
    double reach = 1.0;
    for (int k = 1; k < 200; ++k) {
        double acceptable = 0;
        for (std::size_t j = 0; j < counts.size(); ++j)
            if (counts[j] < k) {
                expected[j] += reach / n;
                acceptable += 1;
            }
        reach *= 1.0 - acceptable / n;
    }

    TimeSeededRandom random(12345);
    std::vector<int> seen(counts.size(), 0);
    const int calls = 40000;
    for (int c = 0; c < calls; ++c) {
        const auto sel = drawSong(list, -1, random, existsUnless({}));
        ASSERT_EQ(sel.outcome, Selection::Outcome::Chosen);
        ++seen[sel.index];
    }
    for (std::size_t j = 0; j < counts.size(); ++j) {
        const double share = double(seen[j]) / calls;
        const double sigma = std::sqrt(expected[j] * (1 - expected[j]) / calls);
        EXPECT_NEAR(share, expected[j], 5 * sigma + 1e-4) << "entry " << j;
    }
    EXPECT_GT(seen[0], seen[1]);
    EXPECT_GT(seen[1], seen[2]);
    EXPECT_GT(seen[2], seen[3]);
}
