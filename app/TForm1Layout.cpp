// The window's controls and menus, as the form lays them out at 96 dpi.

#include "app/TForm1.h"
#include "playback/TimeText.h"
#include "app/Toolbar.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QProxyStyle>
#include <QSlider>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QVBoxLayout>

namespace larkspur {

void TForm1::buildWidgets()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    buildToolbar();
    outer->addWidget(Paneltop);

    mainpanel = new QSplitter(Qt::Horizontal, this);
    mainpanel->setObjectName(QStringLiteral("mainpanel"));
    mainpanel->setChildrenCollapsible(false);
    mainpanel->setHandleWidth(2);
    memo1 = new QPlainTextEdit(mainpanel);
    memo1->setObjectName(QStringLiteral("memo1"));
    // Lines as the lyrics have them, with both scroll bars.
    memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    buildSidePanel();
    mainpanel->addWidget(memo1);
    mainpanel->addWidget(Panelright);
    mainpanel->setStretchFactor(0, 1);
    mainpanel->setStretchFactor(1, 0);
    connect(mainpanel, &QSplitter::splitterMoved, this, &TForm1::spltMoved);
    outer->addWidget(mainpanel, 1);

    // Short outcomes that need no box. A label of its own, so nothing said here ever
    // becomes part of the lyrics text that F9 saves.
    lstatus = new QLabel(this);
    lstatus->setObjectName(QStringLiteral("lstatus"));
    lstatus->setContentsMargins(4, 1, 4, 1);
    lstatus->setFixedHeight(lstatus->fontMetrics().height() + 4);
    lstatus->setTextFormat(Qt::PlainText);
    lstatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // Beside it, at the right: how far the shown timed lyrics are shifted. Here rather than
    // among the position labels, which a narrow window has no room to share.
    lshift = new QLabel(this);
    lshift->setObjectName(QStringLiteral("lshift"));
    lshift->setContentsMargins(4, 1, 4, 1);
    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(0);
    statusRow->addWidget(lstatus, 1);
    statusRow->addWidget(lshift);
    outer->addLayout(statusRow);

    // The position bar: a row of its own, as the bottom bar has no room left at its width.
    posbar = new QSlider(Qt::Horizontal, this);
    posbar->setObjectName(QStringLiteral("posbar"));
    // Its own copy of the default style: a proxy owns its base, never the application's.
    auto* jump = new JumpSliderStyle(nullptr);
    jump->setParent(posbar);
    posbar->setStyle(jump);
    posbar->setFocusPolicy(Qt::NoFocus);
    posbar->setEnabled(false);
    posbar->setToolTip(QStringLiteral("Position: click or drag to move in the song"));
    // A drag seeks once, on release; a click jumps there and counts as a short drag.
    connect(posbar, &QSlider::sliderReleased, this, [this] { seekTo(posbar->value()); });
    outer->addWidget(posbar);

    buildBottomBar();
    outer->addWidget(Panelbottom);
}

JumpSliderStyle::JumpSliderStyle(QStyle* base) : QProxyStyle(base) {}

int JumpSliderStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                               QStyleHintReturn* data) const
{
    // A left click moves the handle to where it was clicked, not one page.
    if (hint == QStyle::SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
    return QProxyStyle::styleHint(hint, option, widget, data);
}

void TForm1::buildToolbar()
{
    Paneltop = new QWidget(this);
    Paneltop->setObjectName(QStringLiteral("Paneltop"));
    Paneltop->setFixedHeight(61);
    Paneltop->setAutoFillBackground(true);
    QPalette white = Paneltop->palette();
    white.setColor(QPalette::Window, Qt::white);
    Paneltop->setPalette(white);
    auto button = [this](QToolButton*& b, const QString& word, int left, int top, auto handler) {
        b = new QToolButton(Paneltop);
        b->setObjectName(word);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(left, top, 64, 25);
        b->setIconSize(QSize(60, 23));
        b->setIcon(toolbarPicture(word));
        b->setToolTip(word);
        connect(b, &QToolButton::clicked, this, handler);
    };
    button(JvxSpeedButton1, QStringLiteral("Pause"), 4, 4, &TForm1::Pause1Click);
    button(JvxSpeedButton2, QStringLiteral("Next"), 72, 4, &TForm1::Next1Click);
    button(JvxSpeedButton3, QStringLiteral("Find"), 140, 4, &TForm1::Findsong1Click);
    button(JvxSpeedButton7, QStringLiteral("Vol+"), 208, 4, &TForm1::Vol1Click);
    button(JvxSpeedButton5, QStringLiteral("Search"), 4, 32, &TForm1::nlyricClick);
    button(JvxSpeedButton4, QStringLiteral("Save"), 72, 32, &TForm1::Quicksave1Click);
    button(JvxSpeedButton6, QStringLiteral("T'late"), 140, 32, &TForm1::Translate1Click);
    button(JvxSpeedButton8, QStringLiteral("Vol-"), 208, 32, &TForm1::Vol2Click);
}

void TForm1::buildBottomBar()
{
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panelbottom = frame;
    Panelbottom->setObjectName(QStringLiteral("Panelbottom"));
    Panelbottom->setFixedHeight(29);
    auto* bottom = new QHBoxLayout(Panelbottom);
    bottom->setContentsMargins(4, 1, 4, 1);
    bottom->setSpacing(4);
    voltr = new QSlider(Qt::Horizontal, Panelbottom);
    voltr->setObjectName(QStringLiteral("voltr"));
    voltr->setRange(0, 100);
    voltr->setValue(100);
    voltr->setFixedWidth(100);
    voltr->setTickPosition(QSlider::TicksBelow);
    voltr->setTickInterval(10); // a mark per step would draw a solid bar
    voltr->setToolTip(QStringLiteral("Volume Control"));
    voltr->setFocusPolicy(Qt::NoFocus);
    connect(voltr, &QSlider::valueChanged, this, &TForm1::voltrChange);
    bottom->addWidget(voltr);
    auto label = [this, bottom](const QString& text, const char* name) {
        auto* l = new QLabel(text, Panelbottom);
        l->setObjectName(QString::fromLatin1(name));
        bottom->addWidget(l);
        return l;
    };
    label(QStringLiteral("Position:"), "Label1");
    ltime = label(QString(), "ltime");
    label(QStringLiteral("of"), "Label2");
    itime = label(QString(), "itime");
    bottom->addStretch(1);
    lbpm = label(QStringLiteral("0"), "lbpm");
    Label6 = label(QStringLiteral("bpm"), "Label6");
    lbusy2 = label(QString(), "lbusy2");
    // Texts that change may be clipped but never raise the window's minimum width: the
    // window would grow by itself and that width be kept as the user's. The times keep room
    // for a whole time of day, so they are never clipped.
    for (QLabel* l : {lbpm, lbusy2})
        l->setMinimumWidth(1);
    for (QLabel* l : {ltime, itime})
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(
            QString::fromLocal8Bit(durationText(23 * 3600000LL + 58 * 60000 + 58000))));
    for (QWidget* w : {static_cast<QWidget*>(Panelbottom), static_cast<QWidget*>(lbpm),
                       static_cast<QWidget*>(Label6)})
        w->installEventFilter(this);
}

void TForm1::buildSidePanel()
{
    Panelright = new QWidget(mainpanel);
    Panelright->setObjectName(QStringLiteral("Panelright"));
    auto* right = new QVBoxLayout(Panelright);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);

    Panelrighttop = new QWidget(Panelright);
    Panelrighttop->setObjectName(QStringLiteral("Panelrighttop"));
    Panelrighttop->setFixedHeight(29);
    // The search field takes the width the buttons leave, less 10, so it follows the
    // splitter both ways; a fixed width would make it the area's minimum.
    auto* top = new QHBoxLayout(Panelrighttop);
    top->setContentsMargins(8, 4, 0, 4);
    top->setSpacing(2);
    editsrch = new QLineEdit(Panelrighttop);
    editsrch->setObjectName(QStringLiteral("editsrch"));
    editsrch->setMinimumWidth(10);
    editsrch->installEventFilter(this);
    connect(editsrch, &QLineEdit::returnPressed, this, [this] {
        if (btnsrch->isDefault()) btnsrch->click();
    });
    top->addWidget(editsrch, 1);
    Panelbtns = new QWidget(Panelrighttop);
    Panelbtns->setObjectName(QStringLiteral("Panelbtns"));
    Panelbtns->setFixedWidth(118);
    auto* btns = new QHBoxLayout(Panelbtns);
    btns->setContentsMargins(4, 0, 4, 0);
    btns->setSpacing(4);
    btnsrch = new QPushButton(QStringLiteral("&Search"), Panelbtns);
    btnsrch->setObjectName(QStringLiteral("btnsrch"));
    btnsrch->setFixedSize(53, 21);
    btncancel = new QPushButton(QStringLiteral("&Cancel"), Panelbtns);
    btncancel->setObjectName(QStringLiteral("btncancel"));
    btncancel->setFixedSize(53, 21);
    btns->addWidget(btnsrch);
    btns->addWidget(btncancel);
    connect(btnsrch, &QPushButton::clicked, this, [this] {
        if (m_finderMode)
            btnsrchClick();
        else
            Button3Click();
    });
    connect(btncancel, &QPushButton::clicked, this, &TForm1::btncancelClick);
    top->addWidget(Panelbtns);
    Panelrighttop->hide();
    right->addWidget(Panelrighttop);

    Panelrightbottom = new QWidget(Panelright);
    Panelrightbottom->setObjectName(QStringLiteral("Panelrightbottom"));
    auto* frames = new QVBoxLayout(Panelrightbottom);
    frames->setContentsMargins(0, 0, 0, 0);
    memotrns = new QPlainTextEdit(Panelrightbottom);
    memotrns->setObjectName(QStringLiteral("memotrns"));
    memotrns->setLineWrapMode(QPlainTextEdit::NoWrap);
    logtxt = new QPlainTextEdit(Panelrightbottom);
    logtxt->setObjectName(QStringLiteral("logtxt"));
    logtxt->setReadOnly(true);
    logtxt->setLineWrapMode(QPlainTextEdit::NoWrap);
    List = new QListWidget(Panelrightbottom);
    List->setObjectName(QStringLiteral("List"));
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setUniformItemSizes(true);
    List->installEventFilter(this);
    connect(List, &QListWidget::itemDoubleClicked, this, [this] { ListDblClick(); });
    for (QWidget* frame : {static_cast<QWidget*>(memotrns), static_cast<QWidget*>(List),
                           static_cast<QWidget*>(logtxt)}) {
        frame->hide();
        frames->addWidget(frame, 1);
    }
    buildSettingsBox();
    right->addWidget(Panelrightbottom, 1);

    lyrworld = new QWidget(Panelright);
    lyrworld->setObjectName(QStringLiteral("lyrworld"));
    buildCatalogueFrame();
    lyrworld->hide();
    right->addWidget(lyrworld, 1);

    Panelright->hide();
}

// A box of fixed place and width at the area's top left, outside the frames' layout, so it
// never widens the area: at the area's usual width the lyrics keep theirs.
void TForm1::buildSettingsBox()
{
    grpboxsettings = new QGroupBox(QStringLiteral("Settings"), Panelrightbottom);
    grpboxsettings->setObjectName(QStringLiteral("grpboxsettings"));
    grpboxsettings->hide();
    auto* grid = new QGridLayout(grpboxsettings);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);
    auto row = [this, grid](int r, const QString& caption, QLineEdit*& edit, const char* name,
                            const QString& text) {
        auto* label = new QLabel(caption, grpboxsettings);
        label->setWordWrap(true); // the long caption takes two lines
        grid->addWidget(label, r, 0);
        edit = new QLineEdit(text, grpboxsettings);
        edit->setObjectName(QString::fromLatin1(name));
        grid->addWidget(edit, r, 1);
        // Enter in an edit presses the default button, as in a dialog.
        connect(edit, &QLineEdit::returnPressed, this, [this] { btnsave->click(); });
    };
    row(0, QStringLiteral("Splitter char:"), Edit1, "Edit1", QStringLiteral("-"));
    Edit1->setMaxLength(1);
    row(1, QStringLiteral("Preambel:"), Edit2, "Edit2", QStringLiteral("lyrics"));
    row(2, QStringLiteral("Appendix:"), Edit3, "Edit3", QString());
    row(3, QStringLiteral("Results per page (Lyrics-World):"), Edit4, "Edit4",
        QStringLiteral("10"));
    row(4, QStringLiteral("Fade speed:"), Edit5, "Edit5", QStringLiteral("50"));
    btnsave = new QPushButton(QStringLiteral("&OK"), grpboxsettings);
    btnsave->setObjectName(QStringLiteral("btnsave"));
    btnsave->setDefault(true);
    connect(btnsave, &QPushButton::clicked, this, &TForm1::btnsaveClick);
    grid->addWidget(btnsave, 5, 1, Qt::AlignRight);
    grid->setRowStretch(6, 1);
    grid->setColumnStretch(1, 1);
    const int width = 213;
    grpboxsettings->setGeometry(5, 4, width, std::max(197, grid->totalHeightForWidth(width)));
}

void TForm1::buildMenus()
{
    // A menu item; with a key, the key acts in `owner` (the window: everywhere in it).
    auto item = [this](QMenu* menu, QWidget* owner, const QString& caption, QKeySequence key,
                       auto handler) {
        auto* a = menu->addAction(caption);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(owner == this ? Qt::WindowShortcut
                                                : Qt::WidgetWithChildrenShortcut);
            owner->addAction(a);
        }
        connect(a, &QAction::triggered, this, handler);
        return a;
    };

    pm = new QMenu(this);
    Show1 = item(pm, this, QStringLiteral("&Show"), {}, &TForm1::Show1Click);
    QFont bold = Show1->font();
    bold.setBold(true);
    Show1->setFont(bold);
    pm->setDefaultAction(Show1);
    pm->addSeparator();
    Pause1 = item(pm, this, QStringLiteral("&Pause"), QKeySequence(Qt::Key_F4), &TForm1::Pause1Click);
    Next1 = item(pm, this, QStringLiteral("&Next"), QKeySequence(Qt::Key_F3), &TForm1::Next1Click);
    Previous1 = item(pm, this, QStringLiteral("&Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3),
                     &TForm1::Previous1Click);
    Neverplayagain1 = item(pm, this, QStringLiteral("Never play again"), {},
                           &TForm1::Neverplayagain1Click);
    Vol1 = item(pm, this, QStringLiteral("Vol&+"), QKeySequence(Qt::Key_F2), &TForm1::Vol1Click);
    Vol2 = item(pm, this, QStringLiteral("Vol&-"), QKeySequence(Qt::Key_F1), &TForm1::Vol2Click);
    pm->addSeparator();
    Adddirectory1 = item(pm, this, QStringLiteral("&Add directory..."), {},
                         &TForm1::Adddirectory1Click);
    LoadPLS1 = item(pm, this, QStringLiteral("&Load playlist..."), QKeySequence(Qt::Key_F12),
                    &TForm1::LoadPLS1Click);
    Clearinternallist1 = item(pm, this, QStringLiteral("&Clear internal list"),
                              QKeySequence(Qt::Key_F8), &TForm1::Clearinternallist1Click);
    // No key: Ctrl+Z belongs to whichever control has the focus.
    Undoclear1 = item(pm, this, QStringLiteral("&Undo clear"), {}, &TForm1::Undoclear1Click);
    Undoclear1->setEnabled(false);
    Testallfiles1 = item(pm, this, QStringLiteral("&Test all files"), {},
                         &TForm1::Testallfiles1Click);
    pm->addSeparator();
    Findsong1 = item(pm, this, QStringLiteral("&Find song..."), QKeySequence(Qt::Key_F5),
                     &TForm1::Findsong1Click);
    ShowLog1 = item(pm, this, QStringLiteral("Show log..."), QKeySequence(Qt::Key_F7),
                    &TForm1::ShowLog1Click);
    Globalhotkeys1 =
        item(pm, this, QStringLiteral("Global hotkeys"), {}, &TForm1::Globalhotkeys1Click);
    Globalhotkeys1->setCheckable(true);
    Globalhotkeys1->setChecked(true);
    pm->addSeparator();
    Exit1 = item(pm, this, QStringLiteral("&Exit"), {}, [this] { close(); });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pm->popup(mapToGlobal(at)); });

    pmlyr = new QMenu(memo1);
    Quicksave1 = item(pmlyr, memo1, QStringLiteral("&Quicksave"), QKeySequence(Qt::Key_F9),
                      &TForm1::Quicksave1Click);
    Speichern1 = item(pmlyr, memo1, QStringLiteral("&Save as..."), QKeySequence(Qt::CTRL | Qt::Key_S),
                      &TForm1::Speichern1Click);
    pmlyr->addSeparator();
    Find1 = item(pmlyr, memo1, QStringLiteral("Find..."), QKeySequence(Qt::CTRL | Qt::Key_F),
                 &TForm1::Find1Click);
    Replace1 = item(pmlyr, memo1, QStringLiteral("Replace..."), QKeySequence(Qt::CTRL | Qt::Key_R),
                    &TForm1::Replace1Click);
    pmlyr->addSeparator();
    // The main keyboard's plus key; on layouts where it is "=" unshifted, both are bound.
    Fontsizesmall1 = item(pmlyr, memo1, QStringLiteral("&Font size BIG"),
                          QKeySequence(Qt::CTRL | Qt::Key_Plus), &TForm1::Fontsizesmall1Click);
    Fontsizesmall1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus),
                                  QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    N8 = item(pmlyr, memo1, QStringLiteral("&Font size small"), {}, &TForm1::N8Click);
    Customfont1 = item(pmlyr, memo1, QStringLiteral("Custom font..."), {}, &TForm1::Customfont1Click);
    pmlyr->addSeparator();
    Translate1 = item(pmlyr, memo1, QStringLiteral("&Translate"), QKeySequence(Qt::Key_F10),
                      &TForm1::Translate1Click);
    Versebank1 = item(pmlyr, memo1, QStringLiteral("Lyrics-World"), QKeySequence(Qt::Key_F6),
                      &TForm1::Versebank1Click);
    pmlyr->addSeparator();
    srchen = item(pmlyr, memo1, QStringLiteral("Search enabled"), QKeySequence(Qt::CTRL | Qt::Key_E),
                  &TForm1::srchenClick);
    srchen->setCheckable(true);
    Searchoptions1 = item(pmlyr, memo1, QStringLiteral("Search &options..."),
                          QKeySequence(Qt::CTRL | Qt::Key_O), &TForm1::Searchoptions1Click);
    Customsearch1 = item(pmlyr, memo1, QStringLiteral("&Custom search..."),
                         QKeySequence(Qt::CTRL | Qt::Key_M), &TForm1::Customsearch1Click);
    Neusuchen1 = item(pmlyr, memo1, QStringLiteral("&New search"), QKeySequence(Qt::CTRL | Qt::Key_N),
                      &TForm1::nlyricClick);
    pmlyr->addSeparator();
    Lyricsdatabase1 = item(pmlyr, memo1, QStringLiteral("Lyrics &database"),
                           QKeySequence(Qt::CTRL | Qt::Key_L), &TForm1::Lyricsdatabase1Click);
    Usedatabase1 = item(pmlyr, memo1, QStringLiteral("Ask the lyrics database at song start"), {},
                        &TForm1::Usedatabase1Click);
    Usedatabase1->setCheckable(true);
    Usedatabase1->setChecked(true);
    Timethelyrics1 = item(pmlyr, memo1, QStringLiteral("Time the lyrics"), {},
                          &TForm1::Timethelyrics1Click);
    // Keys no desktop takes and none that needs AltGr on a German keyboard.
    LyricsEarlier1 = item(pmlyr, memo1, QStringLiteral("Timed lyrics 0.1 s earlier"),
                          QKeySequence(Qt::CTRL | Qt::Key_Comma), &TForm1::LyricsEarlier1Click);
    LyricsLater1 = item(pmlyr, memo1, QStringLiteral("Timed lyrics 0.1 s later"),
                        QKeySequence(Qt::CTRL | Qt::Key_Period), &TForm1::LyricsLater1Click);
    Fetchall1 = item(pmlyr, memo1, QStringLiteral("Fetch lyrics for all songs..."), {},
                     &TForm1::Fetchall1Click);
    Publish1 = item(pmlyr, memo1, QStringLiteral("Publish timed lyrics..."), {},
                    &TForm1::Publish1Click);
    memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(memo1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmlyr->popup(memo1->mapToGlobal(at)); });

    pmn = new QMenu(logtxt);
    cnff = item(pmn, logtxt, QStringLiteral("Clear not found files"), {}, &TForm1::cnffClick);
    cnff->setEnabled(false);
    Closeframe1 = item(pmn, logtxt, QStringLiteral("Close frame"), {}, &TForm1::CloseLogFrame);
    logtxt->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(logtxt, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmn->popup(logtxt->mapToGlobal(at)); });

    PopupMenu1 = new QMenu(List);
    Playthissong1 = item(PopupMenu1, List, QStringLiteral("&Play this song"), {},
                         &TForm1::Playthissong1Click);
    Closeframe2 = item(PopupMenu1, List, QStringLiteral("&Close frame"), {},
                       &TForm1::CloseFinderFrame);
    List->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(List->viewport()->mapToGlobal(at)); });

    pmtrns = new QMenu(memotrns);
    MenuItem2 = item(pmtrns, memotrns, QStringLiteral("&Close frame"), {},
                     &TForm1::CloseTranslationFrame);
    memotrns->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(memotrns, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmtrns->popup(memotrns->mapToGlobal(at)); });
}

void TForm1::buildTray()
{
    ti = new QSystemTrayIcon(toolbarPicture(QStringLiteral("L")), this);
    ti->setToolTip(QStringLiteral("Larkspur"));
    ti->setContextMenu(pm);
    connect(ti, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick) tiClick();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable()) ti->show();
}

} // namespace larkspur
