// The window as a person uses it, offscreen, with the event loop run between steps: titles,
// frame widths, the splitter, tempo clicks, the finder's keys, the font dialog, the stored
// position and the volume slider's ticks.

#include "app/TForm1.h"
#include "app/core/SettingsStore.h"
#include "support/FakeMediaPlayer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSlider>
#include <QSplitter>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <tuple>

using namespace larkspur;
using larkspur::test::FakeMediaPlayer;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

class WindowUse : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        services.mp = &mp;
        services.settings = &store;
        test::makeQuiet(services, dir.path(), nullptr);
        services.tapClockMs = [this] { return clockMs; };
    }

    std::unique_ptr<TForm1> open(const std::vector<std::string>& songs = {})
    {
        QStringList args;
        if (!songs.empty()) {
            std::string text;
            for (const auto& s : songs) {
                writeFile(dir.file(s), "x");
                text += "0|" + dir.file(s) + "\r\n";
            }
            writeFile(dir.file("list.txt"), text);
            args << QString::fromStdString(dir.file("list.txt"));
        }
        auto f = std::make_unique<TForm1>(services);
        f->FormCreate(args);
        f->show();
        QApplication::setActiveWindow(f.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        settle();
        return f;
    }

    // What the event loop does between two of the user's steps (layouts, posted events).
    static void settle() { QCoreApplication::processEvents(); }

    TempDir dir;
    FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    std::int64_t clockMs = 1000000;
};

// Presses and releases the left button on a widget through the window system's path, at
// the given times in ms, so that presses close together become double clicks as on a desktop.
void clickAt(QWidget* w, QPoint at, int pressMs)
{
    QWindow* window = w->window()->windowHandle();
    const QPointF local = w->mapTo(w->window(), at);
    const QPointF global = w->mapToGlobal(at);
    qt_handleMouseEvent(window, local, global, Qt::LeftButton, Qt::LeftButton,
                        QEvent::MouseButtonPress, {}, pressMs);
    qt_handleMouseEvent(window, local, global, {}, Qt::LeftButton, QEvent::MouseButtonRelease, {},
                        pressMs + 40);
    QCoreApplication::processEvents();
}

// Counts the separate marks drawn under a horizontal slider's groove: runs of columns in
// which the bottom rows hold something other than the background.
int tickMarks(const QImage& image)
{
    const QRgb background = image.pixel(0, image.height() - 1);
    int marks = 0;
    bool inMark = false;
    for (int x = 0; x < image.width(); ++x) {
        bool drawn = false;
        for (int y = image.height() * 3 / 4; y < image.height(); ++y)
            drawn = drawn || qGray(image.pixel(x, y)) < qGray(background) - 40;
        if (drawn && !inMark) ++marks;
        inMark = drawn;
    }
    return marks;
}

} // namespace

TEST_F(WindowUse, SongNameGoesWholeToTheWindowAndTheTrayHintOnly)
{
    const std::string appTitle = QGuiApplication::applicationDisplayName().toStdString();
    const std::string name = "A long band name that goes on and on - An even longer song title "
                             "(Remastered Deluxe Edition).mp3";
    auto f = open({name});
    const std::string title = name + " - Larkspur";
    ASSERT_GT(title.size(), 63u);
    EXPECT_EQ(f->windowTitle().toStdString(), title);
    EXPECT_EQ(f->ti->toolTip().toStdString(), title);
    // Dialogs get the application's display name appended to their titles.
    EXPECT_EQ(QGuiApplication::applicationDisplayName().toStdString(), appTitle);
}

TEST_F(WindowUse, ClosingTheAreaGivesBackTheWidthItHadBefore)
{
    struct Step
    {
        const char* what;
        std::function<void(TForm1&)> open;
    };
    const std::vector<Step> steps = {
        {"log then settings",
         [](TForm1& f) { f.ShowLog1Click(), settle(), f.Searchoptions1Click(); }},
        {"settings", [](TForm1& f) { f.Searchoptions1Click(); }},
        {"finder and a search", [](TForm1& f) { f.Findsong1Click(), settle(), f.btnsrchClick(); }},
        {"settings then finder",
         [](TForm1& f) { f.Searchoptions1Click(), settle(), f.Findsong1Click(); }},
    };
    auto f = open();
    for (int normal : {367, 420}) {
        if (normal != f->width()) {
            f->resize(normal, f->height()); // the user's resize of the closed window counts
            settle();
        }
        for (const auto& step : steps) {
            SCOPED_TRACE(std::string(step.what) + " from " + std::to_string(normal));
            step.open(*f);
            settle();
            EXPECT_EQ(f->width(), normal + 230);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            EXPECT_FALSE(f->areaOpen());
            EXPECT_EQ(f->width(), normal);
            EXPECT_EQ(f->NormalWidth, normal);
            settle();
            EXPECT_EQ(f->width(), normal);
        }
    }
    f->Searchoptions1Click();
    settle();
    ASSERT_TRUE(f->close());
    EXPECT_EQ(store.values["Window X size"], "420");
}

TEST_F(WindowUse, SettingsFrameFitsTheSideAreaWithoutSqueezingTheLyrics)
{
    auto f = open();
    f->ShowLog1Click();
    settle();
    const int lyricsWidth = f->memo1->width();
    f->Searchoptions1Click();
    settle();
    EXPECT_EQ(f->memo1->width(), lyricsWidth);
    EXPECT_EQ(f->Panelright->width(), 230);
    EXPECT_TRUE(f->Panelrightbottom->rect().contains(f->grpboxsettings->geometry()));
    // Every caption and field shows whole inside the group box.
    const QRect box = f->grpboxsettings->contentsRect();
    for (QWidget* w : f->grpboxsettings->findChildren<QWidget*>()) {
        auto* label = qobject_cast<QLabel*>(w);
        SCOPED_TRACE(label ? label->text().toStdString() : w->objectName().toStdString());
        EXPECT_TRUE(box.contains(w->geometry()));
        const QSize need = w->hasHeightForWidth()
                               ? QSize(w->minimumSizeHint().width(), w->heightForWidth(w->width()))
                               : w->minimumSizeHint();
        EXPECT_GE(w->width(), need.width());
        EXPECT_GE(w->height(), need.height());
    }
}

TEST_F(WindowUse, SplitterDragsBothWaysWithTheSearchFieldFollowing)
{
    auto f = open();
    f->Findsong1Click();
    settle();
    ASSERT_EQ(f->Panelright->width(), 230);
    QWidget* handle = f->mainpanel->handle(1);
    const QPoint grip(handle->width() / 2, handle->height() / 2);
    for (int dx : {80, -150, 40}) {
        SCOPED_TRACE(dx);
        const int before = f->Panelright->width();
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip + QPoint(dx, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(dx, 0));
        settle();
        EXPECT_NEAR(f->Panelright->width(), before - dx, 1); // the grab point within the handle
        EXPECT_EQ(f->panelWidth(), f->Panelright->width());
        EXPECT_EQ(f->editsrch->width(), f->Panelright->width() - f->Panelbtns->width() - 10);
        EXPECT_EQ(f->width(), 597);
    }
}

TEST_F(WindowUse, EveryClickOnTheBottomBarIsATap)
{
    auto f = open({"a.mp3"});
    struct Target
    {
        QWidget* widget;
        QPoint at;
    };
    const QPoint freeSpot(f->lbpm->x() - 8, f->Panelbottom->height() / 2);
    ASSERT_EQ(f->Panelbottom->childAt(freeSpot), nullptr);
    const std::vector<Target> targets = {{f->Panelbottom, freeSpot},
                                         {f->lbpm, f->lbpm->rect().center()},
                                         {f->Label6, f->Label6->rect().center()}};
    ASSERT_GT(QGuiApplication::styleHints()->mouseDoubleClickInterval(), 300);
    int eventMs = QTest::lastMouseTimestamp + 10000;
    for (const auto& t : targets) {
        SCOPED_TRACE(t.widget->objectName().toStdString());
        f->PlayNextSong(-1); // starts the meter over
        for (int i = 0; i < 6; ++i, eventMs += 300, clockMs += 300)
            clickAt(t.widget, t.at, eventMs);
        EXPECT_EQ(f->lbpm->text().toStdString(), "200");
        eventMs += 5000;
    }
    QTest::lastMouseTimestamp = eventMs;
}

TEST_F(WindowUse, FinderKeysStartFromNoRowAfterASearch)
{
    auto f = open({"Band - Help.mp3", "Band - Help Me.mp3", "Other - Song.mp3"});
    struct Case
    {
        const char* pattern;
        int hits;
        std::size_t plays; // the song list position Down then Enter plays
    };
    for (const Case& c : {Case{"Help", 2, 0}, Case{"Song", 1, 2}, Case{"Me.mp3", 1, 1}}) {
        SCOPED_TRACE(c.pattern);
        f->Findsong1Click();
        settle();
        f->editsrch->setText(QString::fromLatin1(c.pattern));
        QTest::keyClick(f->editsrch, Qt::Key_Return);
        settle();
        ASSERT_EQ(f->List->count(), c.hits);
        EXPECT_TRUE(f->List->selectedItems().isEmpty());
        EXPECT_EQ(f->List->currentRow(), -1);
        QTest::keyClick(f->List, Qt::Key_Down);
        EXPECT_EQ(f->List->currentRow(), 0);
        QTest::keyClick(f->List, Qt::Key_Return);
        EXPECT_FALSE(f->areaOpen());
        ASSERT_TRUE(f->NextAfterFade);
        EXPECT_EQ(f->PendingIndex, static_cast<int>(c.plays));
        while (f->fadetmr->isActive())
            f->fadetmrTimer();
    }

    // A search without hits leaves Enter in the search field searching again.
    f->Findsong1Click();
    settle();
    f->editsrch->setText(QStringLiteral("nothing like it"));
    QTest::keyClick(f->editsrch, Qt::Key_Return);
    settle();
    ASSERT_EQ(f->List->count(), 0);
    ASSERT_TRUE(f->editsrch->hasFocus());
    f->editsrch->setText(QStringLiteral("Other"));
    QTest::keyClick(f->editsrch, Qt::Key_Return);
    EXPECT_EQ(f->List->count(), 1);
}

TEST_F(WindowUse, FontDialogPositionAndVolumeTicks)
{
    store.values = {{"Window X position", "40"}};
    std::vector<QFont> offered;
    QFont chosen(QStringLiteral("DejaVu Serif"), 11);
    services.askFont = [&](QFont& font) {
        offered.push_back(font);
        font = chosen;
        return offered.size() > 1; // the first opening is cancelled
    };
    auto f = open();
    EXPECT_EQ(f->x(), 40); // a stored X alone still places the window

    f->Customfont1Click(); // starts on the lyrics' own font: 8 points at first
    f->Fontsizesmall1Click();
    f->Customfont1Click();
    f->Customfont1Click();
    ASSERT_EQ(offered.size(), 3u);
    EXPECT_EQ(offered[0].pointSize(), 8);
    EXPECT_EQ(offered[1].pointSize(), 14);
    EXPECT_EQ(offered[2].family().toStdString(), chosen.family().toStdString());
    EXPECT_EQ(offered[2].pointSize(), 11);
    f.reset();

    store.values = {{"Window Y position", "60"}};
    f = open();
    EXPECT_EQ(f->y(), 60);

    // The slider's ticks, as drawn: one mark every tenth step, not a solid bar.
    const QImage image = f->voltr->grab().toImage();
    EXPECT_EQ(tickMarks(image), 11);
}

TEST_F(WindowUse, MessagesGoToTheTrayOnlyWhenHiddenAndANotificationServiceRuns)
{
    // {notification service, window hidden, boxes expected}
    for (auto [service, hidden, box] :
         {std::tuple{false, true, 2}, {true, true, 0}, {true, false, 2}}) {
        services.showError = services.showInfo = nullptr;
        services.notificationService = [on = service] { return on; };
        services.askDirectory = [this](const std::string&) { return dir.path(); };
        services.scanDirectory = [](const std::string&, auto done) { done(ScanResult{}); };
        auto f = open();
        f->ti->show(); // offscreen has no tray of its own
        f->setHidden(hidden);
        f->importPlaylist(dir.file("missing.pls")); // an error
        f->Adddirectory1Click();                    // a notice
        int boxes = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++boxes, w->close();
        EXPECT_EQ(boxes, box) << service << hidden;
    }
}
