// The staging page: one fixed file in the user's cache folder, private to the user.

#include "support/TestFiles.h"
#include "web/BrowserDocument.h"
#include "web/StagingPage.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace larkspur;

namespace {

mode_t modeOf(const std::string& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

} // namespace

TEST(BrowserStaging, FixedPrivateFileWrittenByteForByte)
{
    test::CacheFolder cache;
    const std::string path = stagingPagePath();
    EXPECT_EQ(path, cache.path() + "/larkspur/f.htm");
    EXPECT_EQ(stagingPagePath(), path);
    EXPECT_EQ(modeOf(cache.path() + "/larkspur"), 0700u);

    static const char bytes[] = "<body>Gr\xF6\xDF"
                                "e\r\nline\n\0end</body>";
    const std::string page(bytes, sizeof bytes - 1);
    ASSERT_EQ(page.size(), 29u);
    writeStagingPage(page);
    EXPECT_EQ(test::readFile(path), page);
    EXPECT_EQ(modeOf(path), 0600u);

    // A shorter page replaces all of the longer one.
    writeStagingPage("x");
    EXPECT_EQ(test::readFile(path), "x");
}

TEST(BrowserStaging, LooserRightsAreTightenedAndLinksRefused)
{
    test::CacheFolder cache;
    const std::string folder = cache.path() + "/larkspur";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    test::writeFile(folder + "/f.htm", "old");
    ASSERT_EQ(::chmod((folder + "/f.htm").c_str(), 0644), 0);

    writeStagingPage("new");
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder + "/f.htm"), 0600u);
    EXPECT_EQ(test::readFile(folder + "/f.htm"), "new");

    // Someone else's file planted behind a link is not written through.
    const std::string target = cache.path() + "/elsewhere.txt";
    test::writeFile(target, "untouched");
    ASSERT_EQ(::unlink((folder + "/f.htm").c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), (folder + "/f.htm").c_str()), 0);
    EXPECT_THROW(writeStagingPage("payload"), std::runtime_error);
    EXPECT_EQ(test::readFile(target), "untouched");

    // A file where the folder should be is refused too.
    test::CacheFolder other;
    test::writeFile(other.path() + "/larkspur", "not a folder");
    EXPECT_THROW(stagingPagePath(), std::runtime_error);
}

TEST(BrowserStaging, BrowserRendersTheStagedPage)
{
    test::CacheFolder cache;
    // A cleaned page keeps no head, so its charset is sniffed: here windows-1252.
    writeStagingPage("<body><p>Gr\xF6\xDF"
                     "e</p><p>&auml;</p></body>");
    BrowserDocument browser;
    QSignalSpy complete(&browser, &BrowserDocument::DocumentComplete);
    browser.Navigate(stagingPagePath());
    QElapsedTimer clock;
    clock.start();
    while (complete.count() == 0 && clock.elapsed() < 5000) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    ASSERT_EQ(complete.count(), 1);
    EXPECT_EQ(browser.innerText(), "Gr\xC3\xB6\xC3\x9F"
                                   "e\r\n\r\n\xC3\xA4");
    EXPECT_EQ(browser.LocationURL(), "file://" + cache.path() + "/larkspur/f.htm");
}
