// larkspur-tool run as a separate program: render, and the dispatch of its subcommands.

#include "support/HostileServers.h"
#include "support/HttpRawServer.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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
          QStringList{QStringLiteral("clean"), QStringLiteral("a"), QStringLiteral("b")},
          QStringList{QStringLiteral("lyrics"), QStringLiteral("--all")},
          QStringList{QStringLiteral("lyrics"), QStringLiteral("--synced"),
                      QStringLiteral("--all")}}) {
        const ToolRun run = runTool(misuse);
        EXPECT_EQ(run.status, 2) << misuse.join(QLatin1Char(' ')).toStdString();
        EXPECT_NE(run.err.find("larkspur-tool render FILE|URL"), std::string::npos);
    }

    for (const QString& help : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const ToolRun run = runTool({help}); // asked for: on standard output, no failure
        EXPECT_TRUE(run.status == 0 && run.out.find("larkspur-tool lyrics ") != std::string::npos);
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

TEST(BrowserTool, FetchAndRenderExitNonZeroAndSayWhatTheServerDid)
{
    if (!QFileInfo::exists(kTool)) GTEST_SKIP() << "larkspur-tool is not built";
    const auto cases = larkspur::test::hostileCases();
    // The cases that end without waiting for a limit; fetch's text, then render's.
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"header line of 1 MB", {"Max line length exceeded.", "header lines exceed 256 KB"}},
        {"10000 headers", {"header lines exceed 256 KB", "header lines exceed 256 KB"}},
        {"redirect loop", {"HTTP/1.1 302 Found", "redirects followed"}},
        {"chunked garbage",
         {"broke off the answer after 16 bytes", "broke off the answer after 16 bytes"}},
        {"reset midway", {"Connection reset by peer", "broke off the answer after 5000 bytes"}},
    };
    for (const auto& [name, texts] : expected) {
        const auto hostile =
            std::find_if(cases.begin(), cases.end(), [&](const auto& c) { return c.name == name; });
        ASSERT_NE(hostile, cases.end()) << name;
        larkspur::test::HttpRawServer server(hostile->handler);
        const QString url = QString::fromStdString(server.url("/page"));
        const ToolRun fetch = runTool({QStringLiteral("fetch"), url});
        EXPECT_EQ(fetch.status, 1) << name;
        EXPECT_EQ(fetch.out, "") << name;
        EXPECT_NE(fetch.err.find(texts.first), std::string::npos) << name << ": " << fetch.err;
        const ToolRun render = runTool({QStringLiteral("render"), url});
        EXPECT_EQ(render.status, 1) << name;
        EXPECT_EQ(render.out, "") << name;
        EXPECT_NE(render.err.find(texts.second), std::string::npos) << name << ": " << render.err;
    }
}
