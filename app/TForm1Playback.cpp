// Song list, play log, selection, playback commands, volume and fading.

#include "app/TForm1.h"
#include "app/Toolbar.h"
#include "files/PathName.h"
#include "lyrics/LocalLyrics.h"
#include "lyrics/LyricsSearch.h"
#include "lyrics/SongWords.h"
#include "playback/Fader.h"
#include "playback/ListMaintenance.h"
#include "playback/SongListFile.h"
#include "playback/TimeText.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <climits>
#include <set>
#include <cstdio>

namespace larkspur {

namespace {

const QString kPauseCaption = QStringLiteral("&Pause");
const QString kPlayCaption = QStringLiteral("&Play");

QString local(const std::string& bytes) { return QString::fromLocal8Bit(bytes); }

std::string skippedSongText(const std::string& name, const std::string& reason)
{
    return "Skipped \"" + name + "\": " + reason;
}

std::string nonePlayableText(std::size_t songs)
{
    if (songs == 1) return "The one song in the list cannot be played.";
    return "None of the " + std::to_string(songs) + " songs in the list can be played.";
}

} // namespace

// ---- song list and play log ------------------------------------------------------------

bool TForm1::LoadSongList(const std::string& fileName)
{
    const ListFileResult r = loadSongList(fileName, dl, kMaxListFileBytes, m_services.backupFolder);
    if (!r.ok()) reportFailure(Failure::ListLoad, r.message);
    return r.ok();
}

bool TForm1::SaveSongList()
{
    if (ListFileName.empty()) return true;
    // A failed save leaves the old file; the next one retries.
    const ListFileResult r = saveSongList(ListFileName, dl, m_services.backupFolder);
    if (r.ok()) {
        m_listSavedVersion = dl.version();
        m_listSaveError.clear();
        clearFailure(Failure::ListSave);
        return true;
    }
    // A list the user may not write was told of at the start: its counts are not kept.
    m_listSaveError = r.status == ListFileResult::Status::ReadOnly ? std::string() : r.message;
    reportFailure(Failure::ListSave, r.message);
    return false;
}

void TForm1::lsaveTimer() { SaveSongList(); }

void TForm1::checkListWritable()
{
    const ListFileResult r = checkSongListWritable(ListFileName);
    if (!r.ok()) reportFailure(Failure::ListSave, r.message);
}

void TForm1::AppendToPlayLog(const std::string& line)
{
    m_playLog.append(line);
    clearFailure(Failure::PlayLog);
}

void TForm1::reportFailure(Failure kind, const std::string& text)
{
    // At the exit a failed save is told once, with the copy that keeps the list.
    if (m_closing && (kind == Failure::ListSave || kind == Failure::Settings)) return;
    const auto bit = 1u << static_cast<unsigned>(kind);
    // Once per kind until that kind works again: a failing minute save must not pile up boxes.
    if (m_failuresShown & bit) return;
    m_failuresShown |= bit;
    std::fprintf(stderr, "larkspur: %s\n", text.c_str());
    m_services.showError(text);
}

void TForm1::clearFailure(Failure kind) { m_failuresShown &= ~(1u << static_cast<unsigned>(kind)); }

void TForm1::logMarker(const std::string& line)
{
    try {
        AppendToPlayLog(line);
    } catch (const PlayLogError& e) {
        reportFailure(Failure::PlayLog, e.what());
    }
}

// ---- selection and playback control ----------------------------------------------------

void TForm1::PlayNextSong(int Index)
{
    if (m_timing) cutTiming(TimingCut::SongEnded); // its stamps are the last song's positions
    if (dl.empty()) {
        keepTicking();
        return;
    }
    m_playNote.clear();
    m_services.random->seedFromClock();
    // A failed start retries with a random song, at most once per entry in a row, so a list
    // of broken files cannot loop for ever.
    const std::size_t attempts = dl.count() + 1;
    std::set<std::size_t> failed;
    for (std::size_t attempt = 0; attempt < attempts; ++attempt) {
        SearchTerm.clear();
        const Selection sel = m_firstDraw ? *std::exchange(m_firstDraw, std::nullopt)
                                          : drawSong(dl, Index, *m_services.random,
                                                     m_services.fileExists);
        if (sel.outcome == Selection::Outcome::GaveUp && !m_nonePlayableTold) {
            m_nonePlayableTold = true;
            tellPlayProblem(nonePlayableText(dl.count()));
        }
        // A missing file the draw passed over is skipped too; say so unless none can play.
        if (!sel.missing.empty() && !m_nonePlayableTold && sel.outcome == Selection::Outcome::Chosen)
            tellPlayProblem(skippedSongText(fileNameOf(sel.missing), "the file does not exist."));
        if (sel.outcome != Selection::Outcome::Chosen) break;
        if (!sel.malformed) dl.put(sel.index, sel.newEntry);
        CurrentSong = sel.path;
        logMarker(songLogLine(m_services.now(), sel.path));
        if (Index == -1 && !logtxt->isHidden() && areaOpen()) ShowLog1Click();
        try {
            if (sel.malformed)
                throw PlayerError("Malformed song list entry: " + std::string(dl.get(sel.index)));
            startSong(sel.index, sel.path);
            return;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "larkspur: %s: %s\n", sel.path.c_str(), e.what());
            logMarker(kLogPlayFailure);
            failed.insert(sel.index);
            // The player's own words rarely say that the file is simply gone.
            const bool gone = !sel.malformed && !m_services.fileExists(sel.path);
            // Once none can play, the retries do not bury that word under their own.
            if (!m_nonePlayableTold)
                tellPlayProblem(skippedSongText(fileNameOf(sel.path),
                                            gone ? "the file does not exist." : e.what()));
            Index = -1;
        }
    }
    // Every entry left is missing, banned, malformed or failed to start: none can play.
    if (!failed.empty() && !m_nonePlayableTold && !anyPlayable(dl, m_services.fileExists, failed)) {
        m_nonePlayableTold = true;
        tellPlayProblem(nonePlayableText(dl.count()));
    }
    emit playerChanged({QStringLiteral("PlaybackStatus")}); // nothing plays now
    // Nothing plays: no length of the song before may stand beside the position.
    m_lengthShown = -1; // shown anew
    showTimes();
    keepTicking();
}

void TForm1::keepTicking()
{
    // Nothing started: the end-of-song tick tries again later (with its back-off), unless
    // the user paused.
    if (Pause1->text() != kPlayCaption) dt->start();
}

void TForm1::startSong(std::size_t index, const std::string& path)
{
    mp().close();
    mp().open(path);
    mp().play();
    m_idleBackoffTicks = 0;
    m_idleTicksToSkip = 0;
    m_tapper.reset();
    lbpm->setText(QStringLiteral("0"));
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    const std::string name = fileNameOf(path);
    setTitles(local(name) + QStringLiteral(" - Larkspur"));
    dt->start();
    m_nonePlayableTold = false;
    // Both labels at once: the position of the song before must not stand beside the new
    // length, nor its length beside the new position.
    m_lengthShown = -1; // shown anew, whatever it is
    showTimes();
    CurrentIndex = static_cast<int>(index);
    // A retry after a failed start goes back nowhere: that song is new to the history.
    if (!std::exchange(m_pendingBack, false) || path != m_history.reached())
        m_history.played(path);
    emit playerChanged({QStringLiteral("Metadata"), QStringLiteral("PlaybackStatus"),
                        QStringLiteral("CanGoPrevious")});
    m_statusLine.songStarted(); // the last song's words end here
    m_lyricsStatus.clear();
    refreshStatus();
    AutoLyricsPending = true;
    LookupLyrics(name);
}

// The application's display name stays as it is: the platform appends it to every dialog's
// title.
void TForm1::setTitles(const QString& title)
{
    setWindowTitle(title);
    if (ti)
        ti->setToolTip(m_playNote.empty() ? title : title + QLatin1Char('\n') + local(m_playNote));
}

void TForm1::tellPlayProblem(const std::string& text)
{
    m_playNote = text;
    // A skip is the next song's news; that none can play stands until a song plays.
    if (m_nonePlayableTold)
        showStatus(text, StatusLine::Owner::Song, StatusLine::Level::Error);
    else
        showStatus(text, StatusLine::Owner::NextSong, StatusLine::Level::Warning);
    // A hidden window's status line is not seen; the tray hint is.
    setTitles(windowTitle());
}

void TForm1::showPauseCaption(bool playing)
{
    Pause1->setText(playing ? kPauseCaption : kPlayCaption);
    JvxSpeedButton1->setIcon(toolbarPicture(playing ? QStringLiteral("Pause") : QStringLiteral("Play")));
    emit playerChanged({QStringLiteral("PlaybackStatus")});
}

void TForm1::Pause1Click()
{
    if (Pause1->text() == kPlayCaption) {
        FadingIn = true;
        // Still fading out to the pause: turn the fade round from where it stands.
        if (mp().mode() != PlayerMode::Playing) {
            SetPlayerVolume(0);
            try {
                mp().resume();
            } catch (const PlayerError& e) {
                m_services.showError(e.what());
            }
        }
        fadetmr->start();
        dt->start();
        // Told once the player plays again: until then the bus would read it as stopped.
        showPauseCaption(true);
    } else {
        showPauseCaption(false);
        SetPlayerVolume(Volume);
        FadeStep = fadeStepFor(FadeSpeed, Volume);
        FadingIn = false;
        fadetmr->start();
        dt->stop();
    }
}

void TForm1::Next1Click()
{
    showPauseCaption(true);
    logMarker(kLogNext);
    FadeToNextSong(-1);
}

bool TForm1::canGoBack() const
{
    return m_history.before([this](const std::string& path) { return listedIndex(path) >= 0; })
        .has_value();
}

int TForm1::listedIndex(const std::string& path) const
{
    // Listed and not banned: a song removed or banned since is passed over.
    for (std::size_t i = 0; i < dl.count(); ++i) {
        const SongEntry e = splitEntry(dl.get(i));
        if (e.path == path && parseCount(e.countText).value_or(-1) >= 0) return static_cast<int>(i);
    }
    return -1;
}

// Back to the song played before, with the same fade as Next; played from its start and
// counted like any play, but not added to the history again.
void TForm1::Previous1Click()
{
    const auto playable = [this](const std::string& path) { return listedIndex(path) >= 0; };
    if (!m_history.stepBack(playable)) return showStatus("There is no song to go back to.");
    showPauseCaption(true);
    logMarker(kLogPrevious);
    FadeToNextSong(listedIndex(m_history.reached()));
    m_pendingBack = true;
}

void TForm1::Neverplayagain1Click()
{
    showPauseCaption(true);
    // By path, not by position: the song may be listed more than once, and after a start
    // that failed the position still names the song played before it.
    if (!CurrentSong.empty()) banSong(dl, CurrentSong);
    logMarker(kLogNeverPlayAgain);
    FadeToNextSong(-1);
}

void TForm1::dtTimer()
{
    showTimes();
    // Whatever the back-end calls it (ended, closed after a failure, never opened), no song
    // playing or paused means the next one is due.
    const PlayerMode mode = mp().mode();
    if (mode == PlayerMode::Playing || mode == PlayerMode::Paused) return;
    // While nothing can be played (a music drive unplugged, say), every try tests the
    // whole list; try less often, up to every 30 s, until a song starts again.
    if (m_idleTicksToSkip > 0) {
        --m_idleTicksToSkip;
        return;
    }
    PlayNextSong(-1);
    if (mp().mode() == PlayerMode::Playing) {
        m_idleBackoffTicks = 0;
    } else {
        m_idleBackoffTicks = std::min(std::max(1, m_idleBackoffTicks * 2), 60);
        m_idleTicksToSkip = m_idleBackoffTicks;
    }
}

void TForm1::showTimes()
{
    const PlayerMode mode = mp().mode();
    const long long position = mp().positionMs();
    ltime->setText(local(durationText(position)));
    // Some files are only measured once they play, and counted better later; until then no
    // length is shown.
    if (const long long length = mode == PlayerMode::NotReady ? 0 : mp().lengthMs();
        length != m_lengthShown) {
        m_lengthShown = length;
        itime->setText(m_lengthShown > 0 ? local(durationText(m_lengthShown)) : QString());
        posbar->setEnabled(m_lengthShown > 0);
        posbar->setRange(0, static_cast<int>(std::clamp<long long>(m_lengthShown, 0, INT_MAX)));
    }
    if (!posbar->isSliderDown())
        posbar->setValue(static_cast<int>(std::clamp<long long>(position, 0, INT_MAX)));
    // Media controls learn a length when it comes, and again when it changes.
    if (const long long length = mode == PlayerMode::NotReady ? 0 : mp().lengthMs();
        length != m_lengthAnnounced) {
        m_lengthAnnounced = length;
        if (!CurrentSong.empty()) emit playerChanged({QStringLiteral("Metadata")});
    }
    // The label turns when the played second does, not up to half a tick later; a length
    // still unknown is asked for often, as it comes soon after the song starts.
    if (mode == PlayerMode::Playing) {
        const long long wait = m_lengthShown > 0 ? 1000 - position % 1000 + 5 : 50;
        clocktmr->start(static_cast<int>(std::min(wait, 1000 - position % 1000 + 5)));
    } else {
        clocktmr->stop();
    }
}

MprisControl TForm1::mprisControl()
{
    MprisControl c;
    const auto paused = [this] { return Pause1->text() == kPlayCaption; };
    // Commands from the bus run as global actions: never inside a waiting handler.
    using Merge = GlobalActions::Merge;
    const auto held = [this](const char* kind, Merge merge, std::function<void()> action) {
        return [this, kind, merge, action] { globalActions->post(kind, merge, action); };
    };
    c.playPause = held("mpris PlayPause", Merge::Switch, [this] { Pause1Click(); });
    // Play, Pause and Stop: the newest of them wins.
    c.play = held("mpris play state", Merge::Newest, [this, paused] {
        if (paused()) Pause1Click();
    });
    // There is no stopped state of our own: Stop pauses, with the pause fade.
    c.pause = c.stop = held("mpris play state", Merge::Newest, [this, paused] {
        if (!paused() && mp().mode() == PlayerMode::Playing) Pause1Click();
    });
    c.next = held("mpris Next", Merge::Newest, [this] { Next1Click(); });
    c.previous = held("mpris Previous", Merge::Steps, [this] { Previous1Click(); });
    c.canGoPrevious = [this] { return canGoBack(); };
    c.raise = held("mpris Raise", Merge::Newest, [this] { Show1Click(); });
    c.quit = held("mpris Quit", Merge::Newest, [this] { close(); });
    // A pause counts from its press, though the fade still sounds; a song the player holds
    // paused (a skip fading out of a pause) is paused too.
    c.status = [this, paused] {
        const PlayerMode mode = mp().mode();
        if (paused() || mode == PlayerMode::Paused) return QStringLiteral("Paused");
        return mode == PlayerMode::Playing ? QStringLiteral("Playing") : QStringLiteral("Stopped");
    };
    c.track = [this] {
        MprisTrack t;
        if (CurrentSong.empty()) return t;
        t.index = CurrentIndex;
        t.path = CurrentSong;
        // The lookup's names hold the tags once they are read; till then the file name's.
        const DatabaseSong names =
            m_lyrics->namedSong() == CurrentSong
                ? m_lyrics->databaseSong()
                : songNamesFor(std::nullopt, fileNameOf(CurrentSong), SplitterChar);
        t.title = names.title;
        t.artist = names.artist;
        t.album = names.album;
        t.trackNumber = names.trackNumber;
        t.lengthMs = mp().lengthMs();
        return t;
    };
    c.positionMs = [this] { return mp().positionMs(); };
    c.seek = [this](long long ms) {
        globalActions->post("mpris seek", GlobalActions::Merge::Newest, [this, ms] { seekTo(ms); });
    };
    c.volume = [this] { return Volume / 1000.0; };
    c.setVolume = [this](double v) {
        globalActions->post("mpris volume", GlobalActions::Merge::Newest,
                            [this, v] { voltr->setValue(static_cast<int>(v * 100 + 0.5)); });
    };
    return c;
}

// ---- volume and fading -----------------------------------------------------------------

void TForm1::SetPlayerVolume(int Value)
{
    DeviceVolume = Value;
    mp().setVolume(Value);
}

void TForm1::FadeToNextSong(int Index)
{
    m_pendingBack = false;
    NextAfterFade = true;
    PendingIndex = Index;
    startFadeOut();
}

// From the user's volume down; what follows at 0 is up to the flags set before.
void TForm1::startFadeOut()
{
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    FadingIn = false;
    fadetmr->start();
}

void TForm1::fadetmrTimer()
{
    const FadeTick tick =
        fadeTick(DeviceVolume, Volume, FadeStep, FadingIn, CloseAfterFade, NextAfterFade);
    SetPlayerVolume(tick.level);
    // The timer repeats through a fade, so the time a tick takes does not add up over it.
    if (tick.end == FadeEnd::Continue) {
        if (!fadetmr->isActive()) fadetmr->start();
        return;
    }
    fadetmr->stop();
    switch (tick.end) {
    case FadeEnd::Continue:
        break;
    case FadeEnd::FadedIn:
        break;
    case FadeEnd::Close:
        mp().stop();
        m_exitFadeDone = true;
        close();
        break;
    case FadeEnd::PlayNext:
        NextAfterFade = false;
        SetPlayerVolume(0);
        // Music plays again either way (a new song, or the old one fading back in), so a
        // pause pressed during the skip fade must not leave the caption at "Play", and a
        // song paused before the skip must go on. Set before the start: the start reads the
        // song's tags aside, with the event loop running, and a pause, a skip or a close
        // asked for meanwhile stands.
        showPauseCaption(true);
        FadingIn = true;
        PlayNextSong(PendingIndex);
        if (m_closed || CloseAfterFade || NextAfterFade || Pause1->text() == kPlayCaption) break;
        if (mp().mode() == PlayerMode::Paused) {
            try {
                mp().resume();
            } catch (const PlayerError& e) {
                m_services.showError(e.what());
            }
        }
        dt->start();
        fadetmr->start();
        break;
    case FadeEnd::TogglePause:
        try {
            if (mp().mode() == PlayerMode::Paused)
                mp().resume();
            else
                mp().pause();
        } catch (const PlayerError& e) {
            m_services.showError(e.what());
        }
        emit playerChanged({QStringLiteral("PlaybackStatus")});
        break;
    }
}

void TForm1::Vol1Click()
{
    Volume = std::min(Volume + 100, kMaxVolume);
    mp().setUserVolume(Volume);
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    voltr->setValue(Volume / 10);
}

void TForm1::Vol2Click()
{
    Volume = Volume - 100 > 0 ? Volume - 100 : 0;
    mp().setUserVolume(Volume);
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    voltr->setValue(Volume / 10);
}

void TForm1::voltrChange()
{
    Volume = std::min(voltr->value() * 10, kMaxVolume);
    mp().setUserVolume(Volume);
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    emit playerChanged({QStringLiteral("Volume")});
}

} // namespace larkspur
