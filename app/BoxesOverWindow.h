#pragma once
// Message boxes stand over the window they tell about: a child of it, centred on it and
// raised above it. A box asked for before the window first appears (at the start, while the
// first song starts) waits until it does: else the window, mapped after the box, would cover
// it, and the box would be centred on a window that has no place yet (the screen's corner).
// Interface thread only.

#include <QObject>
#include <QPointer>
#include <vector>

class QDialog;
class QWidget;

namespace larkspur {

class BoxesOverWindow : public QObject
{
    Q_OBJECT

  public:
    // Made before the window's first show; owned by the window.
    explicit BoxesOverWindow(QWidget* window);

    // The one of a top-level window of the program, or null: boxes of errors that left a
    // handler find their window so.
    static BoxesOverWindow* ofProgram();

    // Shows `box` (made with or without a parent; it becomes a child of the window) now, or
    // once the window has first appeared. Its modality is kept.
    void show(QDialog* box);
    // The window has appeared on the screen once.
    bool windowShown() const { return m_shown; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showWaiting();

    QWidget* m_window;
    bool m_shown = false;
    std::vector<QPointer<QDialog>> m_waiting;
};

} // namespace larkspur
