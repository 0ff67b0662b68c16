#include "app/FindReplaceDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace larkspur {

FindReplaceDialog::FindReplaceDialog(Kind kind, QWidget* parent) : QDialog(parent)
{
    const bool replacing = kind == Kind::Replace;
    setObjectName(replacing ? QStringLiteral("rdlg") : QStringLiteral("fdlg"));
    setWindowTitle(replacing ? QStringLiteral("Replace") : QStringLiteral("Find"));
    setModal(false);

    auto* fields = new QFormLayout;
    findEdit = new QLineEdit(this);
    fields->addRow(QStringLiteral("Fi&nd what:"), findEdit);
    if (replacing) {
        replaceEdit = new QLineEdit(this);
        fields->addRow(QStringLiteral("Re&place with:"), replaceEdit);
    }
    wholeWordBox = new QCheckBox(QStringLiteral("Match &whole word only"), this);
    matchCaseBox = new QCheckBox(QStringLiteral("Match &case"), this);
    auto* direction = new QGroupBox(QStringLiteral("Direction"), this);
    upButton = new QRadioButton(QStringLiteral("&Up"), direction);
    downButton = new QRadioButton(QStringLiteral("&Down"), direction);
    downButton->setChecked(true);
    auto* directionRow = new QHBoxLayout(direction);
    directionRow->addWidget(upButton);
    directionRow->addWidget(downButton);

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    auto* optionsRow = new QHBoxLayout;
    auto* boxes = new QVBoxLayout;
    boxes->addWidget(wholeWordBox);
    boxes->addWidget(matchCaseBox);
    optionsRow->addLayout(boxes);
    optionsRow->addWidget(direction);
    left->addLayout(optionsRow);

    auto* buttons = new QVBoxLayout;
    findNextButton = new QPushButton(QStringLiteral("&Find Next"), this);
    findNextButton->setDefault(true);
    buttons->addWidget(findNextButton);
    if (replacing) {
        replaceButton = new QPushButton(QStringLiteral("&Replace"), this);
        replaceAllButton = new QPushButton(QStringLiteral("Replace &All"), this);
        buttons->addWidget(replaceButton);
        buttons->addWidget(replaceAllButton);
        connect(replaceButton, &QPushButton::clicked, this, [this] {
            m_action = Action::Replace;
            emit replace();
        });
        connect(replaceAllButton, &QPushButton::clicked, this, [this] {
            m_action = Action::ReplaceAll;
            emit replace();
        });
    }
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    connect(findNextButton, &QPushButton::clicked, this, [this] {
        m_action = Action::FindNext;
        emit find();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(buttons);
}

FindOptions FindReplaceDialog::options() const
{
    return {downButton->isChecked(), matchCaseBox->isChecked(), wholeWordBox->isChecked()};
}

QString FindReplaceDialog::findText() const
{
    return findEdit->text();
}

QString FindReplaceDialog::replaceText() const
{
    return replaceEdit ? replaceEdit->text() : QString();
}

} // namespace larkspur
