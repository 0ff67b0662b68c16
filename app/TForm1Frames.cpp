// The right-hand area: one side frame at a time; opening widens the window, closing gives
// the width back. Also the splitter, the font commands and the settings frame.

#include "app/TForm1.h"
#include "app/core/SettingsPanel.h"

#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>

namespace larkspur {

bool TForm1::areaOpen() const { return !Panelright->isHidden(); }

void TForm1::openArea()
{
    if (areaOpen()) return;
    Panelright->show();
    resizeToWidth(NormalWidth + m_panelWidth);
    mainpanel->setSizes({std::max(NormalWidth - mainpanel->handleWidth(), 1), m_panelWidth});
}

// Shows one of the five frames and hides the other four.
void TForm1::showOnly(QWidget* frame)
{
    openArea();
    for (QWidget* w : {static_cast<QWidget*>(logtxt), static_cast<QWidget*>(List),
                       static_cast<QWidget*>(memotrns), static_cast<QWidget*>(grpboxsettings),
                       lyrworld})
        w->setVisible(w == frame);
    Panelrightbottom->setVisible(lyrworld->isHidden()); // the catalogue frame covers the others
}

void TForm1::closeFrames(std::initializer_list<QWidget*> frames)
{
    for (QWidget* w : frames) w->hide();
    Panelrighttop->hide();
    Panelright->hide();
    Panelrightbottom->setVisible(lyrworld->isHidden());
    resizeToWidth(NormalWidth);
    if (isVisible()) memo1->setFocus();
}

// The window's minimum size follows the area only when the layout runs; run it now, or the
// old minimum holds the new width back (the closed window would keep the open area's).
void TForm1::resizeToWidth(int w)
{
    m_ownResize = true;
    mainpanel->updateGeometry();
    layout()->activate();
    resize(w, height());
    m_ownResize = false;
}

void TForm1::ShowLogFrame() { showOnly(logtxt); }
void TForm1::ShowFinderList() { showOnly(List); }
void TForm1::ShowTranslationFrame() { showOnly(memotrns); }

void TForm1::ShowSettingsFrame()
{
    showOnly(grpboxsettings);
    const OptionEdits e = optionEditsFrom(*this);
    Edit1->setText(QString::fromLocal8Bit(e.splitter));
    Edit2->setText(QString::fromLocal8Bit(e.preamble));
    Edit3->setText(QString::fromLocal8Bit(e.appendix));
    Edit4->setText(QString::fromLocal8Bit(e.entriesPerPage));
    Edit5->setText(QString::fromLocal8Bit(e.fadeSpeed));
}

void TForm1::OpenSongFinder()
{
    openArea();
    Panelrighttop->show();
    lyrworld->hide();
    Panelrightbottom->show();
    searchBarSteps(true);
}

void TForm1::OpenCatalogueSearch()
{
    openArea();
    Panelrighttop->show();
    lyrworld->show();
    Panelrightbottom->hide();
    searchBarSteps(false);
    editsrch->selectAll();
}

void TForm1::searchBarSteps(bool finderMode)
{
    Panelright->layout()->activate(); // the search field's width, now rather than later
    bringToFront();
    btnsrch->setDefault(true);
    m_finderMode = finderMode;
    editsrch->setFocus();
    editsrchEnter();
}

void TForm1::CloseLogFrame() { closeFrames({logtxt}); }
void TForm1::CloseFinderFrame() { closeFrames({List}); }
void TForm1::CloseTranslationFrame() { closeFrames({memotrns}); }
void TForm1::CloseSettingsFrame() { closeFrames({grpboxsettings}); }
void TForm1::CloseSearchFrames() { closeFrames({List, lyrworld}); }
void TForm1::CloseAllFrames() { closeFrames({logtxt, List, lyrworld, memotrns, grpboxsettings}); }

void TForm1::FormResize()
{
    if (lstatus) refreshStatus(); // elided anew for the new width
}

void TForm1::showStatus(const std::string& text, StatusLine::Owner owner, StatusLine::Level level)
{
    m_statusLine.say(text, owner, level, QDateTime::currentMSecsSinceEpoch());
    refreshStatus();
}

void TForm1::refreshStatus()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_status = m_statusLine.shown(now);
    const QString whole = QString::fromLocal8Bit(m_status).simplified();
    // Elided, never wider than the window: a long file name must not widen it.
    const int room = std::max(0, lstatus->width() - 8);
    lstatus->setText(lstatus->fontMetrics().elidedText(whole, Qt::ElideMiddle, room));
    // What was said before, replaced or not, stays readable here.
    QStringList lines;
    for (const StatusLine::Message& m : m_statusLine.history())
        lines.prepend(QDateTime::fromMSecsSinceEpoch(m.atMs).toString(QStringLiteral("HH:mm:ss ")) +
                      QString::fromLocal8Bit(m.text).simplified());
    lstatus->setToolTip(whole.isEmpty() ? lines.join(u'\n')
                                        : whole + QStringLiteral("\n\n") + lines.join(u'\n'));
    if (const auto at = m_statusLine.changesAtMs(now))
        statustmr->start(static_cast<int>(std::max<qint64>(*at - now, 0) + 10));
    else
        statustmr->stop();
}

std::string TForm1::statusText() const { return m_status; }

// The search field follows through the search bar's layout.
void TForm1::spltMoved()
{
    m_panelWidth = Panelright->width();
}

void TForm1::editsrchEnter()
{
    btnsrch->setDefault(true);
    editsrch->selectAll();
}

void TForm1::editsrchExit() { btnsrch->setDefault(false); }

void TForm1::bringToFront(const QString& activationToken)
{
    if (isMinimized()) showNormal();
    show();
    raise();
    // Qt's Wayland client reads the token there when the window asks to be activated; its
    // own setter is private API.
    if (!activationToken.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    activateWindow();
    if (!activationToken.isEmpty()) qunsetenv("XDG_ACTIVATION_TOKEN");
}

void TForm1::tiClick() { bringToFront(); }
void TForm1::Show1Click() { bringToFront(); }

void TForm1::setTextFont(const QFont& font)
{
    for (QWidget* w : {static_cast<QWidget*>(memo1), static_cast<QWidget*>(memotrns),
                       static_cast<QWidget*>(logtxt), static_cast<QWidget*>(List)})
        w->setFont(font);
}

void TForm1::SetTextFontSize(int points)
{
    if (points <= 0) return; // a size the font system cannot show
    for (QWidget* w : {static_cast<QWidget*>(memo1), static_cast<QWidget*>(memotrns),
                       static_cast<QWidget*>(logtxt), static_cast<QWidget*>(List)}) {
        QFont f = w->font();
        f.setPointSize(points);
        w->setFont(f);
    }
}

void TForm1::Fontsizesmall1Click() { SetTextFontSize(14); }
void TForm1::N8Click() { SetTextFontSize(8); }

// The dialog starts on the lyrics' current font, whichever command set it.
void TForm1::Customfont1Click()
{
    QFont font = memo1->font();
    if (m_services.askFont(font)) setTextFont(font);
}

void TForm1::Searchoptions1Click() { ShowSettingsFrame(); }

void TForm1::btnsaveClick()
{
    OptionEdits e;
    e.splitter = Edit1->text().toLocal8Bit().toStdString();
    e.preamble = Edit2->text().toLocal8Bit().toStdString();
    e.appendix = Edit3->text().toLocal8Bit().toStdString();
    e.entriesPerPage = Edit4->text().toLocal8Bit().toStdString();
    e.fadeSpeed = Edit5->text().toLocal8Bit().toStdString();
    const std::string refused = applyOptionEdits(e, *this);
    CloseSettingsFrame();
    if (!refused.empty()) showStatus(refused);
}

} // namespace larkspur
