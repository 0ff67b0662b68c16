// The song library from the window: import, scan, drop, maintenance, finder, tempo.

#include "app/TForm1.h"
#include "app/core/StartupPath.h"
#include "playback/ListMaintenance.h"
#include "playback/PlaylistImport.h"
#include "playback/SongFinder.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextCursor>

namespace larkspur {

namespace {

std::string songsText(std::size_t n) { return std::to_string(n) + (n == 1 ? " song" : " songs"); }

} // namespace

void TForm1::LoadPLS1Click()
{
    const std::string name = m_services.askPlaylistFile(dialogFolderFor(kLastListFolderSetting));
    if (name.empty()) return;
    rememberFolder(kLastListFolderSetting, folderOfPath(name));
    importPlaylist(name);
}

std::string TForm1::dialogFolderFor(const char* setting) const
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return dialogFolder(m_services.settings->read(setting).value_or(""),
                        music.toLocal8Bit().toStdString(), QDir::homePath().toLocal8Bit().toStdString());
}

void TForm1::rememberFolder(const char* setting, const std::string& folder)
{
    // Kept at once, as the hotkey switch is: the next dialog may come after a crash. A store
    // that takes nothing is told of when the settings are saved; a dialog's folder is no
    // loss worth a word of its own.
    if (!folder.empty()) m_services.settings->writeAll({{setting, folder}});
}

void TForm1::importPlaylist(const std::string& fileName)
{
    PlaylistImport got;
    try {
        got = importPlaylistFile(fileName);
    } catch (const PlaylistReadError& e) {
        m_services.showError(e.what());
        return;
    }
    // The list may become another file; what an earlier clear took out belonged to this one.
    forgetClear();
    tellAdded(appendNewEntries(dl, got.entries));
    if (got.kind == PlaylistKind::Text && fileName != ListFileName) {
        // The text file becomes the song list, so it takes that list's lock as well.
        auto lock = std::make_unique<SongListLock>();
        if (lock->acquire(fileName, m_services.runtimeFolder) == SongListLock::Result::HeldElsewhere) {
            m_services.showError("Another Larkspur window plays \"" + fileName +
                                 "\" as its song list: its songs were added, and the song list stays \"" +
                                 ListFileName + "\".");
        } else {
            m_listLock = std::move(lock);
            ListFileName = fileName;
            clearFailure(Failure::ListSave); // what was said of the old file is not of this one
            checkListWritable();
        }
    }
    if (got.lineBreaks > 0) m_services.showError(lineBreakNotice(got.lineBreaks));
    const PlayerMode mode = mp().mode();
    if (mode == PlayerMode::Playing || mode == PlayerMode::Paused)
        FadeToNextSong(-1);
    else
        PlayNextSong(-1);
}

void TForm1::Adddirectory1Click()
{
    const std::string folder = m_services.askDirectory(dialogFolderFor(kLastAddedFolderSetting));
    if (folder.empty()) return;
    rememberFolder(kLastAddedFolderSetting, folder);
    // The list is only touched once the scan ended: from here on, nothing waits for it.
    m_services.scanDirectory(folder, [this](const ScanResult& found) {
        const std::size_t already = addScannedEntries(found.entries);
        if (found.cancelled) return;
        if (found.unreadable > 0 || found.lineBreaks > 0)
            m_services.showError(scanSummary(found, already));
        else
            m_services.showInfo(scanSummary(found, already));
    });
}

std::size_t TForm1::addScannedEntries(const std::vector<std::string>& entries)
{
    const std::size_t already = appendEntries(dl, entries);
    SaveSongList();
    return already;
}

void TForm1::LMDFMDrop1FMDragDrop(const std::vector<std::string>& FileList)
{
    const NewEntries got = entriesForDroppedPaths(FileList);
    tellAdded(appendNewEntries(dl, got.entries));
    if (got.lineBreaks > 0) m_services.showError(lineBreakNotice(got.lineBreaks));
}

void TForm1::tellAdded(AddedSongs added)
{
    // One look per added file: for a long playlist that is work for beside the loop.
    std::size_t bytes = 0;
    for (const auto& path : added.paths)
        bytes += path.size();
    m_addedLane.run(
        bytes,
        [added = std::move(added), exists = m_services.fileExists]() mutable {
            added.missing = missingPaths(added.paths, exists);
            return added;
        },
        [this](AsideResult<AddedSongs> done) { showStatus(addedSongsText(done.get())); });
}

void TForm1::Clearinternallist1Click()
{
    const ClearUndo::Cleared r = m_clearUndo.clearAll(dl, ListFileName, m_services.backupFolder);
    if (r.removed == 0) {
        showStatus("The song list is empty already.");
        return;
    }
    offerClearUndo("The song list was cleared (" + songsText(r.removed) + ").", r);
}

void TForm1::Undoclear1Click()
{
    const std::size_t back = m_clearUndo.undo(dl);
    showUndoState();
    if (back > 0)
        showStatus(songsText(back) + (back == 1 ? " was" : " were") +
                   " put back in the song list.");
}

void TForm1::offerClearUndo(const std::string& text, const ClearUndo::Cleared& cleared)
{
    showUndoState();
    if (!cleared.copyError.empty())
        m_services.showError("No copy of the song list as it was could be kept (" +
                             cleared.copyError +
                             "). \"Undo clear\" puts the songs back until the list is cleared "
                             "again, a playlist is loaded or Larkspur ends.");
    const unsigned generation = m_clearUndo.generation();
    m_services.offerUndo(text, [this, generation] {
        // An offer outlived by another clear or an import must not undo what came after it.
        if (m_clearUndo.generation() == generation) Undoclear1Click();
    });
}

void TForm1::forgetClear()
{
    if (!m_clearUndo.canUndo()) return;
    m_clearUndo.forget();
    showUndoState();
}

void TForm1::showUndoState()
{
    Undoclear1->setEnabled(m_clearUndo.canUndo());
    emit clearUndoChanged();
}

void TForm1::Testallfiles1Click()
{
    logtxt->clear();
    NotFoundIndices = testAllFiles(dl, m_services.fileExists);
    if (NotFoundIndices.empty()) return;
    logtxt->setPlainText(QString::fromLocal8Bit(NotFoundIndices.reportText()));
    ShowLogFrame();
    cnff->setEnabled(true);
    bringToFront();
    logtxt->setFocus();
}

void TForm1::cnffClick()
{
    const ClearUndo::Cleared r =
        m_clearUndo.clearMissing(dl, NotFoundIndices, ListFileName, m_services.backupFolder);
    CloseLogFrame();
    if (r.removed == 0) {
        showStatus("No song was removed: the list has changed since the file test.");
        return;
    }
    offerClearUndo(songsText(r.removed) + " not found" + (r.removed == 1 ? " was" : " were") +
                       " removed from the list.",
                   r);
}

void TForm1::ShowLog1Click()
{
    ShowLogFrame();
    cnff->setEnabled(false);
    logtxt->show();
    QFile log(QString::fromLocal8Bit(m_playLog.fileName()));
    if (!log.open(QIODevice::ReadOnly)) return;
    // A power loss during an append can leave NUL bytes: no text to show.
    logtxt->setPlainText(QString::fromLocal8Bit(log.readAll().replace('\0', "")));
    logtxt->moveCursor(QTextCursor::Start);
    bringToFront();
    logtxt->setFocus();
}

void TForm1::Findsong1Click() { OpenSongFinder(); }

void TForm1::btnsrchClick()
{
    ShowFinderList();
    btnsrch->setDefault(false);
    const std::string pattern = editsrch->text().toLocal8Bit().toStdString();
    List->clear();
    FinderIndices = findSongs(dl, pattern);
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(FinderIndices.size()));
    for (std::size_t i : FinderIndices) {
        const std::string_view entry = dl.get(i);
        rows.append(QString::fromLocal8Bit(entry.data(), static_cast<qsizetype>(entry.size())));
    }
    List->addItems(rows);
    if (!rows.isEmpty()) {
        List->setFocus();
        // Neither selected nor current, so the first Down reaches the first hit.
        List->setCurrentIndex(QModelIndex());
    } else {
        btnsrch->setDefault(true); // the focus stays in the search field: Enter searches again
    }
}

void TForm1::btncancelClick() { CloseSearchFrames(); }

void TForm1::Playthissong1Click()
{
    const auto selected = List->selectedItems();
    if (selected.isEmpty()) return;
    const int row = List->row(selected.first());
    if (row < 0 || static_cast<std::size_t>(row) >= FinderIndices.size()) return;
    FadeToNextSong(static_cast<int>(FinderIndices[static_cast<std::size_t>(row)]));
}

void TForm1::ListDblClick()
{
    if (List->selectedItems().isEmpty()) return;
    Playthissong1Click();
    CloseFinderFrame();
}

void TForm1::ListKeyPress(int key)
{
    if (key != 13) return;
    Playthissong1Click();
    CloseFinderFrame();
}

void TForm1::TapTempo()
{
    if (const auto bpm = m_tapper.tap()) lbpm->setText(QString::number(*bpm));
}

} // namespace larkspur
