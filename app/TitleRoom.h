#pragma once
// Room for a dialog's whole title: window managers cut a title to the dialog's width, and
// the notices here carry their news in the title ("No. of replacements: 3").

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QString>
#include <QWidget>

namespace larkspur {

// The width a dialog needs to show `title` whole beside the frame's buttons.
inline int titleRoom(const QWidget& dialog, const QString& title)
{
    constexpr int kFrameButtons = 140; // close, maximise, icon and the frame's margins
    return QFontMetrics(dialog.font()).horizontalAdvance(title) + kFrameButtons;
}

// A message box sizes itself to its text alone; a spacer across its grid widens it.
inline void widenForTitle(QMessageBox& box)
{
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(titleRoom(box, box.windowTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace larkspur
