// The offline lookup against dictd itself: a private dictd on loopback serves the installed
// FreeDict dictionaries, and the `dict` client's answer for each word must be ours.

#include "dictionary/DictdDictionary.h"

#include "support/TestFiles.h"

#include <QProcess>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace larkspur;

namespace {

const std::filesystem::path kFolder = "/usr/share/dictd";
const char* const kNames[] = {"freedict-eng-deu", "freedict-deu-eng"};

std::string program(const std::string& name)
{
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"})
        if (std::filesystem::exists(std::string(dir) + "/" + name))
            return std::string(dir) + "/" + name;
    return {};
}

QStringList args(const std::vector<std::string>& list)
{
    QStringList out;
    for (const auto& a : list)
        out << QString::fromStdString(a);
    return out;
}

// The `dict` client's standard output for `argv`, arguments passed byte for byte (QProcess
// would re-encode a word that is not UTF-8).
std::string runDict(const std::vector<std::string>& argv)
{
    int out[2];
    if (::pipe(out) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 2);
        ::close(out[0]);
        std::vector<char*> raw;
        for (const auto& a : argv)
            raw.push_back(const_cast<char*>(a.c_str()));
        raw.push_back(nullptr);
        ::execv(raw[0], raw.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return text;
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// Runs of blanks and line ends as one blank, none at the ends.
std::string normalised(const std::string& text)
{
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// `dict --formatted` output: a line "host<TAB>port<TAB>database<TAB>title" before each
// entry, whose lines follow indented by two blanks.
std::vector<std::pair<std::string, std::string>> entriesOfDict(const std::string& output)
{
    std::vector<std::pair<std::string, std::string>> entries;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("127.0.0.1\t", 0) == 0) {
            std::istringstream fields(line);
            std::string host, port, db;
            std::getline(fields, host, '\t');
            std::getline(fields, port, '\t');
            std::getline(fields, db, '\t');
            entries.emplace_back(db, "");
        } else if (!entries.empty()) {
            entries.back().second += line + '\n';
        }
    }
    for (auto& entry : entries)
        entry.second = normalised(entry.second);
    return entries;
}

// Every `stride`-th headword of an index, none of dictd's own "00-database" ones and none
// that the DICT protocol would have to quote.
std::vector<std::string> sampleHeadwords(const std::filesystem::path& index, int stride)
{
    std::vector<std::string> words;
    std::ifstream in(index);
    std::string line;
    for (int n = 0; std::getline(in, line); ++n) {
        const std::string word = line.substr(0, line.find('\t'));
        if (n % stride != 0 || word.empty() || word.rfind("00", 0) == 0 ||
            word.find_first_of("\"\\") != std::string::npos)
            continue;
        words.push_back(word);
    }
    return words;
}

} // namespace

TEST(DictdReference, EveryWordFindsWhatDictdFinds)
{
    const std::string dictd = program("dictd"), dict = program("dict");
    for (const char* name : kNames) {
        std::filesystem::path index = kFolder / name;
        index += ".index";
        if (!std::filesystem::exists(index))
            GTEST_SKIP() << "dict-freedict-eng-deu and dict-freedict-deu-eng are not installed";
    }
    if (dictd.empty() || dict.empty()) GTEST_SKIP() << "dictd and dict are not installed";

    // dictd drops to its own user, which must still read the configuration.
    test::TempDir dir;
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                        std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                        std::filesystem::perms::others_exec);
    std::string config;
    for (const char* name : kNames) {
        const std::string base = (kFolder / name).string();
        config += "database " + std::string(name) + " { data \"" + base + ".dict.dz\" index \"" +
                  base + ".index\" }\n";
    }
    test::writeFile(dir.file("dictd.conf"), config);
    const int port = freePort();
    ASSERT_NE(port, 0);
    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QString::fromStdString(dictd),
                 args({"-c", dir.file("dictd.conf"), "-p", std::to_string(port), "--listen-to",
                       "127.0.0.1", "--pid-file", dir.file("dictd.pid"), "-d", "nodetach"}));
    ASSERT_TRUE(server.waitForStarted());
    ASSERT_TRUE(test::waitFor([&] { return accepts(port); })) << "dictd did not listen";

    std::map<std::string, std::optional<DictdDictionary>> ours;
    for (const char* name : kNames) {
        ours[name] = DictdDictionary::open(kFolder / name);
        ASSERT_TRUE(ours[name]) << name;
    }

    // Headwords from across both indexes, as written, in capitals, with punctuation put in
    // and with a letter added (mostly not found).
    std::vector<std::string> words = {"LKW",
                                      "über",
                                      "ÄRGER",
                                      "don't",
                                      "house of cards",
                                      "e-mail",
                                      "qqxqzvjx",
                                      "Grüße",
                                      "Straße",
                                      "naïve",
                                      "  house ",
                                      "house  of\tcards",
                                      "HOUSE-OF-CARDS",
                                      "sekund\xC3-\xA4r",
                                      "über\xff",
                                      "€uro",
                                      "über\xEF\xBF\xBD",
                                      "café",
                                      "5°",
                                      "½",
                                      "Æ",
                                      "→",
                                      "a–z",
                                      "x²",
                                      "Ωmega",
                                      "Ǆ",
                                      "ﬁsh",
                                      "ĳs",
                                      "İ",
                                      "ǅ",
                                      "ΣΊΣΥΦΟΣ",
                                      "Яблоко",
                                      "中国",
                                      "①",
                                      "\xC3\xBC",
                                      "Ü",
                                      "ß",
                                      "SS",
                                      "&",
                                      "-",
                                      "'",
                                      "42",
                                      "1st"};
    for (const char* name : kNames) {
        std::filesystem::path index = kFolder / name;
        index += ".index";
        for (const std::string& w : sampleHeadwords(index, 6000)) {
            std::string upper = w, dashed = w;
            for (char& c : upper)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            std::size_t half = dashed.size() / 2;
            while (half > 0 && (static_cast<unsigned char>(dashed[half]) & 0xC0) == 0x80)
                --half;
            dashed.insert(half, "-");
            for (const std::string& v : {w, upper, dashed, w + "q"})
                words.push_back(v);
        }
    }
    ASSERT_GE(words.size(), 300u);

    int found = 0, differ = 0;
    for (const std::string& word : words) {
        const auto theirs = entriesOfDict(
            runDict({dict, "-C", "-f", "-h", "127.0.0.1", "-p", std::to_string(port), word}));
        std::vector<std::pair<std::string, std::string>> mine;
        for (const char* name : kNames)
            for (const std::string& text : ours[name]->lookup(word))
                mine.emplace_back(name, normalised(text));
        found += !theirs.empty();
        if (mine != theirs) {
            ++differ;
            ADD_FAILURE() << "\"" << word << "\": dictd has " << theirs.size() << " entries, "
                          << mine.size() << " here; dictd's first: "
                          << (theirs.empty() ? "none" : theirs[0].second.substr(0, 200))
                          << "; ours: " << (mine.empty() ? "none" : mine[0].second.substr(0, 200));
        }
    }
    EXPECT_EQ(differ, 0) << "of " << words.size() << " words, " << found << " found by dictd";
    EXPECT_GT(found, 100);
    server.terminate();
    server.waitForFinished();
}
