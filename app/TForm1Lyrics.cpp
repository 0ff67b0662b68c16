// Commands of the lyrics side: the lookup at each song start, the web search and its
// harvest, the lyrics database, timed lyrics, saving, and the commands of the dictionary
// still to come.

#include "app/core/MemoText.h"
#include "app/TForm1.h"
#include "app/TitleRoom.h"
#include "app/core/StartupPath.h"
#include "lyrics/EmbeddedLyrics.h"
#include "lyrics/LyricsFile.h"
#include "lyrics/LyricsFileNames.h"
#include "lyrics/LyricsSearch.h"
#include "lyrics/LyricsStore.h"
#include "lyrics/SongWords.h"
#include "lyrics/SourceLimits.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"

#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <limits>

namespace larkspur {

static_assert(kLyricsFileMaxBytes >= 3 * static_cast<std::size_t>(kMemoMaxChars),
              "a lyrics file is read at least as far as the memo shows");

namespace {

constexpr long long kSyncedRecheckMs = 500;
constexpr long long kLyricsShiftStepMs = 100;
constexpr int kDatabaseBusyDelayMs = 300;

} // namespace

void TForm1::buildLyrics()
{
    m_http = std::make_unique<HttpClient>();
    WebBrowser1 = new BrowserDocument(this);
    LyricsView view;
    view.setText = [this](const std::string& text) { setLyricsText(text); };
    view.setCutText = [this](const std::string& text) { setLyricsText(text, false); };
    view.setBusy = [this](bool busy) {
        m_harvestBusy = busy;
        showBusy();
    };
    view.setDatabaseBusy = [this](bool busy) {
        m_databaseBusy = busy;
        // Only a wait worth mentioning: a quick answer (or refusal) would just make the
        // bottom bar jump at every song start.
        if (busy)
            QTimer::singleShot(kDatabaseBusyDelayMs, this, [this] { showBusy(); });
        else
            showBusy();
    };
    view.setSynced = [this](const std::string& lrc) { setSyncedLyrics(lrc); };
    view.databaseEnabled = [this] { return Usedatabase1->isChecked(); };
    view.songLengthMs = [this] { return mp().lengthMs(); };
    view.searchEnabled = [this] { return srchen->isChecked(); };
    view.checkSearch = [this] { srchen->setChecked(true); };
    view.dictionaryPage = [this] { showTranslation(); };
    view.problem = [this](const std::string& why) {
        showStatus(why, StatusLine::Owner::Song, StatusLine::Level::Warning);
    };
    // A lookup that ended without lyrics says why; one that found them takes back the
    // word of an earlier miss, which would now tell of another song.
    view.ended = [this](bool found, const std::string& why) {
        if (!found)
            showLyricsStatus(why.empty() ? "No lyrics found." : why);
        else
            forgetLyricsStatus();
    };
    view.databaseMissed = [this](const std::string& why) { showLyricsStatus(why); };
    view.failed = [this](const std::string& why) { m_services.showError(why); };
    view.setPlaceholder = [this](const std::string& text) {
        setLyricsText(text);
        m_placeholder = text;
        memo1->document()->setModified(false);
    };
    view.placeholderShown = [this] { return placeholderShown(); };
    view.songNamed = [this] { emit playerChanged({QStringLiteral("Metadata")}); };
    m_lyrics = new LyricsSearch(*this, *m_http, *WebBrowser1, std::move(view), this);
    createCatalogueSearch();
    if (!m_services.askSaveFile)
        m_services.askSaveFile = [this](const SaveProposal& proposal) {
            QFileDialog sd(this);
            sd.setAcceptMode(QFileDialog::AcceptSave);
            QStringList filters;
            for (const std::string& f : proposal.filters) filters << QString::fromStdString(f);
            sd.setNameFilters(filters);
            sd.setDefaultSuffix(QString::fromStdString(proposal.suffix));
            sd.setDirectory(QString::fromLocal8Bit(proposal.folder));
            sd.selectFile(QString::fromLocal8Bit(proposal.name));
            sd.setOption(QFileDialog::DontConfirmOverwrite);
            if (sd.exec() != QDialog::Accepted || sd.selectedFiles().isEmpty()) return std::string();
            return sd.selectedFiles().first().toStdString();
        };
    if (!m_services.askText)
        m_services.askText = [this](const std::string& proposal, std::string& text) {
            QInputDialog ask(this);
            ask.setWindowTitle(QStringLiteral("GOOGLE Search"));
            ask.setLabelText(QStringLiteral("Enter text to search for:"));
            ask.setTextValue(QString::fromStdString(proposal));
            // Wide enough for the title and the whole proposal, within the screen.
            const int field = QFontMetrics(ask.font()).horizontalAdvance(ask.textValue()) + 60;
            ask.resize(std::min(std::max({titleRoom(ask, ask.windowTitle()), field, 300}), 900),
                       ask.sizeHint().height());
            if (ask.exec() != QDialog::Accepted) return false;
            text = ask.textValue().toStdString();
            return true;
        };
}

void TForm1::showBusy()
{
    // The harvest's own word stays as it was; the database says whose wait it is.
    const QString word = m_harvestBusy    ? QStringLiteral("busy")
                         : m_databaseBusy ? QStringLiteral("busy (database)")
                                          : QString();
    // The word takes the tempo's room while it shows; the times are never clipped for it.
    lbpm->setVisible(word.isEmpty());
    Label6->setVisible(word.isEmpty());
    lbusy2->setToolTip(word);
    int used = 0, shown = 0;
    for (QWidget* w : Panelbottom->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != lbusy2 && w->isVisibleTo(Panelbottom)) {
            used += std::max(w->sizeHint().width(), w->minimumWidth());
            ++shown;
        }
    const QMargins m = Panelbottom->layout()->contentsMargins();
    const int room = Panelbottom->contentsRect().width() - used - m.left() - m.right() -
                     Panelbottom->layout()->spacing() * shown;
    // Laid out only once shown: a hidden window keeps the whole word.
    const bool fits = !Panelbottom->isVisible() || lbusy2->fontMetrics().horizontalAdvance(word) <= room;
    lbusy2->setText(fits ? word : word.left(4));
}

void TForm1::setLyricsText(const std::string& text, bool readWhole)
{
    m_placeholder.clear();
    if (m_timing) cutTiming(TimingCut::LyricsReplaced); // its lines are gone
    m_lyricsSong = CurrentSong;
    m_synced.reset();
    m_lyricsShiftMs = 0;
    m_shiftAskedMs = 0;
    lshift->clear();
    lrctmr->stop();
    highlightLine(std::nullopt);
    const MemoText shown = readWhole ? memoText(text) : memoTextOfPart(text);
    if (shown.whole || !readWhole)
        m_wholeLyrics.reset();
    else
        m_wholeLyrics = text;
    m_lyricsPart = !readWhole;
    memo1->setReadOnly(!shown.whole);
    // Read-only leaves only the mouse; the caret keys still select words to translate.
    if (!shown.whole)
        memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    memo1->setPlainText(shown.shown);
}

void TForm1::setSyncedLyrics(const std::string& lrc)
{
    LrcLyrics parsed = LrcLyrics::parse(lrc);
    setLyricsText(parsed.plainText()); // one block per line
    memo1->document()->setModified(false);
    m_synced = std::move(parsed);
    lrctmrTimer();
}

bool TForm1::showsSyncedLyrics() const
{
    return m_synced && !memo1->document()->isModified();
}

void TForm1::lrctmrTimer()
{
    if (!showsSyncedLyrics()) { // edited: the lines no longer match their times
        lrctmr->stop();
        highlightLine(std::nullopt);
        return;
    }
    const long long position = mp().positionMs();
    const auto line = m_synced->lineAt(position);
    const auto word = line ? m_synced->wordAt(*line, position) : std::nullopt;
    if (line != m_syncedLine || word != m_syncedWord) highlightLine(line, word);
    // Wake when the next line or word starts rather than polling, and at least every half
    // second while it is far, so a pause or a drift is caught up with soon; one that is
    // near is waited for, so a word every 0.6 s costs one wake, not two.
    long long next = std::numeric_limits<long long>::max();
    for (const LrcLine& l : m_synced->lines())
        if (l.timeMs && *l.timeMs > position) next = std::min(next, *l.timeMs - position);
    if (line)
        for (const LrcWord& w : m_synced->lines()[*line].words)
            if (w.timeMs > position) {
                next = std::min(next, w.timeMs - position);
                break;
            }
    const long long wait = next <= 2 * kSyncedRecheckMs ? next + 10 : kSyncedRecheckMs;
    lrctmr->start(static_cast<int>(wait));
}

void TForm1::Timethelyrics1Click()
{
    if (m_timing) return;
    if (showsSyncedLyrics()) return songAnswer("These lyrics are timed already.");
    if (memo1->isReadOnly() || memo1->toPlainText().trimmed().isEmpty())
        return songAnswer("There are no plain lyrics to time.");
    if (mp().mode() != PlayerMode::Playing) return songAnswer("Timing needs the song playing.");
    m_timing.emplace(lyricsText());
    memo1->setReadOnly(true);
    songAnswer("Timing: Space stamps the next line, Backspace takes it back, Esc ends.");
}

bool TForm1::timingKey(int key)
{
    if (key == Qt::Key_Space) {
        highlightLine(m_timing->stamp(mp().positionMs()));
        if (m_timing->done()) endTiming();
    } else if (key == Qt::Key_Backspace) {
        m_timing->undo();
        highlightLine(m_timing->lastStamped());
    } else if (key == Qt::Key_Escape) {
        endTiming();
    } else {
        return false;
    }
    return true;
}

// The memo then holds the timed lyrics: F9 writes them as the .lrc file, the .lyr stays.
void TForm1::endTiming()
{
    const bool stamped = m_timing->lastStamped().has_value();
    const std::string lrc = m_timing->lrc();
    m_timing.reset();
    memo1->setReadOnly(false);
    highlightLine(std::nullopt);
    if (!stamped) return songAnswer("Timing ended; no line was stamped.");
    setSyncedLyrics(lrc);
    songAnswer("Timed: F9 saves the timed lyrics beside the song.");
}

// Timing the song or the lyrics ended: stamps of another song's positions, or of lines no
// longer shown, are worth nothing. The text stays as the user left it, editable again.
void TForm1::cutTiming(TimingCut why)
{
    // Cut by the song's end, it is said to the song that starts next.
    showStatus(timingCutText(*m_timing, why),
               why == TimingCut::SongEnded ? StatusLine::Owner::NextSong : StatusLine::Owner::Song,
               StatusLine::Level::Warning);
    m_timing.reset();
    m_timingKeysHeld = true;
    memo1->setReadOnly(false);
    highlightLine(std::nullopt);
}

void TForm1::LyricsEarlier1Click() { shiftLyrics(kLyricsShiftStepMs); }
void TForm1::LyricsLater1Click() { shiftLyrics(-kLyricsShiftStepMs); }

// The shift becomes the lyrics' own [offset:], so Quicksave keeps it with the stamps as they
// were. A held key sends presses faster than the lines of a long file move: the presses that
// came meanwhile move them once.
void TForm1::shiftLyrics(long long earlierMs)
{
    if (!showsSyncedLyrics()) {
        songAnswer("Only timed lyrics, unedited, can be shifted.");
        return;
    }
    m_shiftAskedMs += earlierMs;
    if (std::exchange(m_shiftQueued, true)) return;
    QTimer::singleShot(0, this, &TForm1::applyShift);
}

void TForm1::applyShift()
{
    m_shiftQueued = false;
    const long long asked = std::exchange(m_shiftAskedMs, 0);
    if (asked == 0 || !showsSyncedLyrics()) return; // other lyrics or an edit came meanwhile
    const long long before = m_synced->offsetMs();
    const long long moved = m_synced->setOffset(before + asked) - before;
    m_lyricsShiftMs += moved;
    lshift->setText(QString::fromStdString(shiftWords(m_lyricsShiftMs)));
    if (moved != asked) songAnswer("The lyrics cannot be shifted further.");
    lrctmrTimer();
}

void TForm1::highlightLine(std::optional<std::size_t> line, std::optional<std::size_t> word)
{
    m_syncedLine = line;
    m_syncedWord = word;
    QList<QTextEdit::ExtraSelection> marks;
    if (line) {
        const QTextBlock block = memo1->document()->findBlockByNumber(static_cast<int>(*line));
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        QColor tint = memo1->palette().color(QPalette::Highlight);
        tint.setAlpha(70); // the user's own selection stays distinguishable
        mark.format.setBackground(tint);
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks.append(mark);
        if (word && m_synced && *line < m_synced->lines().size()) {
            // The sung word, darker inside the sung line; its place counted in UTF-16.
            const LrcLine& l = m_synced->lines()[*line];
            const LrcWord& w = l.words.at(*word);
            const auto at = [&](std::size_t bytes) { // a line shown shortened ends early
                const auto units = QString::fromUtf8(l.text.data(), static_cast<qsizetype>(bytes)).size();
                return block.position() + std::min(static_cast<int>(units), block.length() - 1);
            };
            QTextEdit::ExtraSelection sung;
            sung.cursor = QTextCursor(block);
            sung.cursor.setPosition(at(w.begin));
            sung.cursor.setPosition(at(w.end), QTextCursor::KeepAnchor);
            tint.setAlpha(170);
            sung.format.setBackground(tint);
            marks.append(sung);
        }
        // The scroll bar counts lines: keep the sung one in view, a third from the top.
        QScrollBar* bar = memo1->verticalScrollBar();
        const int visible =
            std::max(1, memo1->viewport()->height() / memo1->fontMetrics().lineSpacing());
        const int first = block.firstLineNumber();
        if (first < bar->value() || first >= bar->value() + visible)
            bar->setValue(first - visible / 3);
    }
    memo1->setExtraSelections(marks);
}

bool TForm1::seekToLineAt(const QPoint& viewportPos)
{
    if (!showsSyncedLyrics()) return false;
    const int block = memo1->cursorForPosition(viewportPos).blockNumber();
    const auto& lines = m_synced->lines();
    if (block < 0 || static_cast<std::size_t>(block) >= lines.size() || !lines[block].timeMs)
        return false;
    seekTo(*lines[block].timeMs);
    return true;
}

// Every seek (the position bar, Ctrl+click on a timed line, MPRIS) comes here: while the song
// sounds, a short fade out, the seek, and a fade in, so a seek never clicks.
void TForm1::seekTo(long long positionMs)
{
    m_seekTarget = std::max(0LL, positionMs);
    if (mp().mode() != PlayerMode::Playing || fadetmr->isActive() || DeviceVolume == 0)
        return seekNow();
    if (seektmr->isActive() && m_seekStep >= kSeekFadeSteps) return seekNow(); // already up
    if (!seektmr->isActive()) m_seekStep = 0;
    seektmr->start();
}

void TForm1::seektmrTimer()
{
    // A fade of its own (pause, next, exit) owns the volume: the seek just happens.
    if (fadetmr->isActive()) {
        seektmr->stop();
        if (m_seekTarget) seekNow();
        return;
    }
    ++m_seekStep;
    const int down = kSeekFadeSteps - m_seekStep, up = m_seekStep - kSeekFadeSteps;
    SetPlayerVolume(Volume * std::abs(up >= 0 ? up : down) / kSeekFadeSteps);
    if (m_seekStep == kSeekFadeSteps) seekNow();
    if (up >= kSeekFadeSteps) seektmr->stop();
}

void TForm1::seekNow()
{
    if (!m_seekTarget) return;
    const long long positionMs = *std::exchange(m_seekTarget, std::nullopt);
    mp().seek(positionMs);
    showTimes();
    if (m_timing) { // timing goes on from the line at the new position
        m_timing->restartAt(positionMs);
        highlightLine(m_timing->lastStamped());
    }
    lrctmrTimer();
    emit seeked(positionMs);
}

std::string TForm1::lyricsText() const { return withCrLf(memo1->toPlainText().toStdString()); }

// The lookup of a song start: what cannot be read is told in the status line, never
// costing the song its play.
void TForm1::LookupLyrics(const std::string& name)
{
    forgetLyricsStatus();
    m_lyrics->LookupLyrics(name, CurrentSong, true);
}

// A lookup's end told earlier would read as this one's while it runs.
void TForm1::forgetLyricsStatus()
{
    m_statusLine.withdraw(m_lyricsStatus);
    m_lyricsStatus.clear();
    refreshStatus();
}

void TForm1::srchenClick() { m_lyrics->srchenClick(CurrentSong); }

void TForm1::nlyricClick()
{
    forgetLyricsStatus();
    m_lyrics->nlyricClick();
}

void TForm1::lbusyClick()
{
    // A database wait alone is ended only when the label says it is the database's.
    bool cancelled = true;
    if (!m_harvestBusy && m_databaseBusy)
        m_lyrics->cancelDatabase();
    else
        cancelled = m_lyrics->lbusyClick();
    // A cancelled fetch still falls back; how the lookup then ends replaces this.
    if (cancelled) showLyricsStatus("Cancelled.");
}

// A lookup's outcome: routine, never over a warning of the same song.
void TForm1::showLyricsStatus(const std::string& text)
{
    m_statusLine.withdraw(m_lyricsStatus);
    m_lyricsStatus = text;
    showStatus(text, StatusLine::Owner::Song, StatusLine::Level::Routine);
}

void TForm1::Lyricsdatabase1Click()
{
    forgetLyricsStatus();
    m_lyrics->databaseLookup();
}

void TForm1::Usedatabase1Click()
{
    if (!Usedatabase1->isChecked()) m_lyrics->cancelDatabase();
}

void TForm1::Customsearch1Click()
{
    std::string typed;
    if (!m_services.askText(Preamble + " " + SearchTerm + " " + Appendix, typed)) return;
    forgetLyricsStatus();
    m_lyrics->customSearch(typed);
}

void TForm1::Quicksave1Click()
{
    if (CurrentSong.empty()) return; // no song, no lyrics file to name
    if (nothingToSave()) return;
    // The memo shows less than the text; the file is not cut down to it.
    if (m_wholeLyrics || m_lyricsPart) {
        songAnswer("The lyrics are too long to edit here; the lyrics file was left as it is.");
        return;
    }
    // The lyrics of the song before may still be shown while the next one's are read.
    const std::string& song = m_lyricsSong.empty() ? CurrentSong : m_lyricsSong;
    // Unedited timed lyrics keep their stamps; the .lyr file would lose them.
    const bool timed = showsSyncedLyrics();
    const std::string beside = timed ? lrcFileFor(song) : lyricsFileFor(song);
    const std::string store = lyricsStoreFolder();
    try {
        const std::string saved = saveBesideOrInStore(
            store, beside, timed ? withCrLf(m_synced->lrcText()) : lyricsText());
        songAnswer(savedLyricsText(beside, saved, store));
    } catch (const LyricsFileError& e) {
        m_services.showError(e.what());
    }
}

void TForm1::Speichern1Click()
{
    if (nothingToSave()) return;
    if (m_lyricsPart) { // the rest of the text was never read: there is no whole to save
        songAnswer("Only the beginning of the lyrics file was read; it is left as it is.");
        return;
    }
    // The song's own lyrics file is proposed, in its folder; timed lyrics as an .lrc.
    const bool timed = showsSyncedLyrics();
    const std::string& song = m_lyricsSong.empty() ? CurrentSong : m_lyricsSong;
    SaveProposal proposal;
    if (!song.empty()) {
        const std::string file = timed ? lrcFileFor(song) : lyricsFileFor(song);
        proposal.folder = folderOfPath(file);
        proposal.name = file.substr(file.find_last_of('/') + 1);
    }
    proposal.filters = {"Lyrics (*.lyr)", "Timed lyrics (*.lrc)", "Text files (*.txt)",
                        "All files (*)"};
    if (timed) std::swap(proposal.filters[0], proposal.filters[1]);
    proposal.suffix = timed ? "lrc" : "lyr";
    const std::string name = m_services.askSaveFile(proposal);
    if (name.empty()) return;
    // Timed lyrics saved as an .lrc keep their stamps.
    if (timed && name.ends_with(".lrc")) return saveLyricsTo(name, withCrLf(m_synced->lrcText()));
    saveLyricsTo(name, m_wholeLyrics ? withCrLf(*m_wholeLyrics) : lyricsText());
}

void TForm1::songAnswer(const std::string& text)
{
    showStatus(text, StatusLine::Owner::Song, StatusLine::Level::Answer);
}

bool TForm1::placeholderShown() const
{
    return !m_placeholder.empty() && !memo1->document()->isModified() &&
           memo1->toPlainText().toStdString() == m_placeholder;
}

bool TForm1::nothingToSave()
{
    // The search's promise is no lyrics; the user's own words over it are.
    if (placeholderShown()) {
        songAnswer("Nothing to save: the search has not found lyrics yet.");
        return true;
    }
    // The memo still shows what came before the song's own lyrics: never saved as theirs.
    if (!m_lyrics->readingFiles()) return false;
    songAnswer("The song's lyrics are still being read; nothing was saved.");
    return true;
}

void TForm1::saveLyricsTo(const std::string& path, const std::string& text)
{
    try {
        writeLyricsFile(path, text);
    } catch (const LyricsFileError& e) {
        m_services.showError(e.what());
    }
}


} // namespace larkspur
