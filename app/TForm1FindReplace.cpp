// Find and replace in the lyrics memo: the two modeless dialogs and their handlers. The
// searching itself is in lyrics/FindReplace; here its CR LF positions meet the editor's.

#include "app/FindReplaceDialog.h"
#include "app/TForm1.h"
#include "app/TitleRoom.h"
#include "lyrics/FindReplace.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace larkspur {

namespace {

const QString kNoResultsTitle = QStringLiteral("No further results.");
const QString kNothingFound = QStringLiteral("Nothing found");

QString memoRawText(const QPlainTextEdit* memo)
{
    return memo->document()->toRawText();
}

// The selection as the find field shows it: line breaks as "^p", so it finds itself.
QString selectionAsFindText(const QPlainTextEdit* memo)
{
    QString text = memo->textCursor().selectedText();
    QString out;
    for (QChar c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == u'\n')
            out += QStringLiteral("^p");
        else
            out += c;
    }
    return out;
}

void openDialog(QDialog* dialog)
{
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

void TForm1::Find1Click()
{
    if (!fdlg) {
        fdlg = new FindReplaceDialog(FindReplaceDialog::Kind::Find, this);
        connect(fdlg, &FindReplaceDialog::find, this, &TForm1::fdlgFind);
    }
    fdlgShow();
    openDialog(fdlg);
}

void TForm1::Replace1Click()
{
    if (!rdlg) {
        rdlg = new FindReplaceDialog(FindReplaceDialog::Kind::Replace, this);
        connect(rdlg, &FindReplaceDialog::find, this, &TForm1::rdlgFind);
        connect(rdlg, &FindReplaceDialog::replace, this, &TForm1::rdlgReplace);
    }
    rdlgShow();
    openDialog(rdlg);
}

void TForm1::fdlgShow()
{
    fdlg->findEdit->setText(selectionAsFindText(memo1));
}

void TForm1::rdlgShow()
{
    rdlg->findEdit->setText(selectionAsFindText(memo1));
}

void TForm1::fdlgFind()
{
    findInMemo(*fdlg);
}

void TForm1::rdlgFind()
{
    HitFound = findInMemo(*rdlg);
}

void TForm1::FindNextForReplace()
{
    HitFound = findInMemo(*rdlg);
    if (HitFound) ++ReplaceCount;
}

void TForm1::rdlgReplace()
{
    // A shortened text is read-only: its saves take the text as it came, not the memo's.
    if (memo1->isReadOnly() && rdlg->action() != FindReplaceDialog::Action::FindNext) {
        findReplaceNotice(rdlg, QStringLiteral("Nothing replaced"),
                          QStringLiteral("The lyrics are too long to edit here."));
        return;
    }
    switch (rdlg->action()) {
    case FindReplaceDialog::Action::Replace:
        replaceInMemo();
        break;
    case FindReplaceDialog::Action::ReplaceAll:
        replaceAllInMemo();
        break;
    case FindReplaceDialog::Action::FindNext:
        FindNextForReplace();
        break;
    }
}

bool TForm1::findInMemo(FindReplaceDialog& dialog)
{
    const CrLfText searched(memoRawText(memo1));
    const FindOptions options = dialog.options();
    const QString find = PrepareFindText(dialog.findText(), options.matchCase);
    QTextCursor cursor = memo1->textCursor();
    const qsizetype selStart = searched.fromEditor(cursor.selectionStart());
    const qsizetype selEnd = searched.fromEditor(cursor.selectionEnd());
    const qsizetype hit = FindNext(searched.text(), find, selStart, selEnd - selStart, options);
    if (hit < 0) {
        findReplaceNotice(&dialog, kNoResultsTitle, kNothingFound);
        return false;
    }
    m_hitStart = hit;
    m_hitLength = find.size();
    // A hit that ends on a CR alone takes the whole line break in the editor.
    cursor.setPosition(int(searched.toEditorStart(hit)));
    cursor.setPosition(int(searched.toEditorEnd(hit + find.size())), QTextCursor::KeepAnchor);
    memo1->setTextCursor(cursor);
    memo1->ensureCursorVisible();
    return true;
}

void TForm1::replaceInMemo()
{
    const CrLfText text(memoRawText(memo1));
    QTextCursor cursor = memo1->textCursor();
    const qsizetype selStart = text.fromEditor(cursor.selectionStart());
    const qsizetype selEnd = text.fromEditor(cursor.selectionEnd());
    // The selected occurrence itself is the next to be found. Escape codes are expanded,
    // so a hit of "^p" is not skipped; a-z compare without case whatever Match case says.
    if (MatchesFindText(QStringView(text.text()).mid(selStart, selEnd - selStart),
                        PrepareFindText(rdlg->findText(), false), false)) {
        cursor.setPosition(cursor.selectionStart());
        memo1->setTextCursor(cursor);
    }
    FindNextForReplace();
    if (!HitFound) return;

    const QString replacement = ExpandEscapeCodes(rdlg->replaceText(), false);
    // Widened to whole line breaks, since the editor holds each as one character; the part
    // of a break outside the hit is put back.
    const qsizetype hitEnd = m_hitStart + m_hitLength;
    const qsizetype from = text.insideBreak(m_hitStart) ? m_hitStart - 1 : m_hitStart;
    const qsizetype to = text.insideBreak(hitEnd) ? hitEnd + 1 : hitEnd;
    const QString before =
        CrLfText::toEditorText(QStringView(text.text()).mid(from, m_hitStart - from));
    const QString after = CrLfText::toEditorText(QStringView(text.text()).mid(hitEnd, to - hitEnd));
    QTextCursor edit(memo1->document());
    edit.setPosition(int(text.toEditorStart(from)));
    edit.setPosition(int(text.toEditorEnd(to)), QTextCursor::KeepAnchor);
    const int start = edit.selectionStart() + int(before.size());
    edit.insertText(before + CrLfText::toEditorText(replacement) + after);
    const int end = std::max(start, edit.position() - int(after.size()));
    edit.setPosition(start);
    edit.setPosition(end, QTextCursor::KeepAnchor);
    memo1->setTextCursor(edit);
    memo1->ensureCursorVisible();
}

void TForm1::replaceAllInMemo()
{
    QTextCursor cursor = memo1->textCursor();
    const int caret = cursor.selectionStart();
    int start = cursor.selectionStart(), end = cursor.selectionEnd();
    if (!cursor.hasSelection()) {
        start = 0;
        end = memo1->document()->characterCount() - 1;
    }
    const QString raw = memoRawText(memo1);
    const CrLfText searched(QStringView(raw).mid(start, end - start));
    const FindOptions options = rdlg->options();
    const QString replacement = ExpandEscapeCodes(rdlg->replaceText(), true);
    const QString find = PrepareFindText(rdlg->findText(), options.matchCase);
    ReplaceCount = 0;
    HitFound = false;
    const ReplaceAllResult result = ReplaceAll(searched.text(), find, replacement, options);
    if (result.count == 0) {
        findReplaceNotice(rdlg, kNoResultsTitle, kNothingFound);
        return;
    }
    ReplaceCount = int(result.count);
    HitFound = true;
    QTextCursor edit(memo1->document());
    edit.setPosition(start);
    edit.setPosition(end, QTextCursor::KeepAnchor);
    edit.insertText(CrLfText::toEditorText(result.text));
    edit.setPosition(std::min(caret, memo1->document()->characterCount() - 1));
    memo1->setTextCursor(edit);
    findReplaceNotice(rdlg, QStringLiteral("No. of replacements: %1").arg(ReplaceCount),
                      QStringLiteral("Replace complete"));
}

void TForm1::findReplaceNotice(QWidget* over, const QString& title, const QString& text)
{
    if (m_services.showNotice) {
        m_services.showNotice(title.toStdString(), text.toStdString());
        return;
    }
    // Over the dialog and modal to it only, so the music and the window go on.
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, over);
    box->setAttribute(Qt::WA_DeleteOnClose);
    widenForTitle(*box);
    box->open();
}

} // namespace larkspur
