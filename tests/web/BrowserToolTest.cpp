// larkspur-tool run as a separate program: render, and the dispatch of its subcommands.

#include "support/HttpRawServer.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kTool = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool");

struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun runTool(const QStringList& arguments)
{
    QProcess process;
    process.start(kTool, arguments);
    ToolRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

} // namespace

TEST(BrowserTool, RenderPrintsTheRenderedTextOfAFile)
{
    if (!QFileInfo::exists(kTool)) GTEST_SKIP() << "larkspur-tool is not built";
    larkspur::test::TempDir dir;
    const std::string page = dir.file("page.html");
    larkspur::test::writeFile(page, "<html><head><title>T</title><script>x()</script></head>"
                                    "<body><p>First &amp; line<br>second</p>"
                                    "<table><tr><td>a</td><td>b</td></tr></table></body></html>");
    const ToolRun run = runTool({QStringLiteral("render"), QString::fromStdString(page)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "First & line\r\nsecond\r\n\r\na\tb");
    EXPECT_EQ(run.err, "");

    const ToolRun missing =
        runTool({QStringLiteral("render"), QString::fromStdString(dir.file("none"))});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("none"), std::string::npos);
}

TEST(BrowserTool, SubcommandsAreDispatchedAndMisuseExplained)
{
    if (!QFileInfo::exists(kTool)) GTEST_SKIP() << "larkspur-tool is not built";
    for (const QStringList& misuse :
         {QStringList{}, QStringList{QStringLiteral("frobnicate")},
          QStringList{QStringLiteral("render")},
          QStringList{QStringLiteral("clean"), QStringLiteral("a"), QStringLiteral("b")}}) {
        const ToolRun run = runTool(misuse);
        EXPECT_EQ(run.status, 2) << misuse.join(QLatin1Char(' ')).toStdString();
        EXPECT_NE(run.err.find("larkspur-tool render FILE|URL"), std::string::npos);
    }

    // clean and fetch reach their commands: each reports its own failure.
    larkspur::test::TempDir dir;
    const ToolRun clean =
        runTool({QStringLiteral("clean"), QString::fromStdString(dir.file("absent"))});
    EXPECT_EQ(clean.status, 1);
    EXPECT_NE(clean.err.find("absent"), std::string::npos);

    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(larkspur::test::unusedLoopbackPort());
    const ToolRun fetch = runTool({QStringLiteral("fetch"), refused});
    EXPECT_EQ(fetch.status, 1);
    EXPECT_EQ(fetch.out, "");
    EXPECT_FALSE(fetch.err.empty());
}
