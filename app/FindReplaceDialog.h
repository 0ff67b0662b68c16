#pragma once
// The modeless find dialog, and with a replace field the replace dialog: the find text,
// up/down, match case, whole word, and the buttons that raise find() and replace().

#include "lyrics/FindReplace.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace larkspur {

class FindReplaceDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Kind { Find, Replace };
    // Which button raised replace(): the flags the replace handler reads.
    enum class Action { FindNext, Replace, ReplaceAll };

    FindReplaceDialog(Kind kind, QWidget* parent);

    FindOptions options() const;
    QString findText() const;
    QString replaceText() const;
    Action action() const { return m_action; }

    QLineEdit* findEdit = nullptr;
    QLineEdit* replaceEdit = nullptr; // replace dialog only
    QRadioButton* upButton = nullptr;
    QRadioButton* downButton = nullptr;
    QCheckBox* matchCaseBox = nullptr;
    QCheckBox* wholeWordBox = nullptr;
    QPushButton* findNextButton = nullptr;
    QPushButton* replaceButton = nullptr;    // replace dialog only
    QPushButton* replaceAllButton = nullptr; // replace dialog only
    QPushButton* cancelButton = nullptr;

signals:
    void find();
    void replace();

private:
    Action m_action = Action::FindNext;
};

} // namespace larkspur
