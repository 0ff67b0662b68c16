// A window module cut short is refused before the loader maps it, and the program says so as
// it says a missing module, rather than dying of SIGBUS.

#include "app/core/ModuleCheck.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <filesystem>
#include <gtest/gtest.h>

using larkspur::moduleNotWhole;
using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

const std::string kModule = LARKSPUR_BINARY_DIR "/larkspur-window.so";

} // namespace

TEST(ModuleCheck, RefusesModulesCutShortAndPassesWholeOnes)
{
    const std::string whole = readFile(kModule);
    ASSERT_GT(whole.size(), std::size_t(1) << 20); // each cut below falls inside it
    TempDir dir;
    struct Case
    {
        std::string name, bytes, says; // says: how the reason begins; empty when whole
    } cases[] = {
        {"empty", "", "it is empty"},
        {"inside the ELF header", whole.substr(0, 40), "it is cut short: it holds 40 bytes"},
        {"4 KB", whole.substr(0, 4096), "it is cut short: it holds 4096 bytes"},
        {"64 KB", whole.substr(0, 65536), "it is cut short: it holds 65536 bytes"},
        {"1 MB", whole.substr(0, 1 << 20), "it is cut short: it holds 1048576 bytes"},
        {"all but a byte", whole.substr(0, whole.size() - 1), "it is cut short"},
        {"text", "#!/bin/sh\necho not a module\n", "it is no ELF file"},
        {"whole", whole, ""},
        {"the player itself", readFile(LARKSPUR_BINARY_DIR "/larkspur"), ""},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name + ".so");
        writeFile(path, c.bytes);
        const std::string reason = moduleNotWhole(path);
        EXPECT_EQ(reason.substr(0, c.says.size()), c.says) << c.name << ": " << reason;
        EXPECT_EQ(reason.empty(), c.says.empty()) << c.name << ": " << reason;
    }
    EXPECT_EQ(moduleNotWhole(dir.file("missing.so")), ""); // the loader names that itself
}

// The program beside a module cut short ends with its usual word and status, not SIGBUS.
TEST(ModuleCheck, ProgramWithAModuleCutShortSaysSoAndEnds)
{
    TempDir dir;
    const std::string program = dir.file("larkspur");
    std::filesystem::copy_file(LARKSPUR_BINARY_DIR "/larkspur", program);
    writeFile(dir.file("larkspur-window.so"), readFile(kModule).substr(0, 65536));
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LARKSPUR_AUDIO_SINK"), QStringLiteral("fakesink"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=/nonexistent"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(dir.path()));
    p.start(QString::fromStdString(program), {});
    ASSERT_TRUE(p.waitForFinished(30000));
    const std::string said = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << said;
    EXPECT_EQ(p.exitCode(), 1) << said;
    const std::string module = std::filesystem::canonical(dir.file("larkspur-window.so"));
    EXPECT_NE(said.find("larkspur: the window's module could not be loaded:\n  " + module +
                        ": it is cut short: it holds 65536 bytes"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("lib/larkspur/larkspur-window.so: cannot open shared object file"),
              std::string::npos)
        << said; // the next place, missing, on the same path
}
