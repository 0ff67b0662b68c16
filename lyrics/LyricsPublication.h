#pragma once
// One publication of timed lyrics to the open lyrics database, on a thread of its own: the
// challenge is asked for, read (within kChallengeAnswerMaxBytes) and parsed there, solved
// (within a time limit) and the lyrics sent. Nothing of it runs on the caller's thread, so a
// slow, huge or unsolvable challenge never stalls the window. The user has confirmed what
// goes before it starts.

#include "lyrics/LyricsDatabase.h"
#include "lyrics/LyricsPublish.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace larkspur {

enum class PublishStage { Asking, Solving, Sending };

struct PublishEnd
{
    enum class Kind { Published, Refused, Failed, Cancelled };
    Kind kind = Kind::Failed;
    std::string text; // one line for the status line
};

struct PublishSetup
{
    std::string host = lyricsDatabaseHost();
    std::chrono::milliseconds solveLimit = kChallengeSolveLimit;
    // On the publication's thread: each stage as it begins, then the end, once. Optional.
    std::function<void(PublishStage)> stage;
    std::function<void(const PublishEnd&)> ended;
};

class LyricsPublication
{
  public:
    LyricsPublication(PublishSong song, PublishSetup setup);
    // Cancels and waits up to a second for the thread; one still busy then is left to end on
    // its own (its callbacks are still called).
    ~LyricsPublication();
    LyricsPublication(const LyricsPublication&) = delete;
    LyricsPublication& operator=(const LyricsPublication&) = delete;

    // Starts the thread; once only. Needs a QCoreApplication.
    void start();
    // From any thread, at any stage: the request under way ends, the solving stops at its next
    // hash; `ended` then says it was cancelled.
    void cancel();

    struct State;

  private:
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace larkspur
