// Start-up, shutdown, settings and the window's own events.

#include "app/TForm1.h"
#include "app/BoxesOverWindow.h"
#include "app/ListFileDialog.h"
#include "app/core/QSettingsStore.h"
#include "app/core/Settings.h"
#include "app/core/SettingsPanel.h"
#include "app/core/StartupPath.h"
#include "app/core/X11Taskbar.h"
#include "playback/DirectoryScanner.h"
#include "playback/Fader.h"
#include "playback/SongListFile.h"
#include "web/HttpClient.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <cstdio>
#include <sys/stat.h>
#include <thread>

namespace larkspur {

namespace {

const QString kAppName = QStringLiteral("Larkspur");
const QString kPlaylistFilter =
    QStringLiteral("PLS List (*.pls);;M3U List (*.m3u);;Textfile (*.txt);;All Files (*)");

std::string askFile(QWidget* parent, const QString& title, const std::string& folder,
                    const QString& startFilter = {})
{
    QFileDialog od(parent, title, QString::fromLocal8Bit(folder), kPlaylistFilter);
    od.setFileMode(QFileDialog::ExistingFile);
    od.setDefaultSuffix(QStringLiteral("pls"));
    od.setOption(QFileDialog::ReadOnly, false);
    if (!startFilter.isEmpty()) od.selectNameFilter(startFilter);
    if (od.exec() != QDialog::Accepted || od.selectedFiles().isEmpty()) return {};
    return od.selectedFiles().first().toLocal8Bit().toStdString();
}

// The scan runs on a worker thread; the dialog counts folders and songs and can cancel. The
// handler that asked has returned by then: done() gets the result, or a cancelled one at
// once when the user cancels (a worker still busy is left to end by itself). A newer scan
// cancels the one under way.
void scanWithProgress(QWidget* parent, const std::string& folder,
                      std::function<void(ScanResult)> done)
{
    struct Scan
    {
        std::atomic<std::size_t> folders{0}, songs{0};
        std::atomic<bool> finished{false};
        DirectoryScanner scanner;
        ScanResult found;
        std::exception_ptr failure; // carried over to the interface thread
        Scan()
            : scanner([this](const ScanProgress& p) {
                  folders.store(p.folders, std::memory_order_relaxed);
                  songs.store(p.songs, std::memory_order_relaxed);
              })
        {}
    };
    static QPointer<QProgressDialog> running;
    if (running) running->cancel();
    auto scan = std::make_shared<Scan>();
    std::thread([scan, folder] {
        try {
            scan->found = scan->scanner.scan(folder, "*.mp3", true);
        } catch (...) {
            scan->failure = std::current_exception();
        }
        scan->finished.store(true);
    }).detach();
    auto* dialog =
        new QProgressDialog(QStringLiteral("Scanning..."), QStringLiteral("&Cancel"), 0, 0, parent);
    running = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Add directory"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(300);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    auto answered = std::make_shared<bool>(false);
    const auto answer = [answered, done](ScanResult result) {
        if (*answered) return;
        *answered = true;
        done(std::move(result));
    };
    auto* poll = new QTimer(dialog);
    poll->setInterval(50);
    QObject::connect(poll, &QTimer::timeout, dialog, [scan, dialog, answer, poll] {
        dialog->setLabelText(QStringLiteral("Folders: %1    Songs: %2")
                                 .arg(scan->folders.load())
                                 .arg(scan->songs.load()));
        if (!scan->finished.load()) return;
        poll->stop();
        // Answered before the close, whose canceled() then finds the scan answered.
        ScanResult result;
        if (!scan->failure && !scan->scanner.cancelled())
            result = std::move(scan->found);
        else
            result.cancelled = true;
        const std::exception_ptr failure = scan->failure;
        if (!failure) answer(std::move(result));
        dialog->close();
        // Reported as an error of the handler that asked would be.
        if (failure) std::rethrow_exception(failure);
    });
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [scan, dialog, answer] {
        scan->scanner.cancel();
        dialog->close();
        ScanResult cancelled;
        cancelled.cancelled = true;
        answer(cancelled);
    });
    poll->start();
    dialog->open();
}

} // namespace

TForm1::TForm1(FormServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)), m_playLog(m_services.playLogFile),
      m_tapper(m_services.tapClockMs)
{
    m_boxes = new BoxesOverWindow(this);
    installDefaults();
    statustmr = new QTimer(this);
    statustmr->setSingleShot(true);
    connect(statustmr, &QTimer::timeout, this, &TForm1::refreshStatus);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kAppName);
    setAcceptDrops(true);
    buildWidgets();
    buildMenus();
    buildLyrics(); // cheap: curl and its TLS library start with the first fetch
    resize(367, 457);
    qApp->installEventFilter(this); // the window sees every key before its controls
    memo1->setFocus();

    dt = new QTimer(this);
    dt->setInterval(500);
    connect(dt, &QTimer::timeout, this, &TForm1::dtTimer);
    fadetmr = new QTimer(this);
    fadetmr->setInterval(kFadeIntervalMs);
    // A coarse timer may fire each tick up to 5 % late, which adds up over a fade.
    fadetmr->setTimerType(Qt::PreciseTimer);
    connect(fadetmr, &QTimer::timeout, this, &TForm1::fadetmrTimer);
    lsave = new QTimer(this);
    lsave->setInterval(60000);
    connect(lsave, &QTimer::timeout, this, &TForm1::lsaveTimer);

    hkmng = new THotKeyManager(m_services.hotKeyBackend(), this);
    globalActions = new GlobalActions(this);
    connect(hkmng, &THotKeyManager::OnHotKeyPressed, this, &TForm1::hotKeyArrived);
    if (!hkmng->available()) disableHotkeySwitch();
    // Set for the next line's start each time, so a line lights up when it is sung.
    lrctmr = new QTimer(this);
    lrctmr->setSingleShot(true);
    lrctmr->setTimerType(Qt::PreciseTimer);
    connect(lrctmr, &QTimer::timeout, this, &TForm1::lrctmrTimer);
    seektmr = new QTimer(this);
    seektmr->setInterval(10);
    seektmr->setTimerType(Qt::PreciseTimer);
    connect(seektmr, &QTimer::timeout, this, &TForm1::seektmrTimer);
    clocktmr = new QTimer(this);
    clocktmr->setSingleShot(true);
    clocktmr->setTimerType(Qt::PreciseTimer);
    connect(clocktmr, &QTimer::timeout, this, &TForm1::showTimes);
}

std::string askListFileDialog(QWidget* parent, const std::string& folder)
{
    return askFile(parent, QStringLiteral("Open Larkspur Playlist File"), folder,
                   QStringLiteral("Textfile (*.txt)"));
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
}

bool TForm1::trayMessageReaches() const
{
    // A hidden window's box pops up out of nowhere; but without a notification service Qt
    // draws the tray message itself, in a corner far from where the user looks.
    return isHidden() && ti && ti->isVisible() && QSystemTrayIcon::supportsMessages() &&
           m_services.notificationService();
}

void TForm1::installDefaults()
{
    auto& s = m_services;
    if (!s.fileExists) s.fileExists = regularFileExists;
    if (!s.random) {
        m_ownRandom = std::make_unique<TimeSeededRandom>();
        s.random = m_ownRandom.get();
    }
    if (!s.now) s.now = [] { return QDateTime::currentDateTime(); };
    if (!s.settings) {
        m_ownSettings = std::make_unique<QSettingsStore>();
        s.settings = m_ownSettings.get();
    }
    if (!s.notificationService)
        s.notificationService = [] {
            const QDBusConnection bus = QDBusConnection::sessionBus();
            return bus.isConnected() && bus.interface() &&
                   bus.interface()->isServiceRegistered(
                       QStringLiteral("org.freedesktop.Notifications"));
        };
    if (!s.showError) {
        s.showError = [this](const std::string& text) {
            std::fprintf(stderr, "larkspur: %s\n", text.c_str());
            if (trayMessageReaches()) {
                ti->showMessage(kAppName, QString::fromLocal8Bit(text), QSystemTrayIcon::Warning);
                return;
            }
            auto* box = new QMessageBox(QMessageBox::Critical, kAppName,
                                        QString::fromLocal8Bit(text), QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            m_boxes->show(box);
        };
    }
    if (!s.showFatal)
        s.showFatal = [this](const std::string& text) {
            std::fprintf(stderr, "larkspur: %s\n", text.c_str());
            // A window never shown has no place to stand over: the box takes the screen's middle.
            QMessageBox::critical(m_boxes->windowShown() ? this : nullptr, kAppName,
                                  QString::fromLocal8Bit(text));
        };
    if (!s.notifyDesktop)
        s.notifyDesktop = [this](const std::string&, const std::string& body) {
            m_services.showError(body);
        };
    if (!s.showInfo) {
        s.showInfo = [this](const std::string& text) {
            if (trayMessageReaches()) {
                ti->showMessage(kAppName, QString::fromLocal8Bit(text),
                                QSystemTrayIcon::Information);
                return;
            }
            auto* box = new QMessageBox(QMessageBox::Information, kAppName,
                                        QString::fromLocal8Bit(text), QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::WindowModal);
            m_boxes->show(box);
        };
    }
    if (!s.offerUndo) {
        s.offerUndo = [this](const std::string& text, std::function<void()> undo) {
            const QString message = QString::fromLocal8Bit(text);
            // From the tray the window is hidden; the tray's menu has "Undo clear".
            if (trayMessageReaches()) {
                ti->showMessage(kAppName,
                                message + QStringLiteral(" \"Undo clear\" puts the songs back."),
                                QSystemTrayIcon::Information);
                return;
            }
            auto* box =
                new QMessageBox(QMessageBox::Information, kAppName, message, QMessageBox::Ok, this);
            QPushButton* button = box->addButton(QStringLiteral("&Undo"), QMessageBox::ActionRole);
            box->setEscapeButton(QMessageBox::Ok); // else Esc and close() leave it open
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            connect(button, &QPushButton::clicked, this, std::move(undo));
            // Undone from the menu, cleared again or forgotten: this offer no longer stands.
            connect(this, &TForm1::clearUndoChanged, box, &QWidget::close);
            m_boxes->show(box);
        };
    }
    if (!s.askListFile)
        s.askListFile = [this](const std::string& folder) {
            return askListFileDialog(this, folder);
        };
    if (!s.askPlaylistFile)
        s.askPlaylistFile = [this](const std::string& folder) {
            return askFile(this, QStringLiteral("Open a Playlist File!"), folder);
        };
    if (!s.askDirectory)
        s.askDirectory = [this](const std::string& folder) {
            return QFileDialog::getExistingDirectory(this, QStringLiteral("Select MP3 Directory:"),
                                                     QString::fromLocal8Bit(folder))
                .toLocal8Bit()
                .toStdString();
        };
    if (!s.askFont)
        s.askFont = [this](QFont& font) {
            bool ok = false;
            const QFont chosen = QFontDialog::getFont(&ok, font, this);
            if (ok) font = chosen;
            return ok;
        };
    if (!s.hotKeyBackend) s.hotKeyBackend = [this] { return defaultHotKeyBackend(); };
    if (!s.scanDirectory)
        s.scanDirectory = [this](const std::string& folder,
                                 std::function<void(ScanResult)> done) {
            scanWithProgress(this, folder, std::move(done));
        };
}

// ---- start-up and shutdown -------------------------------------------------------------

void TForm1::FormCreate(const QStringList& args)
{
    startFirstSong(args);
    if (m_closed) return;
    // What the first song need not wait for, built once it plays (or could not start).
    if (m_services.loadTranslations) m_services.loadTranslations();
    buildTray();
    setTitles(windowTitle());
    RegisterHotKeys();
}

void TForm1::startFirstSong(const QStringList& args)
{
    FadeSpeed = 50;
    EntriesPerPage = 10;
    CataloguePageStart = 0;
    CatalogueTotal = 0;
    NormalWidth = width();
    AutoLyricsPending = true;
    Preamble = "lyrics";
    Appendix.clear();
    SplitterChar = "-";
    m_tapper.reset();
    Volume = 1000;
    mp().setUserVolume(Volume);
    SetPlayerVolume(1000);
    LoadSettings();
    FadeStep = std::max(1, FadeSpeed);
    lpos->setText(QStringLiteral("1-") + QString::number(EntriesPerPage));
    logMarker(kLogStart);
    ListFileName.clear();

    std::vector<std::string> given;
    for (const QString& arg : args) given.push_back(arg.toLocal8Bit().toStdString());
    std::string name = m_services.startupList
                           ? *m_services.startupList
                           : startupListName(given, m_services.executableDir,
                                             m_services.desktopMode, *m_services.settings);
    if (name.empty() && given.empty()) {
        if (m_services.loadTranslations) m_services.loadTranslations(); // the dialog's words
        name = m_services.askListFile(dialogFolderFor(kLastListFolderSetting));
        if (name.empty() || m_closed) return;
    }
    // The song already playing came from this list as it was read then.
    std::shared_ptr<FirstSong> first = std::exchange(m_services.firstSong, nullptr);
    if (first && first->listFile != name) first.reset();
    if (first) {
        dl = std::move(first->list);
        m_listLock = std::move(first->lock);
        m_firstDraw = std::move(first->selection);
    }
    if (first || LoadSongList(name)) {
        if (!first && !takeListLock(name)) return;
        ListFileName = name;
        checkListWritable();
        if (m_services.desktopMode) m_services.settings->writeAll({{kLastListSetting, name}});
        rememberFolder(kLastListFolderSetting, folderOfPath(name));
        PlayNextSong(-1);
        if (!m_closed) lsave->start(); // a close may come while the song starts
    }
}

bool TForm1::takeListLock(const std::string& name)
{
    // Two copies on one list would each save their own counts over the other's.
    m_listLock = std::make_unique<SongListLock>();
    if (m_listLock->acquire(name, m_services.runtimeFolder) != SongListLock::Result::HeldElsewhere)
        return true;
    m_listLock.reset();
    dl.clear();
    m_closed = true;
    logMarker(kLogExit);
    if (m_services.loadTranslations) m_services.loadTranslations(); // the box's button
    m_services.showFatal("Larkspur is already playing the song list \"" + name +
                         "\" in another window. Use that one, or start Larkspur with another list.");
    return false;
}

void TForm1::FormClose(bool& allowClose)
{
    logMarker(kLogExit);
    // The fade starts before the saves, so it is heard as soon as the close is asked for.
    if (mp().mode() == PlayerMode::Playing) {
        allowClose = false;
        CloseAfterFade = true;
        startFadeOut();
    }
    forgetClear(); // the save below makes the clear final
    m_closing = true;
    SaveSongList();
    closeFramesForSave();
    SaveSettings();
}

void TForm1::closeForSystem()
{
    m_systemClose = true;
    close();
}

void TForm1::sessionEnding()
{
    m_systemClose = true;
    SaveSongList();
}

void TForm1::closeFramesForSave()
{
    if (isVisible()) {
        CloseAllFrames();
    } else {
        Panelright->hide();
        resizeToWidth(NormalWidth > 0 ? NormalWidth : width());
    }
}

// The close at the end of the exit fade: a ban or a volume change made while it faded is
// kept; when nothing changed, nothing is written twice.
void TForm1::saveChangesSinceClose()
{
    if (!ListFileName.empty() && dl.version() != m_listSavedVersion) SaveSongList();
    closeFramesForSave();
    if (currentSettings() != m_settingsSaved) SaveSettings();
}

// The exit could not save: the list as it stands goes where a clear keeps its copy, and the
// user learns where. The program then ends with a failure status.
void TForm1::keepListAfterFailedSave()
{
    std::string text = m_listSaveError;
    if (!m_settingsSaveError.empty()) text += (text.empty() ? "" : " ") + m_settingsSaveError;
    if (!ListFileName.empty()) {
        const ListCopy copy = copyListAside(dl, ListFileName, m_services.backupFolder, "unsaved");
        if (copy.error.empty())
            text += " The song list with its play counts was kept as \"" + copy.path + "\".";
        else
            text += " No copy of the song list could be kept either (" + copy.error + ").";
    }
    m_exitCode = 1;
    std::fprintf(stderr, "larkspur: %s\n", text.c_str());
    if (m_systemClose)
        m_services.notifyDesktop("Larkspur could not save at its end", text);
    else
        m_services.showFatal(text);
}

void TForm1::LoadSettings()
{
    Settings s;
    std::string bad;
    for (const auto& name : loadSettings(*m_services.settings, s))
        bad += (bad.empty() ? "\"" : ", \"") + name + "\"";
    if (!bad.empty())
        reportFailure(Failure::Settings, "Settings not read as whole numbers, their defaults are used: " + bad + ".");
    if (s.windowX || s.windowY) move(s.windowX.value_or(x()), s.windowY.value_or(y()));
    resize(s.windowWidth, s.windowHeight);
    NormalWidth = width();
    m_panelWidth = std::max(s.panelWidth, 20);
    applySettingsToState(s, *this);
    SetTextFontSize(s.fontPointSize);
    // After the fade speed, so the volume's change computes the step with it.
    voltr->setValue(s.volumeTrackPosition);
    hotKeySettings = loadHotKeySettings(*m_services.settings);
    Globalhotkeys1->setChecked(hotKeySettings.enabled);
    Usedatabase1->setChecked(s.lyricsDatabase);
}

Settings TForm1::currentSettings() const
{
    Settings s;
    s.windowX = x();
    s.windowY = y();
    s.windowWidth = NormalWidth > 0 && !areaOpen() ? NormalWidth : width();
    s.windowHeight = height();
    s.panelWidth = m_panelWidth;
    copyStateToSettings(*this, s);
    s.fontPointSize = memo1->font().pointSize();
    s.volumeTrackPosition = voltr->value();
    s.lyricsDatabase = Usedatabase1->isChecked();
    return s;
}

bool TForm1::SaveSettings()
{
    const Settings s = currentSettings();
    if (saveSettings(*m_services.settings, s)) {
        m_settingsSaved = s;
        m_settingsSaveError.clear();
        clearFailure(Failure::Settings);
        return true;
    }
    const std::string where = m_services.settings->location();
    m_settingsSaveError = "The settings could not be saved" +
                          (where.empty() ? std::string(".") : " in \"" + where + "\".");
    reportFailure(Failure::Settings, m_settingsSaveError);
    return false;
}

// ---- window events ---------------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* event)
{
    if (m_closed) { // a second request, or a copy that never took its list
        event->accept();
        QCoreApplication::quit();
        return;
    }
    // The exit fade is under way: further requests (a second click, Quit from the bus) would
    // log the exit and save again and restart the fade. Its own close comes from the timer.
    if (CloseAfterFade && fadetmr->isActive()) {
        event->ignore();
        return;
    }
    // The close at the end of the exit fade: its log line as ever (log readers count two);
    // the saves came before the fade, and only what changed since is saved again.
    bool allow = true;
    if (m_exitFadeDone) {
        logMarker(kLogExit);
        saveChangesSinceClose();
    } else {
        FormClose(allow);
    }
    if (!allow) {
        event->ignore();
        return;
    }
    event->accept();
    dt->stop();
    clocktmr->stop();
    fadetmr->stop();
    lsave->stop();
    m_closed = true;
    if (!m_listSaveError.empty() || !m_settingsSaveError.empty()) {
        hkmng->ReleaseAllKeys(); // nothing may start again behind the message
        keepListAfterFailedSave();
    }
    if (ti) ti->hide();
    QCoreApplication::quit();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The width the user keeps is one the user (or the window manager) gave: not one the
    // window took by itself to fit its contents, nor one of our own resizes.
    const bool grewToFit = !event->spontaneous() && event->size().width() == minimumWidth() &&
                           event->oldSize().width() < event->size().width();
    if (!m_ownResize && !grewToFit && !areaOpen()) NormalWidth = width();
    FormResize();
}

void TForm1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Minimized, the window lives on in the tray only; without a tray it stays minimized.
    if (event->type() == QEvent::WindowStateChange && isMinimized() &&
        QSystemTrayIcon::isSystemTrayAvailable())
        QTimer::singleShot(0, this, [this] { hide(); });
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // With a tray the icon is the window's place, so no task bar entry; without one the
    // entry stays, or a minimized window could not be reached.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>())
        skipTaskbar(x11->connection(), static_cast<std::uint32_t>(winId()));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toLocal8Bit().toStdString());
    LMDFMDrop1FMDragDrop(paths);
    event->acceptProposedAction();
}

namespace {

// The window itself, or a dialog it owns.
bool ownedBy(const QWidget* widget, const QWidget* window)
{
    for (const QWidget* w = widget->window(); w;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr)
        if (w == window) return true;
    return false;
}

} // namespace

void TForm1::tempoKey(QWidget* widget, QKeyEvent* key)
{
    if (key->key() != Qt::Key_Shift) {
        // A shortcut's key comes only as an override, never as a press.
        if (key->type() != QEvent::KeyRelease) m_shiftTaps.otherInput();
        return;
    }
    // Read-only text takes no capitals: there Shift taps as anywhere else.
    const bool textField = widget->testAttribute(Qt::WA_InputMethodEnabled);
    std::optional<std::int64_t> at;
    if (key->type() == QEvent::KeyRelease)
        at = m_shiftTaps.released(key->isAutoRepeat());
    else if (key->type() == QEvent::KeyPress && (textField || widget->window() == this))
        at = m_shiftTaps.pressed({m_tapper.nowMs(), textField,
                                  (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0,
                                  key->isAutoRepeat()});
    if (!at) return;
    if (const auto bpm = m_tapper.tapAt(*at)) lbpm->setText(QString::number(*bpm));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    const auto type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease ||
         type == QEvent::ShortcutOverride) &&
        watched->isWidgetType()) {
        // Only the first delivery of a key, to the focused control.
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == (QApplication::focusWidget() ? QApplication::focusWidget() : this) &&
            ownedBy(widget, this))
            tempoKey(widget, static_cast<QKeyEvent*>(event));
    } else if (type == QEvent::MouseButtonPress) {
        m_shiftTaps.otherInput(); // Shift with a click selects text
    }
    if (type == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        // Only the first delivery of a key, to the focused control of this window.
        QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : this;
        if (widget == first && widget->window() == this) {
            auto* key = static_cast<QKeyEvent*>(event);
            // Timing by hand takes its keys first: Esc ends it before it closes any frame.
            if (m_timing && !key->isAutoRepeat() && timingKey(key->key())) return true;
            if (m_timingKeysHeld) {
                const int k = key->key();
                m_timingKeysHeld =
                    widget == memo1 && (k == Qt::Key_Space || k == Qt::Key_Backspace);
                if (m_timingKeysHeld || (widget == memo1 && k == Qt::Key_Escape)) return true;
            }
            if (key->key() == Qt::Key_Escape && areaOpen()) {
                CloseAllFrames();
                Show1Click();
                memo1->setFocus();
            }
            if (watched == List && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                ListKeyPress(13);
                return true;
            }
        }
    } else if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
               watched == lbusy2) {
        // The busy label ends the waiting fetch; it is no tempo tap.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) lbusyClick();
        return true;
    } else if (type == QEvent::MouseButtonPress && watched == memo1->viewport()) {
        m_timingKeysHeld = false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ControlModifier) &&
            seekToLineAt(mouse->position().toPoint()))
            return true;
    } else if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
               (watched == Panelbottom || watched == lbpm || watched == Label6)) {
        // Fast taps come as double clicks, whose second press is a beat like any other.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            (watched != Panelbottom || !Panelbottom->childAt(mouse->position().toPoint())))
            TapTempo();
    } else if (watched == editsrch && type == QEvent::FocusIn) {
        editsrchEnter();
    } else if (watched == editsrch && type == QEvent::FocusOut) {
        editsrchExit();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace larkspur
