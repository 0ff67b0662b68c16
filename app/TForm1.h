#pragma once
// The main window. Handlers keep the names of their control and event; each reads the
// widgets, calls into the core and shows the result. Widgets are public so tests can
// drive them; timer handlers can be called directly. The members are implemented across
// TForm1*.cpp by subject: start-up and events, layout, playback, frames, song library.

#include "app/core/FirstSong.h"
#include "app/core/FormState.h"
#include "app/core/GlobalActions.h"
#include "app/core/StatusLine.h"
#include "web/RunAside.h"
#include "app/core/Mpris.h"
#include "app/core/HotKeyManager.h"
#include "app/core/HotKeySettings.h"
#include "app/core/Settings.h"
#include "app/core/SettingsStore.h"
#include "lyrics/CatalogueSearch.h"
#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsPublication.h"
#include "lyrics/LyricsTiming.h"
#include "playback/ClearUndo.h"
#include "playback/DirectoryScanner.h"
#include "playback/MediaPlayer.h"
#include "playback/PlayHistory.h"
#include "playback/PlayLog.h"
#include "playback/PlaylistImport.h"
#include "playback/Selection.h"
#include "playback/ShiftTaps.h"
#include "playback/SongList.h"
#include "playback/SongListLock.h"
#include "playback/TempoTapper.h"

#include <QDateTime>
#include <QFont>
#include <QPointer>
#include <QProxyStyle>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;
class QRadioButton;
class QSlider;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolButton;
class QTreeWidget;

namespace larkspur {

class BoxesOverWindow;
class BrowserDocument;
class FetchAllDialog;
class FindReplaceDialog;
class HttpClient;
class LyricsSearch;

// What "Save as..." proposes.
struct SaveProposal
{
    std::string folder;
    std::string name;                 // without folder
    std::vector<std::string> filters; // "Lyrics (*.lyr)" and the like, the chosen one first
    std::string suffix;               // added to a name typed without one
};

// Slider clicks jump to the clicked place (the position bar).
class JumpSliderStyle : public QProxyStyle
{
  public:
    explicit JumpSliderStyle(QStyle* base);
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override;
};

// What the window needs from the platform; tests replace any of it.
struct FormServices
{
    MediaPlayer* mp = nullptr;        // not owned; must outlive the window
    FileExists fileExists;            // default: something other than a folder is there
    RandomSource* random = nullptr;   // not owned; default: a clock-seeded generator
    std::function<QDateTime()> now;   // default: the local time
    std::function<std::int64_t()> tapClockMs; // the tempo meter's clock; default monotonic
    SettingsStore* settings = nullptr; // not owned; default: the per-user QSettings
    // Dialogs; an empty result means cancelled. Defaults show the real dialogs.
    // Each opens in the folder given (dialogFolder).
    std::function<std::string(const std::string& folder)> askListFile;     // start-up list
    std::function<std::string(const std::string& folder)> askPlaylistFile; // "&Load playlist..."
    std::function<std::string(const std::string& folder)> askDirectory;    // "&Add directory..."
    std::function<bool(QFont&)> askFont;          // "Custom font..."
    // "&Save as...": proposes a name in a folder, with filters (the first chosen).
    std::function<std::string(const SaveProposal& proposal)> askSaveFile;
    // "&Custom search...": the proposal in, the typed text out; false when cancelled.
    std::function<bool(const std::string& proposal, std::string& text)> askText;
    // Shows what would be published and lets the user correct the names; false: not now.
    std::function<bool(PublishSong& song)> askPublish;
    // Whether a desktop notification service runs (default: asks the session bus for
    // org.freedesktop.Notifications). Without one, messages go to boxes, not the tray.
    std::function<bool()> notificationService;
    // Shows an error to the user without blocking playback (default: a message box, or a
    // tray message while the window is hidden and a notification service runs).
    std::function<void(const std::string&)> showError;
    // Shows an error that ends the program, and waits until it is read.
    std::function<void(const std::string&)> showFatal;
    // A desktop notification, for what must be known after a close no one may be there to
    // see (a terminate signal, the session's end). Default: showError.
    std::function<void(const std::string& summary, const std::string& body)> notifyDesktop;
    // Shows a notice that needs no answer (default: a message box that does not block, or a
    // tray message as for showError).
    std::function<void(const std::string&)> showInfo;
    // Tells that songs were taken out of the list, with a way to put them back: `undo` is
    // called when the user asks (default: a message box with an Undo button that does not
    // block, and closes once that undo no longer stands).
    std::function<void(const std::string& text, std::function<void()> undo)> offerUndo;
    // The find and replace dialogs' notices: a title and a text with an information icon
    // (default: a message box over the dialog that does not block).
    std::function<void(const std::string& title, const std::string& text)> showNotice;
    // Runs the directory scan with progress and cancel (default: a worker thread and a
    // progress dialog).
    // Returns at once; done() gets the result (a cancelled one when the user cancels).
    std::function<void(const std::string& folder, std::function<void(ScanResult)> done)>
        scanDirectory;
    std::string executableDir;
    std::string backupFolder;  // where a list written in place is copied first; empty: default
    std::string runtimeFolder; // for a list's lock when its folder takes none; empty: default
    std::string playLogFile = "log.txt";
    // Started from the desktop menu: the last song list opens without asking.
    bool desktopMode = false;
    // Installs Qt's own words in the user's language (key names, dialog buttons); called
    // before the first text that needs them, after the first song started. May be empty.
    std::function<void()> loadTranslations;
    // The list the program's entry resolved from the command line (empty: none named);
    // none: the window resolves it from its arguments.
    std::optional<std::string> startupList;
    // That list read and locked before the window was built, with the first song drawn and
    // started; taken when it is the list the window opens.
    std::shared_ptr<FirstSong> firstSong;
    // The global hotkeys' window system part; default: the desktop portal on Wayland when
    // the session bus has it, else X11 when the session has it, else none (every
    // registration is refused and the menu switch is disabled).
    std::function<std::unique_ptr<HotKeyBackend>()> hotKeyBackend;
};

class TForm1 : public QWidget, public FormState
{
    Q_OBJECT

public:
    explicit TForm1(FormServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- start-up and shutdown
    // Called once before the event loop runs. args: the arguments after the program name.
    // The first song starts before the tray, the hotkeys and the translations are set up.
    void FormCreate(const QStringList& args);
    // The close routine; allowClose false keeps the window open (exit fade).
    void FormClose(bool& allowClose);
    // A close the user did not ask for in the window (a terminate signal, the session's
    // end): a save that fails is told by a desktop notification, not a box that waits.
    void closeForSystem();
    // The desktop session is ending (a close may follow, or the end): the list is saved now,
    // and the close is told as one the user did not ask for.
    void sessionEnding();
    // 0, or 1 when the list or the settings could not be saved at the exit.
    int exitCode() const { return m_exitCode; }
    // False (and the program ends) when another running copy holds the list.
    bool takeListLock(const std::string& name);
    void LoadSettings();
    bool SaveSettings();
    bool closed() const { return m_closed; }

    // ---- song list and play log
    bool LoadSongList(const std::string& fileName);
    bool SaveSongList(); // false when the list has a file that could not be written
    void AppendToPlayLog(const std::string& line); // throws PlayLogError
    void lsaveTimer();

    // ---- selection and playback control
    void PlayNextSong(int Index);
    void Pause1Click();
    void Next1Click();
    // Back to the song played before the current one (this run's history), with Next's fade.
    void Previous1Click();
    bool canGoBack() const;
    // Where a dialog opens: the folder the setting names, else the music folder, else home.
    std::string dialogFolderFor(const char* setting) const;
    void rememberFolder(const char* setting, const std::string& folder);
    // The position of the song's entry when listed and not banned, else -1.
    int listedIndex(const std::string& path) const;
    void Neverplayagain1Click();
    void dtTimer();

    // ---- volume and fading
    void SetPlayerVolume(int Value);
    void FadeToNextSong(int Index);
    void fadetmrTimer();
    void Vol1Click();
    void Vol2Click();
    void voltrChange();

    // ---- side frames and layout
    void ShowLogFrame();
    void ShowFinderList();
    void ShowTranslationFrame();
    void ShowSettingsFrame();
    void OpenSongFinder();
    void OpenCatalogueSearch();
    void CloseLogFrame();
    void CloseFinderFrame();
    void CloseTranslationFrame();
    void CloseSettingsFrame();
    void CloseSearchFrames();
    void CloseAllFrames();
    void SetTextFontSize(int points);
    void FormResize();
    void spltMoved();
    void editsrchEnter();
    void editsrchExit();
    void tiClick();
    void Show1Click();
    void Fontsizesmall1Click();
    void N8Click();
    void Customfont1Click();
    void btnsaveClick();
    void Searchoptions1Click();
    bool areaOpen() const;
    int panelWidth() const { return m_panelWidth; }

    // ---- song library: import, maintenance, finder, tempo
    void LoadPLS1Click();
    void importPlaylist(const std::string& fileName);
    void Adddirectory1Click();
    std::size_t addScannedEntries(const std::vector<std::string>& entries);
    void LMDFMDrop1FMDragDrop(const std::vector<std::string>& FileList);
    void Clearinternallist1Click();
    void Undoclear1Click(); // puts back what the last clear took out
    void Testallfiles1Click();
    void cnffClick();
    void ShowLog1Click();
    void Findsong1Click();
    void btnsrchClick();
    void btncancelClick();
    void ListDblClick();
    void ListKeyPress(int key);
    void Playthissong1Click();
    void TapTempo();

    // ---- the status line: one short outcome at a time, kept until the next one
    // Says text on the status line by its one rule (see StatusLine): by default an answer of
    // the program to the user.
    void showStatus(const std::string& text, StatusLine::Owner owner = StatusLine::Owner::Program,
                    StatusLine::Level level = StatusLine::Level::Answer);
    std::string statusText() const; // the whole text, also when the line shows it shortened

    // ---- waiting for the lyrics, dictionary and catalogue subsystems
    void LookupLyrics(const std::string& name);
    void Quicksave1Click();
    void Speichern1Click();
    void Find1Click();
    void Replace1Click();
    void Translate1Click();
    void Versebank1Click();
    void srchenClick();
    void Customsearch1Click();
    void nlyricClick();
    void lbusyClick();
    // The lyrics memo's text with CR LF line breaks, as files hold it.
    std::string lyricsText() const;
    // Any new text ends timed lyrics. A text too long for the memo is shown shortened and
    // read-only, and is saved only whole (Save as) or not at all (Quicksave). A text that is
    // only the beginning of a file (`readWhole` false) is shown so and never saved.
    void setLyricsText(const std::string& text, bool readWhole = true);
    // Timed lyrics: the memo shows their lines, and the line being sung is highlighted.
    void setSyncedLyrics(const std::string& lrc);
    // The memo shows timed lyrics the user has not edited.
    bool showsSyncedLyrics() const;
    const LrcLyrics* syncedLyrics() const { return m_synced ? &*m_synced : nullptr; }
    void lrctmrTimer(); // highlights the line at the play position
    void Lyricsdatabase1Click();
    void Usedatabase1Click();
    void LyricsEarlier1Click();
    void Timethelyrics1Click();
    void LyricsLater1Click();
    // "Fetch lyrics for all songs..." (TForm1FetchAll.cpp): the database asked about every
    // song of the list without lyrics, with a progress dialog; a run open is brought up.
    void Fetchall1Click();
    FetchAllDialog* m_fetchAll = nullptr; // the run under way
    // "Publish timed lyrics..." (TForm1Publish.cpp): the shown timed lyrics to the database.
    void Publish1Click();
    void publishStage(PublishStage stage);
    void finishPublish(const PublishEnd& end);
    std::unique_ptr<LyricsPublication> m_publication; // the one under way; its end resets it
    QPointer<QProgressDialog> m_publishProgress;
    void Button3Click();

    // ---- global hotkeys (TForm1Hotkeys.cpp)
    // Registers the texts of the settings, in table order, when the switch is on.
    void RegisterHotKeys();
    void hkmngHotKeyPressed(quint32 HotKey, quint16 Index);
    // A press from outside the window: run through globalActions, never inside a wait.
    void hotKeyArrived(quint32 HotKey, quint16 Index);
    GlobalActions* globalActions = nullptr;
    const LyricsSearch& lyricsSearch() const { return *m_lyrics; }
    void Globalhotkeys1Click(); // the switch: releases or registers all ten
    std::unique_ptr<HotKeyBackend> defaultHotKeyBackend();
    void disableHotkeySwitch(); // no backend: the switch says why
    THotKeyManager* hkmng = nullptr;
    HotKeySettings hotKeySettings;

    // ---- dictionary lookup (TForm1Dictionary.cpp)
    // The selection as it stands, else the letter run at the caret.
    std::string wordToTranslate() const;
    // The dictionary branch of the harvest: the completed page into the translation frame.
    void showTranslation();

    // ---- find and replace in the lyrics memo (TForm1FindReplace.cpp)
    void fdlgShow();
    void rdlgShow();
    void fdlgFind();
    void rdlgFind();
    void rdlgReplace();
    void FindNextForReplace();
    FindReplaceDialog* fdlg = nullptr; // made at the first opening
    FindReplaceDialog* rdlg = nullptr;
    bool HitFound = false; // the replace dialog's last find selected a hit
    int ReplaceCount = 0;  // hits found for Replace, or changed by the running Replace All

private:
    bool findInMemo(FindReplaceDialog& dialog); // selects the next hit or reports the miss
    void replaceInMemo();
    void replaceAllInMemo();
    void findReplaceNotice(QWidget* over, const QString& title, const QString& text);
    qsizetype m_hitStart = -1, m_hitLength = 0; // the last hit, line breaks counted as CR LF

public:
    MediaPlayer& mp() { return *m_services.mp; }
    BrowserDocument* WebBrowser1 = nullptr;

    SongList dl;

    // Widgets.
    QWidget* Paneltop = nullptr;
    QWidget* Panelbottom = nullptr;
    QSplitter* mainpanel = nullptr;
    QPlainTextEdit* memo1 = nullptr;
    QWidget* Panelright = nullptr;
    QWidget* Panelrighttop = nullptr;
    QWidget* Panelrightbottom = nullptr;
    QWidget* Panelbtns = nullptr;
    QLineEdit* editsrch = nullptr;
    QPushButton* btnsrch = nullptr;
    QPushButton* btncancel = nullptr;
    QPlainTextEdit* logtxt = nullptr;
    QPlainTextEdit* memotrns = nullptr;
    QListWidget* List = nullptr;
    QGroupBox* grpboxsettings = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QPushButton* btnsave = nullptr;
    QWidget* lyrworld = nullptr;
    QLabel* lpos = nullptr;
    QSlider* voltr = nullptr;
    QSlider* posbar = nullptr; // the song's position, in ms; click or drag to seek
    QLabel* ltime = nullptr;
    QLabel* itime = nullptr;
    QLabel* lbpm = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lbusy2 = nullptr;
    QLabel* lshift = nullptr; // beside the status line: how far timed lyrics are shifted
    QLabel* lstatus = nullptr;
    QToolButton* JvxSpeedButton1 = nullptr; // pause / play
    QToolButton* JvxSpeedButton2 = nullptr; // next
    QToolButton* JvxSpeedButton3 = nullptr; // find
    QToolButton* JvxSpeedButton4 = nullptr; // save
    QToolButton* JvxSpeedButton5 = nullptr; // search
    QToolButton* JvxSpeedButton6 = nullptr; // translate
    QToolButton* JvxSpeedButton7 = nullptr; // vol+
    QToolButton* JvxSpeedButton8 = nullptr; // vol-
    QSystemTrayIcon* ti = nullptr;

    // Menus and their items.
    QMenu* pm = nullptr;
    QAction *Show1 = nullptr, *Pause1 = nullptr, *Next1 = nullptr, *Neverplayagain1 = nullptr;
    QAction* Previous1 = nullptr;
    QAction *Vol1 = nullptr, *Vol2 = nullptr, *Adddirectory1 = nullptr, *LoadPLS1 = nullptr;
    QAction *Clearinternallist1 = nullptr, *Undoclear1 = nullptr, *Testallfiles1 = nullptr;
    QAction* Findsong1 = nullptr;
    QAction *ShowLog1 = nullptr, *Exit1 = nullptr, *Globalhotkeys1 = nullptr;
    QMenu* pmlyr = nullptr;
    QAction *Quicksave1 = nullptr, *Speichern1 = nullptr, *Find1 = nullptr, *Replace1 = nullptr;
    QAction *Fontsizesmall1 = nullptr, *N8 = nullptr, *Customfont1 = nullptr;
    QAction *Translate1 = nullptr, *Versebank1 = nullptr, *srchen = nullptr;
    QAction *Searchoptions1 = nullptr, *Customsearch1 = nullptr, *Neusuchen1 = nullptr;
    QAction *Lyricsdatabase1 = nullptr, *Usedatabase1 = nullptr, *Fetchall1 = nullptr;
    QAction *LyricsEarlier1 = nullptr, *LyricsLater1 = nullptr, *Timethelyrics1 = nullptr;
    QAction* Publish1 = nullptr;
    QMenu* pmn = nullptr;
    QAction *cnff = nullptr, *Closeframe1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction *Playthissong1 = nullptr, *Closeframe2 = nullptr;
    QMenu* pmtrns = nullptr;
    QAction* MenuItem2 = nullptr;

    QTimer* dt = nullptr;
    QTimer* fadetmr = nullptr;
    QTimer* lsave = nullptr;
    QTimer* lrctmr = nullptr; // runs while the memo shows timed lyrics
    QTimer* clocktmr = nullptr; // turns the position label when the next second begins
    QTimer* seektmr = nullptr;  // a seek's short fade

    // What the session bus may ask of and tell the player.
    MprisControl mprisControl();

signals:
    // These player properties (as the session bus names them) have changed.
    void playerChanged(const QStringList& properties);
    // The playing song was moved to this position, by the user or over the bus.
    void seeked(long long positionMs);
    // What "Undo clear" would put back has changed (a clear, the undo, an import, the exit).
    void clearUndoChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startFirstSong(const QStringList& args); // settings, the list and its first song
    void buildWidgets();
    void buildToolbar();
    void buildBottomBar();
    void buildSidePanel();
    void buildSettingsBox();
    void buildMenus();
    void buildTray();
    void buildLyrics();
    void saveLyricsTo(const std::string& path, const std::string& text);
    // Nothing of the song's lyrics to save (a placeholder, a read under way): says so.
    bool nothingToSave();
    bool placeholderShown() const; // the search's "Search: ..." line, unedited
    std::string m_placeholder;
    void songAnswer(const std::string& text); // the user's answer about the song's lyrics
    void showBusy();
    void showLyricsStatus(const std::string& text); // a status of the lyrics lookup
    void forgetLyricsStatus();
    void startFadeOut();
    void highlightLine(std::optional<std::size_t> line, std::optional<std::size_t> word = {});
    bool seekToLineAt(const QPoint& viewportPos); // Ctrl+click on a timed line
    void seekTo(long long positionMs);
    void seekNow(); // to m_seekTarget, at once
    void seektmrTimer();
    static constexpr int kSeekFadeSteps = 4; // of 10 ms, down and again up
    std::optional<long long> m_seekTarget;
    int m_seekStep = 0;
    void installDefaults();
    // Whether a message goes to the tray rather than a box: only while the window is hidden
    // and a notification service shows it where notices appear.
    bool trayMessageReaches() const;

    void startSong(std::size_t index, const std::string& path);
    void setTitles(const QString& title);
    void showPauseCaption(bool playing);
    void keepTicking();
    void showTimes(); // position and length labels from the player, as known now
    void tellPlayProblem(const std::string& text);
    // After a clear: the copy's failure, if any, and the offer to undo.
    void offerClearUndo(const std::string& text, const ClearUndo::Cleared& cleared);
    void forgetClear();
    void showUndoState();
    // Tells at once, rather than at the first save, that the list's changes cannot be kept.
    void checkListWritable();
    // Marker lines: a log that cannot be written is reported once and the work goes on.
    void logMarker(const std::string& line);
    // What the user must know (the log, the settings or the list cannot be written, the
    // list cannot be used): shown once per kind until that kind works again.
    enum class Failure { PlayLog, Settings, ListSave, ListLoad };
    void reportFailure(Failure kind, const std::string& text);
    void clearFailure(Failure kind);

    // Frame switching helpers.
    void openArea();
    void resizeToWidth(int w);
    void showOnly(QWidget* frame);
    void closeFrames(std::initializer_list<QWidget*> frames);
    void searchBarSteps(bool finderMode);
    // On Wayland a desktop lets the window take the focus with a token from it (empty: none).
    void bringToFront(const QString& activationToken = {});
    void setTextFont(const QFont& font);
    // The translation frame shown with `text` ("\n" line breaks).
    void showTranslationText(const QString& text);
    // offlineTranslation run beside the event loop, its problems on the status line; then()
    // gets its entries unless a newer lookup started meanwhile.
    void localTranslation(const std::string& word,
                          std::function<void(const std::optional<std::string>&)> then);
    AsideLane m_dictionaryLane{this};
    // The status line says what an import or a drop added, and which added files are not there.
    void tellAdded(AddedSongs added);
    AsideLane m_addedLane{this};

    FormServices m_services;
    BoxesOverWindow* m_boxes = nullptr; // where the default boxes show
    // The activation token the portal sent with the press being posted, and with the one
    // being run.
    QString m_pressToken, m_runToken;
    std::string m_status;
    StatusLine m_statusLine;
    QTimer* statustmr = nullptr; // a program message ends
    void refreshStatus();
    // The word of the last lookup, for the offline dictionaries when the page fails.
    std::string m_translationWord;
    // Raised by every lookup: one that ends after a newer one started shows nothing.
    std::uint64_t m_translationGeneration = 0;
    std::unique_ptr<RandomSource> m_ownRandom;
    std::unique_ptr<SettingsStore> m_ownSettings;
    PlayLog m_playLog;
    TempoTapper m_tapper;
    ShiftTaps m_shiftTaps;
    void tempoKey(QWidget* widget, QKeyEvent* key); // a key of this window or its dialogs
    unsigned m_failuresShown = 0;
    std::unique_ptr<SongListLock> m_listLock;
    std::optional<Selection> m_firstDraw; // the draw made before the window, for its first song
    ClearUndo m_clearUndo;
    PlayHistory m_history;
    bool m_pendingBack = false; // the song the fade leads to is played by going back
    std::unique_ptr<HttpClient> m_http; // IdHTTP1
    LyricsSearch* m_lyrics = nullptr;
    std::optional<LrcLyrics> m_synced;       // the timed lyrics the memo shows
    std::optional<LyricsTiming> m_timing;    // while the user times the lyrics by hand
    bool timingKey(int key);
    void endTiming();
    void cutTiming(TimingCut why); // ended by the song or other lyrics: its stamps dropped
    // After a cut, the keys of timing still pressed do not reach the text, until another
    // key or a click in the memo shows the user knows.
    bool m_timingKeysHeld = false;
    // The song the memo's lyrics were shown for: F9 saves there, whatever plays now.
    std::string m_lyricsSong;
    std::optional<std::size_t> m_syncedLine; // the highlighted line
    std::optional<std::size_t> m_syncedWord; // and in it the sung word, in enhanced LRC
    long long m_lyricsShiftMs = 0;           // earlier than the lyrics as loaded
    void shiftLyrics(long long earlierMs);
    void applyShift();
    long long m_shiftAskedMs = 0; // presses not yet applied: they move the lines once
    bool m_shiftQueued = false;
    // The lyrics as they came, while the memo shows them shortened or cut (and read-only).
    std::optional<std::string> m_wholeLyrics;
    bool m_lyricsPart = false; // the memo shows the beginning of a file never read whole
    bool m_harvestBusy = false, m_databaseBusy = false;
    std::string m_lyricsStatus; // the last status line the lyrics lookup gave
    bool m_closed = false;
    bool m_exitFadeDone = false; // the exit fade ended: the close it asks for saves what changed
    // Exit saves: what was saved last, and why the last try failed (empty: it did not).
    std::uint64_t m_listSavedVersion = 0;
    std::optional<Settings> m_settingsSaved;
    std::string m_listSaveError, m_settingsSaveError;
    bool m_closing = false;     // the close began: failing saves are told once, at the end
    bool m_systemClose = false; // no one may see a box: a notification tells instead
    int m_exitCode = 0;
    Settings currentSettings() const;
    void closeFramesForSave(); // the saved width never includes the side area
    void saveChangesSinceClose();
    void keepListAfterFailedSave();
    long long m_lengthShown = 0; // -1: to be shown anew
    long long m_lengthAnnounced = 0; // the length media controls were last told
    // The last song skipped or the list found unplayable, during the latest pick: the
    // status line says it, and the tray hint carries it for a hidden window.
    std::string m_playNote;
    bool m_nonePlayableTold = false; // said once until a song starts again
    int m_idleBackoffTicks = 0; // end-of-song ticks to wait after a try that played nothing
    int m_idleTicksToSkip = 0;
    int m_panelWidth = 230;
    bool m_ownResize = false; // resizeToWidth at work: not the user's width
    bool m_finderMode = true; // what btnsrch runs: the finder or the catalogue search

    // ---- lyrics catalogue search (TForm1Catalogue.cpp); Button3Click and Versebank1Click
    // are declared with the lyrics commands above.
  public:
    void btnnClick();
    void btnbClick();
    // A row of lb became selected (Selected) or lost its selection.
    void lbSelectItem(int Item, bool Selected);
    void lbEditing(bool& AllowEdit);
    void lbusyCatalogueClick(); // a click on lbusy ends the waiting catalogue fetch
    QTreeWidget* lb = nullptr;
    QRadioButton* stitle = nullptr;
    QRadioButton* sfull = nullptr;
    QPushButton* btnb = nullptr;
    QPushButton* btnn = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* lanz = nullptr;
    QLabel* lbusy = nullptr;

  private:
    void buildCatalogueFrame();   // fills lyrworld
    void createCatalogueSearch(); // once m_http exists
    std::unique_ptr<CatalogueSearch> m_catalogue;
};

} // namespace larkspur
