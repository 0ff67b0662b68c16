// The find and replace dialogs on the real window offscreen, driven through their widgets.

#include "app/FindReplaceDialog.h"
#include "app/TForm1.h"
#include "app/core/SettingsStore.h"
#include "support/FakeMediaPlayer.h"
#include "support/QuietServices.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QInputDialog>
#include <QTimer>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace larkspur;
using larkspur::test::FakeMediaPlayer;
using larkspur::test::TempDir;

namespace {

using Notice = std::pair<std::string, std::string>;

class WindowFindReplace : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        services.mp = &mp;
        services.settings = &store;
        test::makeQuiet(services, dir.path(), nullptr);
        services.showNotice = [this](const std::string& title, const std::string& text) {
            notices.emplace_back(title, text);
        };
    }

    std::unique_ptr<TForm1> open(const QString& lyrics)
    {
        auto f = std::make_unique<TForm1>(services);
        f->FormCreate({});
        f->show();
        QApplication::setActiveWindow(f.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        f->memo1->setPlainText(lyrics);
        return f;
    }

    static void select(TForm1& f, int start, int end)
    {
        QTextCursor c = f.memo1->textCursor();
        c.setPosition(start);
        c.setPosition(end, QTextCursor::KeepAnchor);
        f.memo1->setTextCursor(c);
    }
    static std::pair<int, int> selection(TForm1& f)
    {
        return {f.memo1->textCursor().selectionStart(), f.memo1->textCursor().selectionEnd()};
    }
    static void type(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    TempDir dir;
    FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    std::vector<Notice> notices;
};

const Notice kMiss{"No further results.", "Nothing found"};

} // namespace

TEST_F(WindowFindReplace, FindNextWalksThroughTheHitsAndReportsTheMiss)
{
    // Editor positions: one character per line break and per umlaut.
    auto f = open(QString::fromUtf8("Cat\nä cat\ncat"));
    select(*f, 4, 9);
    QTest::keyClick(f->memo1, Qt::Key_F, Qt::ControlModifier);
    ASSERT_NE(f->fdlg, nullptr);
    EXPECT_TRUE(f->fdlg->isVisible());
    EXPECT_EQ(f->fdlg->findEdit->text(), QString::fromUtf8("ä cat")); // from the selection
    select(*f, 0, 0);
    f->Find1Click(); // nothing selected: the field empties
    EXPECT_EQ(f->fdlg->findEdit->text(), QString());

    type(f->fdlg->findEdit, QStringLiteral("cat"));
    using Sel = std::pair<int, int>;
    for (const Sel& want : {Sel{0, 3}, Sel{6, 9}, Sel{10, 13}}) {
        QTest::mouseClick(f->fdlg->findNextButton, Qt::LeftButton);
        EXPECT_EQ(selection(*f), want);
    }
    EXPECT_TRUE(notices.empty());
    QTest::mouseClick(f->fdlg->findNextButton, Qt::LeftButton);
    EXPECT_EQ(notices, std::vector<Notice>{kMiss});
    EXPECT_EQ(selection(*f), Sel(10, 13)); // a miss keeps the selection

    f->fdlg->upButton->click(); // upwards: hits that end before the selection
    QTest::mouseClick(f->fdlg->findNextButton, Qt::LeftButton);
    EXPECT_EQ(selection(*f), Sel(6, 9));

    // A line break: "^p" is CR LF, one character in the editor.
    f->fdlg->downButton->click();
    f->fdlg->matchCaseBox->click();
    select(*f, 0, 0);
    type(f->fdlg->findEdit, QStringLiteral("t^pc"));
    QTest::mouseClick(f->fdlg->findNextButton, Qt::LeftButton);
    EXPECT_EQ(selection(*f), Sel(8, 11));
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(WindowFindReplace, ReplaceAllChangesTheSelectionOrTheWholeText)
{
    auto f = open(QString::fromUtf8("cat cat\ncat\u00a0cat"));
    select(*f, 4, 11); // "cat", break, "cat"
    QTest::keyClick(f->memo1, Qt::Key_R, Qt::ControlModifier);
    ASSERT_NE(f->rdlg, nullptr);
    EXPECT_EQ(f->rdlg->findEdit->text(), QStringLiteral("cat^pcat"));
    type(f->rdlg->findEdit, QStringLiteral("CAT"));
    type(f->rdlg->replaceEdit, QStringLiteral("dog"));
    QTest::mouseClick(f->rdlg->replaceAllButton, Qt::LeftButton);
    EXPECT_EQ(f->memo1->document()->toRawText(),
              QString::fromUtf8("cat dog\u2029dog\u00a0cat")); // the no-break space stays
    EXPECT_EQ(notices, std::vector<Notice>({{"No. of replacements: 2", "Replace complete"}}));
    EXPECT_EQ(selection(*f), std::make_pair(4, 4));

    // Nothing selected: the whole text, whole words only, "^P" as a line break.
    f->rdlg->wholeWordBox->click();
    type(f->rdlg->findEdit, QStringLiteral("do"));
    QTest::mouseClick(f->rdlg->replaceAllButton, Qt::LeftButton);
    EXPECT_EQ(notices.back(), kMiss);
    type(f->rdlg->findEdit, QStringLiteral("dog"));
    type(f->rdlg->replaceEdit, QStringLiteral("a^Pb"));
    QTest::mouseClick(f->rdlg->replaceAllButton, Qt::LeftButton);
    EXPECT_EQ(f->memo1->document()->toRawText(),
              QString::fromUtf8("cat a\u2029b\u2029a\u2029b\u00a0cat"));
    EXPECT_EQ(notices.back(), Notice("No. of replacements: 2", "Replace complete"));
    EXPECT_EQ(f->ReplaceCount, 2);
}

TEST_F(WindowFindReplace, ReplaceTakesTheSelectedHitDownwardsAndThePreviousOneUpwards)
{
    auto f = open(QStringLiteral("ab ab ab"));
    f->Replace1Click();
    type(f->rdlg->findEdit, QStringLiteral("ab"));
    type(f->rdlg->replaceEdit, QStringLiteral("X^P")); // Replace inserts "^P" as it stands
    select(*f, 6, 8);
    f->rdlg->upButton->click();
    QTest::mouseClick(f->rdlg->replaceButton, Qt::LeftButton);
    EXPECT_EQ(f->memo1->toPlainText(), QStringLiteral("ab X^P ab"));
    EXPECT_EQ(selection(*f), std::make_pair(3, 6)); // the inserted text

    f->rdlg->downButton->click();
    select(*f, 0, 2);
    QTest::mouseClick(f->rdlg->replaceButton, Qt::LeftButton);
    EXPECT_EQ(f->memo1->toPlainText(), QStringLiteral("X^P X^P ab"));
    EXPECT_TRUE(f->HitFound);
    QTest::mouseClick(f->rdlg->replaceButton, Qt::LeftButton);
    QTest::mouseClick(f->rdlg->replaceButton, Qt::LeftButton);
    EXPECT_EQ(f->memo1->toPlainText(), QStringLiteral("X^P X^P X^P"));
    EXPECT_FALSE(f->HitFound);
    EXPECT_EQ(notices, std::vector<Notice>{kMiss});

    // A hit found through an escape code is itself replaced, not the one after it; "^p"
    // in the replace text is a line break.
    f->memo1->setPlainText(QStringLiteral("a\nb a\nb"));
    type(f->rdlg->findEdit, QStringLiteral("a^pb"));
    type(f->rdlg->replaceEdit, QStringLiteral("c^pd"));
    QTest::mouseClick(f->rdlg->findNextButton, Qt::LeftButton);
    EXPECT_EQ(selection(*f), std::make_pair(0, 3));
    QTest::mouseClick(f->rdlg->replaceButton, Qt::LeftButton);
    EXPECT_EQ(f->lyricsText(), "c\r\nd a\r\nb");
    EXPECT_EQ(selection(*f), std::make_pair(0, 3));

    // The selection is taken as the find text whatever the case, even with Match case on:
    // the search then starts at its beginning and finds the hit inside it.
    f->memo1->setPlainText(QStringLiteral("Aaa"));
    f->rdlg->matchCaseBox->click();
    type(f->rdlg->findEdit, QStringLiteral("aa"));
    type(f->rdlg->replaceEdit, QStringLiteral("X"));
    select(*f, 0, 2);
    QTest::mouseClick(f->rdlg->replaceButton, Qt::LeftButton);
    EXPECT_EQ(f->memo1->toPlainText(), QStringLiteral("AX"));
}

TEST_F(WindowFindReplace, WithoutAnInjectedNoticeTheMissShowsABoxOverTheDialog)
{
    services.showNotice = nullptr;
    auto f = open(QStringLiteral("abc"));
    f->Find1Click();
    type(f->fdlg->findEdit, QStringLiteral("x"));
    QTest::mouseClick(f->fdlg->findNextButton, Qt::LeftButton); // must not block
    auto* box = f->fdlg->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("No further results."));
    EXPECT_EQ(box->text(), QStringLiteral("Nothing found"));
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    // The title, which carries the news, fits whole.
    EXPECT_GT(box->width(),
              QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) + 100);
    box->accept();
}

TEST_F(WindowFindReplace, TheCustomSearchFieldShowsItsWholeProposal)
{
    services.askText = nullptr;
    auto f = open(QStringLiteral("abc"));
    f->Preamble = "lyrics of a rather long song title by a band with a long name";
    int width = 0, needed = 0;
    QTimer::singleShot(0, [&] {
        if (auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            width = ask->width();
            needed = QFontMetrics(ask->font()).horizontalAdvance(ask->textValue());
            ask->reject();
        }
    });
    f->Customsearch1Click();
    ASSERT_GT(needed, 0);
    EXPECT_GT(width, needed);
}
