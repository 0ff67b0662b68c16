// Commands of the lyrics side: the lookup at each song start, the web search and its
// harvest, saving, and the commands of the dictionary still to come.

#include "app/TForm1.h"
#include "lyrics/LyricsFile.h"
#include "lyrics/LyricsSearch.h"
#include "lyrics/SongWords.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"

#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace larkspur {

void TForm1::buildLyrics()
{
    m_http = std::make_unique<HttpClient>();
    WebBrowser1 = new BrowserDocument(this);
    LyricsView view;
    view.setText = [this](const std::string& text) { setLyricsText(text); };
    view.setBusy = [this](bool busy) { lbusy2->setText(busy ? QStringLiteral("busy") : QString()); };
    view.searchEnabled = [this] { return srchen->isChecked(); };
    view.checkSearch = [this] { srchen->setChecked(true); };
    view.dictionaryPage = [this] { showTranslation(); };
    m_lyrics = new LyricsSearch(*this, *m_http, *WebBrowser1, std::move(view), this);
    createCatalogueSearch();
    if (!m_services.askSaveFile)
        m_services.askSaveFile = [this] {
            QFileDialog sd(this);
            sd.setAcceptMode(QFileDialog::AcceptSave);
            sd.setNameFilter(QStringLiteral("Textfiles (*.txt);;All files (*)"));
            sd.setDefaultSuffix(QStringLiteral("txt"));
            sd.setOption(QFileDialog::DontConfirmOverwrite);
            if (sd.exec() != QDialog::Accepted || sd.selectedFiles().isEmpty()) return std::string();
            return sd.selectedFiles().first().toStdString();
        };
    if (!m_services.askText)
        m_services.askText = [this](const std::string& proposal, std::string& text) {
            bool ok = false;
            const QString typed = QInputDialog::getText(
                this, QStringLiteral("GOOGLE Search"), QStringLiteral("Enter text to search for:"),
                QLineEdit::Normal, QString::fromStdString(proposal), &ok);
            if (ok) text = typed.toStdString();
            return ok;
        };
}

void TForm1::setLyricsText(const std::string& text)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    memo1->setPlainText(shown);
}

std::string TForm1::lyricsText() const { return withCrLf(memo1->toPlainText().toStdString()); }

void TForm1::LookupLyrics(const std::string& name) { m_lyrics->LookupLyrics(name, CurrentSong); }

void TForm1::srchenClick() { m_lyrics->srchenClick(CurrentSong); }

void TForm1::nlyricClick() { m_lyrics->nlyricClick(); }

void TForm1::lbusyClick() { m_lyrics->lbusyClick(); }

void TForm1::Customsearch1Click()
{
    std::string typed;
    if (!m_services.askText(Preamble + " " + SearchTerm + " " + Appendix, typed)) return;
    m_lyrics->customSearch(typed);
}

void TForm1::Quicksave1Click()
{
    if (CurrentSong.empty()) return; // no song, no lyrics file to name
    saveLyricsTo(lyricsFileFor(CurrentSong));
}

void TForm1::Speichern1Click()
{
    const std::string name = m_services.askSaveFile();
    if (!name.empty()) saveLyricsTo(name);
}

void TForm1::saveLyricsTo(const std::string& path)
{
    try {
        writeLyricsFile(path, lyricsText());
    } catch (const LyricsFileError& e) {
        m_services.showError(e.what());
    }
}


} // namespace larkspur
