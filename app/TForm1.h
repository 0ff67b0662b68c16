#pragma once
// The main window. Handlers keep the names of their control and event; each reads the
// widgets, calls into the core and shows the result. Widgets are public so tests can
// drive them; timer handlers can be called directly.

#include "app/core/FormState.h"
#include "playback/MediaPlayer.h"
#include "playback/PlayLog.h"
#include "playback/Selection.h"
#include "playback/SongList.h"

#include <QDateTime>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSlider;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolButton;

namespace larkspur {

// What the window needs from the platform; tests replace any of it.
struct FormServices
{
    MediaPlayer* mp = nullptr; // not owned; must outlive the window
    FileExists fileExists;     // default: a regular file exists at the path
    RandomSource* random = nullptr; // not owned; default: a clock-seeded generator
    std::function<QDateTime()> now; // default: the local time
    // The open dialog shown at start without an argument; empty result = cancelled.
    std::function<std::string()> askListFile;
    // Shows an error to the user (default: a message box that does not block).
    std::function<void(const std::string&)> showError;
    std::string executableDir;
    std::string playLogFile = "log.txt";
};

class TForm1 : public QWidget, public FormState
{
    Q_OBJECT

public:
    explicit TForm1(FormServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up, called once before the event loop runs. args: the command-line arguments
    // after the program name.
    void FormCreate(const QStringList& args);
    // The close routine; allowClose false keeps the window open (exit fade).
    void FormClose(bool& allowClose);
    // The list file named by the first argument.
    std::string resolveListFile(const std::string& argument) const;

    // Song list and play log.
    bool LoadSongList(const std::string& fileName);
    void SaveSongList();
    void AppendToPlayLog(const std::string& line); // throws PlayLogError
    void lsaveTimer();

    // Selection and playback control.
    void PlayNextSong(int Index);
    void Pause1Click();
    void Next1Click();
    void Neverplayagain1Click();
    void dtTimer();

    // Volume and fading.
    void SetPlayerVolume(int Value);
    void FadeToNextSong(int Index);
    void fadetmrTimer();
    void Vol1Click();
    void Vol2Click();
    void voltrChange();

    // Hooks for the lyrics lookup and the log frame.
    void LookupLyrics(const std::string& name);
    void ShowLog1Click();

    bool closed() const { return m_closed; }
    MediaPlayer& mp() { return *m_services.mp; }

    SongList dl;

    // Widgets.
    QWidget* Paneltop = nullptr;
    QWidget* Panelbottom = nullptr;
    QSplitter* mainpanel = nullptr;
    QPlainTextEdit* memo1 = nullptr;
    QWidget* Panelright = nullptr;
    QPlainTextEdit* logtxt = nullptr;
    QSlider* voltr = nullptr;
    QLabel* ltime = nullptr;
    QLabel* itime = nullptr;
    QLabel* lbpm = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lbusy2 = nullptr;
    QLabel* lpos = nullptr;
    QToolButton* JvxSpeedButton1 = nullptr; // pause / play
    QToolButton* JvxSpeedButton2 = nullptr; // next
    QToolButton* JvxSpeedButton3 = nullptr; // find
    QToolButton* JvxSpeedButton4 = nullptr; // save
    QToolButton* JvxSpeedButton5 = nullptr; // search
    QToolButton* JvxSpeedButton6 = nullptr; // translate
    QToolButton* JvxSpeedButton7 = nullptr; // vol+
    QToolButton* JvxSpeedButton8 = nullptr; // vol-
    QSystemTrayIcon* ti = nullptr;

    QMenu* pm = nullptr;
    QAction* Show1 = nullptr;
    QAction* Pause1 = nullptr;
    QAction* Next1 = nullptr;
    QAction* Neverplayagain1 = nullptr;
    QAction* Vol1 = nullptr;
    QAction* Vol2 = nullptr;
    QAction* ShowLog1 = nullptr;
    QAction* Exit1 = nullptr;

    QTimer* dt = nullptr;
    QTimer* fadetmr = nullptr;
    QTimer* lsave = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWidgets();
    void buildMenus();
    void startSong(std::size_t index, const std::string& path);
    void setTitles(const QString& title);
    void showPauseCaption(bool playing);
    // Marker lines: a log that cannot be written is reported once and the work goes on.
    void logMarker(const std::string& line);
    void reportLogFailure(const std::exception& e);
    void resetTapState();

    FormServices m_services;
    std::unique_ptr<RandomSource> m_ownRandom;
    PlayLog m_playLog;
    bool m_logFailureReported = false;
    bool m_closed = false;
    long long m_lengthShown = 0;
};

} // namespace larkspur
