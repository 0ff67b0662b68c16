#pragma once
// The longest pause of the event loop while it is watched: a timer (10 ms unless told) notes
// the time between its ticks, which stays near its interval as long as nothing blocks the loop.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace larkspur::test {

class TickGaps
{
  public:
    explicit TickGaps(int intervalMs = 10)
    {
        m_timer.setInterval(intervalMs);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { tick(); });
        m_clock.start();
        m_timer.start();
    }
    // Including the time since the last tick.
    qint64 longestMs()
    {
        tick();
        return m_longest;
    }

  private:
    void tick()
    {
        const qint64 now = m_clock.elapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace larkspur::test
