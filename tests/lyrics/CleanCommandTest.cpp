#include "lyrics/CleanCommand.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace larkspur;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(CleanCommand, PrintsTheCleanedBytesOfAFile)
{
    TempDir dir;
    std::string high;
    for (int c = 128; c < 256; ++c)
        high += char(c);
    writeFile(dir.file("page.htm"),
              "<html><BODY>A\r\n<script>x</script>" + high + "<class y>B</body></html>");
    std::ostringstream out, err;
    EXPECT_EQ(runCleanCommand(dir.file("page.htm"), out, err), 0);
    EXPECT_EQ(out.str(), "<BODY>A\r\n" + high + "B");
    EXPECT_EQ(err.str(), "");

    writeFile(dir.file("empty.htm"), "");
    std::ostringstream emptyOut;
    EXPECT_EQ(runCleanCommand(dir.file("empty.htm"), emptyOut, err), 0);
    EXPECT_EQ(emptyOut.str(), "");
}

TEST(CleanCommand, ReportsFilesItCannotRead)
{
    TempDir dir;
    for (const std::string& path : {dir.file("missing.htm"), dir.path()}) {
        std::ostringstream out, err;
        EXPECT_EQ(runCleanCommand(path, out, err), 1) << path;
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find(path), std::string::npos) << err.str();
    }
}
