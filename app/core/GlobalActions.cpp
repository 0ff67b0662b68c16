#include "app/core/GlobalActions.h"

#include "web/NestedWait.h"

#include <algorithm>

namespace larkspur {

namespace {
// How often held requests look whether the wait ended: a wait ends inside a handler, whose
// end this cannot see.
constexpr int kRetryMs = 20;
} // namespace

GlobalActions::GlobalActions(QObject* parent) : QObject(parent)
{
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &GlobalActions::runHeld);
}

bool GlobalActions::mayRun() const
{
    return m_running == 0 && nestedWaitDepth() == 0;
}

void GlobalActions::post(const std::string& kind, Merge merge, std::function<void()> action)
{
    const auto same = std::ranges::find(m_held, kind, &Held::kind);
    if (same == m_held.end()) {
        m_held.push_back({kind, merge, 1, std::move(action)});
    } else {
        same->action = std::move(action);
        same->count =
            merge == Merge::Steps ? std::min(same->count + 1, kMaxSteps) : same->count + 1;
        if (merge == Merge::Switch && same->count % 2 == 0) m_held.erase(same);
    }
    // Run from the loop, after the requests that arrived with this one: a burst merges.
    if (!m_queued) {
        m_queued = true;
        QMetaObject::invokeMethod(this, &GlobalActions::runHeld, Qt::QueuedConnection);
    }
}

void GlobalActions::runHeld()
{
    m_queued = false;
    // Kept running until all ran: an action that throws leaves the rest for the next tick.
    if (!m_held.empty() && !m_retry.isActive()) m_retry.start();
    while (mayRun() && !m_held.empty()) {
        Held next = std::move(m_held.front());
        m_held.erase(m_held.begin());
        const int times = next.merge == Merge::Steps ? next.count : 1;
        for (int i = 0; i < times && mayRun(); ++i)
            runOne(next.action);
    }
    if (m_held.empty()) m_retry.stop();
}

void GlobalActions::runOne(const std::function<void()>& action)
{
    ++m_running;
    m_deepest = std::max(m_deepest, m_running);
    struct Leave
    {
        int& running;
        ~Leave() { --running; }
    } leave{m_running};
    action();
}

} // namespace larkspur
