// Replace All of the lyrics routines on a 2 MB lyrics text with 100,000 hits of "ab",
// beside `sed 's/ab/xa/g'` on the same text in the same run; apart from that, how long
// putting the result back into an editor takes.

#include "bench/BenchTiming.h"
#include "lyrics/FindReplace.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace larkspur;
using namespace larkspur::bench;

namespace {

std::string readAll(const std::string& file)
{
    std::string out;
    const int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) return out;
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, std::size_t(n));
    ::close(fd);
    return out;
}

void writeAll(const std::string& file, const std::string& bytes)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::abort();
    ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir tempDir;
    if (!tempDir.isValid()) return 1;
    const std::string dir = tempDir.path().toStdString();
    const std::string in = dir + "/lyrics.lyr", out = dir + "/sed.lyr";

    // Lines of about 20 bytes, each with one "ab" and no other.
    const char* lines[] = {"we sing ab the sun\r\n", "so ab we go on bye\r\n",
                           "über ab dem Meere\r\n", "la la la la ab lala\r\n",
                           "and ab the night is\r\n"};
    std::string bytes;
    const int hits = 100000;
    for (int i = 0; i < hits; ++i)
        bytes += lines[i % 5];
    writeAll(in, bytes);
    const QString text = QString::fromUtf8(bytes);
    std::printf("text: %.2f MB, %d lines\n", bytes.size() / 1e6, hits);

    const FindOptions exact{true, true, false};
    const QString find = PrepareFindText(u"ab", true);
    ReplaceAllResult result;
    const double core = bestOf(5, [&] { result = ReplaceAll(text, find, u"xa", exact); });
    const double folded = bestOf(5, [&] {
        ReplaceAll(text, PrepareFindText(u"ab", false), u"xa", FindOptions{true, false, false});
    });
    const double withFiles = bestOf(5, [&] {
        const QString read = QString::fromUtf8(readAll(in));
        writeAll(out, ReplaceAll(read, find, u"xa", exact).text.toStdString());
    });
    const std::string command = "sed 's/ab/xa/g' '" + in + "' > '" + out + "'";
    int sedStatus = 0;
    const double sed = bestOf(5, [&] { sedStatus = std::system(command.c_str()); });
    const bool same = sedStatus == 0 && readAll(out) == result.text.toStdString();

    std::printf("Replace All (core, match case): %.1f ms, %lld replacements\n", core,
                static_cast<long long>(result.count));
    std::printf("Replace All (core, case ignored): %.1f ms\n", folded);
    std::printf("Replace All with reading and writing the file as sed does: %.1f ms\n", withFiles);
    std::printf("sed 's/ab/xa/g': %.1f ms, same result: %s\n", sed, same ? "yes" : "NO");
    std::printf("ratio core / sed %.2f, with the files %.2f (target <= 3)\n", core / sed,
                withFiles / sed);

    // Putting the result back, as the replace dialog does: the whole text replaced through
    // one cursor edit, against loading the same text with setPlainText.
    QPlainTextEdit memo;
    const QString shown = CrLfText::toEditorText(text);
    const QString replaced = CrLfText::toEditorText(result.text);
    double putBack = 1e18, load = 1e18;
    for (int run = 0; run < 3; ++run) {
        memo.setPlainText(shown);
        auto t = Clock::now();
        QTextCursor edit(memo.document());
        edit.setPosition(0);
        edit.setPosition(memo.document()->characterCount() - 1, QTextCursor::KeepAnchor);
        edit.insertText(replaced);
        putBack = std::min(putBack, msSince(t));
        memo.clear();
        t = Clock::now();
        memo.setPlainText(replaced);
        load = std::min(load, msSince(t));
    }
    std::printf("putting the result into the editor: %.1f ms (setPlainText of it: %.1f ms)\n",
                putBack, load);

    return same ? 0 : 1;
}
