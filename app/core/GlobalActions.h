#pragma once
// The actions that reach the program from outside its window (global hotkeys, the desktop's
// shortcuts portal, MPRIS) run from the event loop, one at a time and never inside another
// handler: they run at the loop's next turn, or, while a handler waits nested (a fetch) or
// another global action runs, once that ends. Requests of one kind that arrive together
// merge, so a flood costs one run: the newest of its kind wins, a switch keeps whether it
// flips, and steps (volume) add up to a bound. Interface thread only.

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace larkspur {

class GlobalActions : public QObject
{
    Q_OBJECT

  public:
    enum class Merge {
        Newest, // the newest request of its kind runs once
        Switch, // two requests undo each other
        Steps,  // each request runs, up to kMaxSteps of them
    };
    static constexpr int kMaxSteps = 10;

    explicit GlobalActions(QObject* parent = nullptr);

    // Runs action at the loop's next turn, or once a wait ends. Requests of the same kind
    // merge while held.
    void post(const std::string& kind, Merge merge, std::function<void()> action);
    // Held requests, merged.
    std::size_t held() const { return m_held.size(); }
    // The most global actions that ran inside one another (1 when none ever nested).
    int deepest() const { return m_deepest; }

  private:
    struct Held
    {
        std::string kind;
        Merge merge;
        int count;
        std::function<void()> action;
    };
    bool mayRun() const;
    void runHeld();
    void runOne(const std::function<void()>& action);

    std::vector<Held> m_held; // in order of their first request
    QTimer m_retry;
    bool m_queued = false; // runHeld is posted
    int m_running = 0;
    int m_deepest = 0;
};

} // namespace larkspur
