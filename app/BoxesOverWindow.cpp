#include "app/BoxesOverWindow.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWindow>

namespace larkspur {

BoxesOverWindow::BoxesOverWindow(QWidget* window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

BoxesOverWindow* BoxesOverWindow::ofProgram()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* boxes = w->findChild<BoxesOverWindow*>(QString(), Qt::FindDirectChildrenOnly))
            return boxes;
    return nullptr;
}

void BoxesOverWindow::show(QDialog* box)
{
    // A parent makes the box the window's transient: the window manager keeps it above.
    if (box->parentWidget() != m_window) box->setParent(m_window, box->windowFlags());
    if (!m_shown) {
        m_waiting.emplace_back(box);
        return;
    }
    box->show(); // the dialog centres itself on its parent
    box->raise();
    box->activateWindow();
}

bool BoxesOverWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The widget's show comes before its window is mapped, and the window manager places it
    // only then: the first expose is when the window has its place.
    if (watched == m_window && event->type() == QEvent::Show && m_window->windowHandle())
        m_window->windowHandle()->installEventFilter(this);
    if (watched == m_window->windowHandle() && event->type() == QEvent::Expose &&
        m_window->windowHandle()->isExposed()) {
        m_window->windowHandle()->removeEventFilter(this);
        m_window->removeEventFilter(this);
        QTimer::singleShot(0, this, &BoxesOverWindow::showWaiting);
    }
    return QObject::eventFilter(watched, event);
}

void BoxesOverWindow::showWaiting()
{
    m_shown = true;
    for (const QPointer<QDialog>& box : std::exchange(m_waiting, {}))
        if (box) show(box);
}

} // namespace larkspur
