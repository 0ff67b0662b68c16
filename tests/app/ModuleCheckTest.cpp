// A window module cut short is refused before the loader maps it, and the program says so as
// it says a missing module, rather than dying of SIGBUS.

#include "app/core/ModuleCheck.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using larkspur::test::readFile;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

TEST(ModuleCheck, RefusesModulesCutShortAndPassesWholeOnes)
{
    const std::string whole = readFile(LARKSPUR_BINARY_DIR "/larkspur-window.so");
    ASSERT_GT(whole.size(), std::size_t(1) << 20); // each cut below falls inside it
    TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        // the file, and how the reason begins (empty: whole)
        {whole.substr(0, 40), "it is cut short: it holds 40 bytes"},
        {whole.substr(0, 4096), "it is cut short: it holds 4096 bytes"},
        {whole.substr(0, 65536), "it is cut short: it holds 65536 bytes"},
        {whole.substr(0, 1 << 20), "it is cut short: it holds 1048576 bytes"},
        {whole.substr(0, whole.size() - 1), "it is cut short"},
        {"#!/bin/sh\necho not a module\n", "it is no ELF file"},
        {whole, ""},
        {readFile(LARKSPUR_BINARY_DIR "/larkspur"), ""},
    };
    ::mkfifo(dir.file("pipe.so").c_str(), 0600); // opened by the loader, it would never end
    EXPECT_EQ(larkspur::moduleNotWhole(dir.file("pipe.so")), "it is no regular file");
    for (const auto& [bytes, says] : cases) {
        writeFile(dir.file("module.so"), bytes);
        const std::string reason = larkspur::moduleNotWhole(dir.file("module.so"));
        EXPECT_EQ(reason.substr(0, says.size()), says) << bytes.size() << ": " << reason;
        EXPECT_EQ(reason.empty(), says.empty()) << bytes.size() << ": " << reason;
    }
}

// Beside a module cut short or of another build the program ends with its usual word and
// status, not SIGBUS or what that build makes of Launch, and leaves no lock on the list.
TEST(ModuleCheck, ProgramWithAModuleCutShortOrOfAnotherBuildSaysSoAndEnds)
{
    for (const auto& [module, says] :
         {std::pair(readFile(LARKSPUR_BINARY_DIR "/larkspur-window.so").substr(0, 65536),
                    ": it is cut short: it holds 65536 bytes"),
          std::pair(readFile(LARKSPUR_FOREIGN_WINDOW), " comes from another build")}) {
        TempDir dir;
        std::filesystem::copy_file(LARKSPUR_BINARY_DIR "/larkspur", dir.file("larkspur"));
        writeFile(dir.file("larkspur-window.so"), module);
        larkspur::test::makeMp3(dir.file("A.mp3"), 1.0);
        writeFile(dir.file("list.txt"), "0|" + dir.file("A.mp3") + "\r\n");
        QProcess p;
        p.setWorkingDirectory(QString::fromStdString(dir.path()));
        p.start(QString::fromStdString(dir.file("larkspur")), {QStringLiteral("list.txt")});
        ASSERT_TRUE(p.waitForFinished(30000));
        const std::string said = p.readAllStandardError().toStdString();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << said;
        EXPECT_EQ(p.exitCode(), 1) << said;
        const std::string path = std::filesystem::canonical(dir.file("larkspur-window.so"));
        EXPECT_NE(said.find("larkspur: the window's module could not be loaded:\n  " + path + says),
                  std::string::npos)
            << said;
        EXPECT_FALSE(std::filesystem::exists(dir.file("list.txt.lock")));
    }
}
