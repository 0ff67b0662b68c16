// The word translation: a word of the lyrics memo looked up in the online dictionary, its
// entries shown in the translation frame; the local dictd dictionaries stand in when the
// page fails.

#include "app/core/MemoText.h"
#include "app/TForm1.h"
#include "dictionary/Translation.h"
#include "dictionary/WordLookup.h"
#include "lyrics/LyricsFile.h"
#include "web/BrowserDocument.h"
#include "web/RunAside.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace larkspur {

std::string TForm1::wordToTranslate() const
{
    const QTextCursor cursor = memo1->textCursor();
    if (cursor.hasSelection()) {
        // Qt marks line breaks in a selection as paragraph separators; the memo's text has CR LF.
        QString selected = cursor.selectedText();
        selected.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
        return selected.toStdString();
    }
    const QString text = memo1->toPlainText();
    // The caret as a byte offset into the CR LF text in UTF-8.
    const std::string before = withCrLf(text.left(cursor.position()).toStdString());
    return wordAtCaret(withCrLf(text.toStdString()), before.size());
}

void TForm1::Translate1Click()
{
    const std::uint64_t generation = ++m_translationGeneration;
    m_translationWord = wordToTranslate();
    try {
        requestTranslation(*this, *WebBrowser1, m_translationWord);
    } catch (const std::exception& e) {
        // No page can come (e.g. an unusable dictionary address); the local dictionaries can.
        const std::string why = e.what();
        const auto offline = localTranslation(m_translationWord);
        if (generation != m_translationGeneration) return;
        if (offline)
            showTranslationText(QString::fromStdString(*offline));
        else
            m_services.showError(why);
    }
}

void TForm1::showTranslation()
{
    const std::uint64_t generation = m_translationGeneration;
    const std::string word = m_translationWord;
    ShowTranslationFrame();
    try {
        const std::string text = translationOf(
            *WebBrowser1, word, [this](const std::string& w) { return localTranslation(w); });
        if (generation != m_translationGeneration) return;
        memotrns->setPlainText(memoText(text).shown);
    } catch (const std::exception& e) {
        if (generation == m_translationGeneration) m_services.showError(e.what());
    }
}

std::optional<std::string> TForm1::localTranslation(const std::string& word)
{
    const std::uint64_t generation = m_translationGeneration;
    std::string problems;
    // Files of any size and kind may lie in the dictionary folder: never read them here.
    auto entries =
        runAside(kRunAsideBytes, [word, &problems] { return offlineTranslation(word, &problems); });
    if (!problems.empty() && generation == m_translationGeneration) showStatus(problems);
    return entries;
}

void TForm1::showTranslationText(const QString& text)
{
    ShowTranslationFrame();
    memotrns->setPlainText(memoText(text).shown);
}

} // namespace larkspur
