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
    ++m_translationGeneration;
    m_translationWord = wordToTranslate();
    try {
        requestTranslation(*this, *WebBrowser1, m_translationWord);
    } catch (const std::exception& e) {
        // No page can come (e.g. an unusable dictionary address); the local dictionaries can.
        const std::string why = e.what();
        localTranslation(m_translationWord, [this, why](const std::optional<std::string>& offline) {
            if (offline)
                showTranslationText(QString::fromStdString(*offline));
            else
                m_services.showError(why);
        });
    }
}

void TForm1::showTranslation()
{
    const PageTranslation page = readPageTranslation(*WebBrowser1);
    const auto show = [this, page](const std::optional<std::string>& offline) {
        try {
            const std::string text = translationFrom(page, offline);
            ShowTranslationFrame();
            memotrns->setPlainText(memoText(text).shown);
        } catch (const std::exception& e) {
            m_services.showError(e.what());
        }
    };
    if (!page.needsOffline) return show(std::nullopt);
    localTranslation(m_translationWord, show);
}

void TForm1::localTranslation(const std::string& word,
                              std::function<void(const std::optional<std::string>&)> then)
{
    const std::uint64_t generation = m_translationGeneration;
    // Files of any size and kind may lie in the dictionary folder: never read them here. A
    // newer lookup replaces this one.
    m_dictionaryLane.run(
        kRunAsideBytes,
        [word] {
            std::string problems;
            auto entries = offlineTranslation(word, &problems);
            return std::make_pair(std::move(entries), std::move(problems));
        },
        [this, generation, then = std::move(then)](auto done) {
            if (generation != m_translationGeneration) return;
            const auto& [entries, problems] = done.get();
            if (!problems.empty())
                showStatus(problems, StatusLine::Owner::Program, StatusLine::Level::Warning);
            then(entries);
        });
}

void TForm1::showTranslationText(const QString& text)
{
    ShowTranslationFrame();
    memotrns->setPlainText(memoText(text).shown);
}

} // namespace larkspur
