#include "lyrics/LyricsPublication.h"

#include "web/HttpClient.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace larkspur {

namespace {

// How often a waiting request looks whether it was cancelled.
constexpr int kCancelCheckMs = 20;
constexpr auto kLeaveBehindAfter = std::chrono::seconds(1);

FetchLimits publishLimits()
{
    FetchLimits limits = HttpClient::defaultLimits();
    limits.total = std::chrono::seconds(60);
    limits.bodyBytes = kChallengeAnswerMaxBytes;
    return limits;
}

} // namespace

struct LyricsPublication::State
{
    PublishSong song;
    PublishSetup setup;
    std::atomic<bool> cancel = false;
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;

    void run();
    PublishEnd publishOnce(HttpClient& http);
    void stage(PublishStage s) const
    {
        if (setup.stage) setup.stage(s);
    }
};

void LyricsPublication::State::run()
{
    PublishEnd end;
    {
        // The client's timers and sockets need this thread's own event dispatcher.
        QEventLoop loop;
        HttpClient http(publishLimits());
        // A cancel ends the waiting request rather than waiting for its answer.
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &check, [this, &http] {
            if (cancel) http.Disconnect();
        });
        check.start(kCancelCheckMs);
        end = publishOnce(http);
    }
    if (setup.ended) setup.ended(end);
    std::lock_guard lock(mutex);
    done = true;
    doneChanged.notify_all();
}

PublishEnd LyricsPublication::State::publishOnce(HttpClient& http)
{
    using Kind = PublishEnd::Kind;
    const PublishEnd cancelled{Kind::Cancelled, "Publishing cancelled; nothing was sent."};
    stage(PublishStage::Asking);
    std::string answer;
    try {
        answer = requestChallenge(http, setup.host);
    } catch (const HttpError& e) {
        if (cancel) return cancelled;
        return {Kind::Failed, std::string("The lyrics database could not be asked: ") + e.what()};
    }
    if (cancel) return cancelled;
    std::string why;
    const auto challenge = parseChallenge(answer, &why);
    if (!challenge) return {Kind::Failed, "The lyrics database's challenge was refused: " + why};

    stage(PublishStage::Solving);
    const auto nonce = solveChallenge(*challenge, cancel, setup.solveLimit);
    if (cancel) return cancelled;
    if (!nonce)
        return {Kind::Failed, "The lyrics database's challenge was not solved within " +
                                  limitText(setup.solveLimit) + "; nothing was sent."};

    stage(PublishStage::Sending);
    try {
        const std::string refused = publish(http, setup.host, song, *challenge, *nonce);
        if (!refused.empty())
            return {Kind::Refused, "The lyrics database refused the lyrics: " + refused};
        return {Kind::Published, "The lyrics database took the timed lyrics of \"" + song.artist +
                                     " - " + song.title + "\"."};
    } catch (const HttpError& e) {
        if (cancel)
            return {Kind::Cancelled, "Publishing cancelled while the lyrics were sent; the "
                                     "database may have taken them."};
        return {Kind::Failed, std::string("The lyrics database could not be reached: ") + e.what()};
    }
}

LyricsPublication::LyricsPublication(PublishSong song, PublishSetup setup)
    : m_state(std::make_shared<State>())
{
    m_state->song = std::move(song);
    m_state->setup = std::move(setup);
}

LyricsPublication::~LyricsPublication()
{
    cancel();
    if (!m_thread.joinable()) return;
    std::unique_lock lock(m_state->mutex);
    if (m_state->doneChanged.wait_for(lock, kLeaveBehindAfter, [this] { return m_state->done; })) {
        lock.unlock();
        m_thread.join();
    } else {
        m_thread.detach(); // it holds its own share of the state
    }
}

void LyricsPublication::start()
{
    if (!m_thread.joinable()) m_thread = std::thread([state = m_state] { state->run(); });
}

void LyricsPublication::cancel()
{
    m_state->cancel = true;
}

} // namespace larkspur
