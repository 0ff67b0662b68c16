// The status line's one rule, step by step: each row says a message (or starts a song, or
// lets time pass) and what the line shows after it.

#include "app/core/StatusLine.h"

#include <gtest/gtest.h>

using namespace larkspur;
using Owner = StatusLine::Owner;
using Level = StatusLine::Level;

TEST(StatusLine, SongsProgramAndLevelsByOneRule)
{
    enum Step { Say, Start, Wait, Withdraw };
    struct Row
    {
        Step step;
        const char* text; // said or withdrawn; for Wait the seconds as text
        Owner owner;
        Level level;
        const char* shown;
    };
    // clang-format off
    const Row rows[] = {
        {Say, "Cannot read the lyrics file", Owner::Song, Level::Warning, "Cannot read the lyrics file"},
        {Say, "No lyrics found.", Owner::Song, Level::Routine, "Cannot read the lyrics file"}, // routine under a warning
        {Say, "The web search could not start", Owner::Song, Level::Warning, "The web search could not start"},
        {Start, "", Owner::Song, Level::Routine, ""}, // a song's words end with it
        {Say, "No lyrics found.", Owner::Song, Level::Routine, "No lyrics found."},
        {Withdraw, "No lyrics found.", Owner::Song, Level::Routine, ""},
        {Say, "Skipped \"Broken.mp3\"", Owner::NextSong, Level::Warning, "Skipped \"Broken.mp3\""},
        {Start, "", Owner::Song, Level::Routine, "Skipped \"Broken.mp3\""}, // lasts through the start
        {Say, "The lyrics database has no lyrics for this song.", Owner::Song, Level::Routine, "Skipped \"Broken.mp3\""},
        {Start, "", Owner::Song, Level::Routine, ""}, // but not through the next one
        {Say, "3 songs were already in the list.", Owner::Program, Level::Answer, "3 songs were already in the list."},
        {Say, "Skipped \"Two.mp3\"", Owner::NextSong, Level::Warning, "3 songs were already in the list."},
        {Start, "", Owner::Song, Level::Routine, "3 songs were already in the list."},
        {Say, "Timing needs the song playing.", Owner::Song, Level::Answer, "Timing needs the song playing."},
        {Wait, "31", Owner::Song, Level::Routine, "Timing needs the song playing."},
        {Say, "Saved the list.", Owner::Program, Level::Answer, "Saved the list."},
        {Wait, "31", Owner::Song, Level::Routine, "Timing needs the song playing."}, // the program's end
        {Say, "None of the 2 songs in the list can be played.", Owner::Song, Level::Error, "None of the 2 songs in the list can be played."},
        {Say, "Other news.", Owner::Program, Level::Answer, "Other news."},
        {Say, "Routine.", Owner::Song, Level::Routine, "Other news."},
    };
    // clang-format on
    StatusLine line;
    std::int64_t now = 1000;
    for (const Row& r : rows) {
        switch (r.step) {
        case Say:
            line.say(r.text, r.owner, r.level, ++now);
            break;
        case Start:
            line.songStarted();
            break;
        case Wait:
            now += std::stoll(r.text) * 1000;
            break;
        case Withdraw:
            line.withdraw(r.text);
            break;
        }
        EXPECT_EQ(line.shown(now), r.shown) << r.step << " " << r.text;
    }
    // What was replaced stays readable, the newest last.
    ASSERT_EQ(line.history().size(), StatusLine::kHistory);
    EXPECT_EQ(line.history().back().text, "Routine.");
    EXPECT_EQ(line.history().front().text, "Timing needs the song playing.");
}
