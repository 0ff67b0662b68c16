#include "app/TForm1.h"

#include "app/Toolbar.h"
#include "app/core/StartupPath.h"
#include "playback/Fader.h"
#include "playback/TimeText.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSlider>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace larkspur {

namespace {

const QString kAppName = QStringLiteral("Larkspur");
const QString kPauseCaption = QStringLiteral("&Pause");
const QString kPlayCaption = QStringLiteral("&Play");

QString local(const std::string& bytes) { return QString::fromLocal8Bit(bytes); }

bool regularFileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string fileNamePart(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

TForm1::TForm1(FormServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)), m_playLog(m_services.playLogFile)
{
    if (!m_services.fileExists) m_services.fileExists = regularFileExists;
    if (!m_services.random) {
        m_ownRandom = std::make_unique<TimeSeededRandom>();
        m_services.random = m_ownRandom.get();
    }
    if (!m_services.now) m_services.now = [] { return QDateTime::currentDateTime(); };
    if (!m_services.showError) {
        m_services.showError = [this](const std::string& text) {
            std::fprintf(stderr, "larkspur: %s\n", text.c_str());
            auto* box = new QMessageBox(QMessageBox::Critical, kAppName, local(text),
                                        QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        };
    }

    setWindowTitle(kAppName);
    resize(367, 457);
    buildWidgets();
    buildMenus();

    dt = new QTimer(this);
    dt->setInterval(500);
    connect(dt, &QTimer::timeout, this, &TForm1::dtTimer);
    fadetmr = new QTimer(this);
    fadetmr->setInterval(kFadeIntervalMs);
    connect(fadetmr, &QTimer::timeout, this, &TForm1::fadetmrTimer);
    lsave = new QTimer(this);
    lsave->setInterval(60000);
    connect(lsave, &QTimer::timeout, this, &TForm1::lsaveTimer);
}

TForm1::~TForm1() = default;

void TForm1::buildWidgets()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Paneltop = new QWidget(this);
    Paneltop->setObjectName(QStringLiteral("Paneltop"));
    Paneltop->setFixedHeight(61);
    Paneltop->setAutoFillBackground(true);
    QPalette white = Paneltop->palette();
    white.setColor(QPalette::Window, Qt::white);
    Paneltop->setPalette(white);
    auto button = [this](QToolButton*& b, const QString& word, int left, int top) {
        b = new QToolButton(Paneltop);
        b->setObjectName(word);
        b->setAutoRaise(true);
        b->setGeometry(left, top, 64, 25);
        b->setIconSize(QSize(60, 23));
        b->setIcon(toolbarPicture(word));
        b->setToolTip(word);
    };
    button(JvxSpeedButton1, QStringLiteral("Pause"), 4, 4);
    button(JvxSpeedButton2, QStringLiteral("Next"), 72, 4);
    button(JvxSpeedButton3, QStringLiteral("Find"), 140, 4);
    button(JvxSpeedButton7, QStringLiteral("Vol+"), 208, 4);
    button(JvxSpeedButton5, QStringLiteral("Search"), 4, 32);
    button(JvxSpeedButton4, QStringLiteral("Save"), 72, 32);
    button(JvxSpeedButton6, QStringLiteral("T'late"), 140, 32);
    button(JvxSpeedButton8, QStringLiteral("Vol-"), 208, 32);
    connect(JvxSpeedButton1, &QToolButton::clicked, this, &TForm1::Pause1Click);
    connect(JvxSpeedButton2, &QToolButton::clicked, this, &TForm1::Next1Click);
    connect(JvxSpeedButton7, &QToolButton::clicked, this, &TForm1::Vol1Click);
    connect(JvxSpeedButton8, &QToolButton::clicked, this, &TForm1::Vol2Click);
    outer->addWidget(Paneltop);

    mainpanel = new QSplitter(Qt::Horizontal, this);
    mainpanel->setChildrenCollapsible(false);
    mainpanel->setHandleWidth(2);
    memo1 = new QPlainTextEdit(mainpanel);
    memo1->setObjectName(QStringLiteral("memo1"));
    memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Panelright = new QWidget(mainpanel);
    Panelright->setObjectName(QStringLiteral("Panelright"));
    auto* rightLayout = new QVBoxLayout(Panelright);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    logtxt = new QPlainTextEdit(Panelright);
    logtxt->setObjectName(QStringLiteral("logtxt"));
    logtxt->setReadOnly(true);
    logtxt->setLineWrapMode(QPlainTextEdit::NoWrap);
    logtxt->hide();
    rightLayout->addWidget(logtxt);
    Panelright->hide();
    outer->addWidget(mainpanel, 1);

    Panelbottom = new QWidget(this);
    Panelbottom->setObjectName(QStringLiteral("Panelbottom"));
    Panelbottom->setFixedHeight(29);
    auto* bottom = new QHBoxLayout(Panelbottom);
    bottom->setContentsMargins(4, 2, 4, 2);
    voltr = new QSlider(Qt::Horizontal, Panelbottom);
    voltr->setRange(0, 100);
    voltr->setValue(100);
    voltr->setFixedWidth(100);
    voltr->setTickPosition(QSlider::TicksBelow);
    voltr->setToolTip(QStringLiteral("Volume Control"));
    connect(voltr, &QSlider::valueChanged, this, &TForm1::voltrChange);
    bottom->addWidget(voltr);
    auto label = [this, bottom](const QString& text) {
        auto* l = new QLabel(text, Panelbottom);
        bottom->addWidget(l);
        return l;
    };
    label(QStringLiteral("Position:"));
    ltime = label(QString());
    label(QStringLiteral("of"));
    itime = label(QString());
    lbpm = label(QStringLiteral("0"));
    Label6 = label(QStringLiteral("bpm"));
    bottom->addStretch(1);
    lbusy2 = label(QString());
    outer->addWidget(Panelbottom);

    lpos = new QLabel(this);
    lpos->hide();

    memo1->setFocus();
}

void TForm1::buildMenus()
{
    pm = new QMenu(this);
    auto item = [this](const QString& caption, QKeySequence key, auto handler) {
        auto* a = pm->addAction(caption);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WindowShortcut);
            addAction(a); // keys act everywhere in the window
        }
        if constexpr (!std::is_same_v<decltype(handler), std::nullptr_t>)
            connect(a, &QAction::triggered, this, handler);
        return a;
    };
    Show1 = item(QStringLiteral("&Show"), {}, [this] {
        show();
        raise();
        activateWindow();
    });
    QFont bold = Show1->font();
    bold.setBold(true);
    Show1->setFont(bold);
    pm->setDefaultAction(Show1);
    pm->addSeparator();
    Pause1 = item(kPauseCaption, QKeySequence(Qt::Key_F4), &TForm1::Pause1Click);
    Next1 = item(QStringLiteral("&Next"), QKeySequence(Qt::Key_F3), &TForm1::Next1Click);
    Neverplayagain1 = item(QStringLiteral("Never play again"), {}, &TForm1::Neverplayagain1Click);
    Vol1 = item(QStringLiteral("Vol&+"), QKeySequence(Qt::Key_F2), &TForm1::Vol1Click);
    Vol2 = item(QStringLiteral("Vol&-"), QKeySequence(Qt::Key_F1), &TForm1::Vol2Click);
    pm->addSeparator();
    ShowLog1 = item(QStringLiteral("Show log..."), QKeySequence(Qt::Key_F7), &TForm1::ShowLog1Click);
    pm->addSeparator();
    Exit1 = item(QStringLiteral("&Exit"), {}, [this] { close(); });

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pm->popup(mapToGlobal(at)); });

    ti = new QSystemTrayIcon(toolbarPicture(QStringLiteral("L")), this);
    ti->setToolTip(kAppName);
    ti->setContextMenu(pm);
    connect(ti, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger) {
            show();
            raise();
            activateWindow();
        }
    });
    if (QSystemTrayIcon::isSystemTrayAvailable()) ti->show();
}

// ---- start-up and shutdown ------------------------------------------------------------

void TForm1::FormCreate(const QStringList& args)
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
    resetTapState();
    Volume = 1000;
    SetPlayerVolume(1000);
    FadeStep = std::max(1, FadeSpeed);
    lpos->setText(QStringLiteral("1-") + QString::number(EntriesPerPage));
    logMarker(kLogStart);
    ListFileName.clear();

    std::string name;
    if (!args.isEmpty()) {
        name = resolveListFile(args.first().toLocal8Bit().toStdString());
    } else if (m_services.askListFile) {
        name = m_services.askListFile();
        if (name.empty()) return;
    } else {
        return;
    }
    if (LoadSongList(name)) {
        ListFileName = name;
        PlayNextSong(-1);
        lsave->start();
    }
}

std::string TForm1::resolveListFile(const std::string& argument) const
{
    return resolveListArgument(argument, m_services.executableDir);
}

void TForm1::FormClose(bool& allowClose)
{
    logMarker(kLogExit);
    SaveSongList();
    // The saved width never includes the side area.
    Panelright->hide();
    resize(NormalWidth > 0 ? NormalWidth : width(), height());
    if (isVisible()) memo1->setFocus();

    if (mp().mode() == PlayerMode::Playing) {
        allowClose = false;
        CloseAfterFade = true;
        SetPlayerVolume(Volume);
        FadeStep = fadeStepFor(FadeSpeed, Volume);
        FadingIn = false;
        fadetmr->start();
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    bool allow = true;
    FormClose(allow);
    if (!allow) {
        event->ignore();
        return;
    }
    event->accept();
    dt->stop();
    fadetmr->stop();
    lsave->stop();
    if (ti) ti->hide();
    m_closed = true;
    QCoreApplication::quit();
}

// ---- song list and play log ------------------------------------------------------------

bool TForm1::LoadSongList(const std::string& fileName) { return loadSongList(fileName, dl); }

void TForm1::SaveSongList()
{
    if (ListFileName.empty()) return;
    saveSongList(ListFileName, dl); // a failed save leaves the old file; the next one retries
}

void TForm1::lsaveTimer() { SaveSongList(); }

void TForm1::AppendToPlayLog(const std::string& line)
{
    m_playLog.append(line);
    m_logFailureReported = false;
}

void TForm1::reportLogFailure(const std::exception& e)
{
    if (m_logFailureReported) return;
    m_logFailureReported = true;
    std::fprintf(stderr, "larkspur: %s\n", e.what());
}

void TForm1::logMarker(const std::string& line)
{
    try {
        AppendToPlayLog(line);
    } catch (const PlayLogError& e) {
        reportLogFailure(e);
    }
}

// ---- selection and playback control ----------------------------------------------------

void TForm1::PlayNextSong(int Index)
{
    if (dl.empty()) return;
    m_services.random->seedFromClock();
    // A failed start retries with a random song, at most once per entry in a row, so a list
    // of broken files cannot loop for ever.
    const std::size_t attempts = dl.count() + 1;
    for (std::size_t attempt = 0; attempt < attempts; ++attempt) {
        SearchTerm.clear();
        const Selection sel = drawSong(dl, Index, *m_services.random, m_services.fileExists);
        if (sel.outcome != Selection::Outcome::Chosen) return;
        if (!sel.malformed) dl.put(sel.index, sel.newEntry);
        CurrentSong = sel.path;
        logMarker(songLogLine(m_services.now(), sel.path));
        if (Index == -1 && logtxt->isVisible()) ShowLog1Click();
        try {
            if (sel.malformed)
                throw PlayerError("Malformed song list entry: " + std::string(dl.get(sel.index)));
            startSong(sel.index, sel.path);
            return;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "larkspur: %s: %s\n", sel.path.c_str(), e.what());
            logMarker(kLogPlayFailure);
            Index = -1;
        }
    }
}

void TForm1::startSong(std::size_t index, const std::string& path)
{
    mp().close();
    mp().open(path);
    mp().play();
    resetTapState();
    lbpm->setText(QStringLiteral("0"));
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    const std::string name = fileNamePart(path);
    setTitles(local(name) + QStringLiteral(" - ") + kAppName);
    dt->start();
    m_lengthShown = mp().lengthMs();
    itime->setText(local(durationText(m_lengthShown)));
    CurrentIndex = static_cast<int>(index);
    AutoLyricsPending = true;
    LookupLyrics(name);
}

void TForm1::setTitles(const QString& title)
{
    QGuiApplication::setApplicationDisplayName(title);
    setWindowTitle(title);
    // The notification area shows at most 63 characters.
    if (ti) ti->setToolTip(title.left(63));
}

void TForm1::showPauseCaption(bool playing)
{
    Pause1->setText(playing ? kPauseCaption : kPlayCaption);
    JvxSpeedButton1->setIcon(toolbarPicture(playing ? QStringLiteral("Pause") : QStringLiteral("Play")));
}

void TForm1::resetTapState() { TapTimes.fill(QDateTime()); }

void TForm1::Pause1Click()
{
    if (Pause1->text() == kPlayCaption) {
        showPauseCaption(true);
        SetPlayerVolume(0);
        FadingIn = true;
        fadetmr->start();
        try {
            mp().resume();
        } catch (const PlayerError& e) {
            m_services.showError(e.what());
        }
        dt->start();
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

void TForm1::Neverplayagain1Click()
{
    showPauseCaption(true);
    if (CurrentIndex >= 0 && static_cast<std::size_t>(CurrentIndex) < dl.count())
        dl.put(static_cast<std::size_t>(CurrentIndex), makeEntry(-1, CurrentSong));
    logMarker(kLogNeverPlayAgain);
    FadeToNextSong(-1);
}

void TForm1::dtTimer()
{
    ltime->setText(local(durationText(mp().positionMs())));
    // Some files are only measured once they play.
    if (m_lengthShown == 0 && mp().lengthMs() > 0) {
        m_lengthShown = mp().lengthMs();
        itime->setText(local(durationText(m_lengthShown)));
    }
    if (mp().mode() == PlayerMode::Stopped) PlayNextSong(-1);
}

// ---- volume and fading -----------------------------------------------------------------

void TForm1::SetPlayerVolume(int Value)
{
    DeviceVolume = Value;
    mp().setVolume(Value);
}

void TForm1::FadeToNextSong(int Index)
{
    NextAfterFade = true;
    PendingIndex = Index;
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    FadingIn = false;
    fadetmr->start();
}

void TForm1::fadetmrTimer()
{
    fadetmr->stop();
    const FadeTick tick =
        fadeTick(DeviceVolume, Volume, FadeStep, FadingIn, CloseAfterFade, NextAfterFade);
    SetPlayerVolume(tick.level);
    switch (tick.end) {
    case FadeEnd::Continue:
        fadetmr->start();
        break;
    case FadeEnd::FadedIn:
        break;
    case FadeEnd::Close:
        mp().stop();
        close();
        break;
    case FadeEnd::PlayNext:
        NextAfterFade = false;
        SetPlayerVolume(0);
        PlayNextSong(PendingIndex);
        // Music plays again either way (a new song, or the old one fading back in), so a
        // pause pressed during the skip fade must not leave the caption at "Play".
        showPauseCaption(true);
        FadingIn = true;
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
        break;
    }
}

void TForm1::Vol1Click()
{
    Volume = std::min(Volume + 100, kMaxVolume);
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    voltr->setValue(Volume / 10);
}

void TForm1::Vol2Click()
{
    Volume = Volume - 100 > 0 ? Volume - 100 : 0;
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
    voltr->setValue(Volume / 10);
}

void TForm1::voltrChange()
{
    Volume = std::min(voltr->value() * 10, kMaxVolume);
    SetPlayerVolume(Volume);
    FadeStep = fadeStepFor(FadeSpeed, Volume);
}

// ---- hooks -----------------------------------------------------------------------------

void TForm1::LookupLyrics(const std::string& name)
{
    // The lyrics lookup arrives with the lyrics subsystem; until then a new song clears
    // the previous song's text.
    (void)name;
    memo1->clear();
}

void TForm1::ShowLog1Click()
{
    QFile log(local(m_playLog.fileName()));
    if (log.open(QIODevice::ReadOnly)) logtxt->setPlainText(QString::fromLocal8Bit(log.readAll()));
    if (!Panelright->isVisible()) {
        NormalWidth = width();
        Panelright->show();
        resize(NormalWidth + 230, height());
    }
    logtxt->show();
}

} // namespace larkspur
