// The offline lookup against dictd itself: a private dictd on loopback serves the installed
// FreeDict dictionaries, and the `dict` client's entries for each word must be ours.

#include "dictionary/DictdDictionary.h"
#include "support/HttpRawServer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <regex>

using namespace larkspur;

// A shell command's output, blank runs as one blank; the word goes in through the
// environment, byte for byte.
static std::string run(const std::string& command, const std::string& word = {})
{
    ::setenv("WORD", word.c_str(), 1);
    std::string out;
    FILE* p = ::popen(("exec 2>/dev/null; PATH=$PATH:/usr/sbin; " + command).c_str(), "r");
    for (char buf[4096]; std::size_t n = std::fread(buf, 1, sizeof buf, p);)
        out.append(buf, n);
    ::pclose(p);
    return std::regex_replace(out, std::regex("\\s+"), " ");
}

TEST(DictdReference, EveryWordFindsWhatDictdFinds)
{
    const std::string dir = "/usr/share/dictd/", names[] = {"freedict-eng-deu", "freedict-deu-eng"};
    const std::optional<DictdDictionary> dicts[] = {DictdDictionary::open(dir + names[0]),
                                                    DictdDictionary::open(dir + names[1])};
    if (run("{ command -v dictd; command -v dict; } | wc -l") != "2 " || !dicts[0] || !dicts[1])
        GTEST_SKIP() << "dictd, dict and the FreeDict English-German dictionaries are needed";
    test::TempDir tmp; // dictd reads its configuration as its own user
    std::filesystem::permissions(tmp.path(), std::filesystem::perms::all);
    ::setenv("PORT", std::to_string(test::unusedLoopbackPort()).c_str(), 1);
    std::string conf;
    for (const std::string& n : names)
        conf += "database " + n.substr(9) + " { data \"" + dir + n + ".dict.dz\" index \"" + dir +
                n + ".index\" }\n";
    test::writeFile(tmp.file("conf"), conf);
    run("dictd -c " + tmp.file("conf") + " -p $PORT --listen-to 127.0.0.1 --pid-file " +
        tmp.file("pid") + " >/dev/null");
    // Each entry's header line "host<TAB>port<TAB>database<TAB>title" becomes "@database".
    const std::string dict =
        "dict -C -f -h 127.0.0.1 -p $PORT -- \"$WORD\" | sed -e "
        "'/^[0-9]* definitions* found$/d' -e 's/^127.0.0.1\t[0-9]*\t\\([^\t]*\\)\t.*/@\\1/'";
    ASSERT_TRUE(test::waitFor([&] { return !run(dict, "house").empty(); }));

    // Odd input, then headwords from across both indexes as written, in capitals, with a
    // hyphen put in and with a letter added. Headwords of punctuation alone are left out
    // (dictd gives every such entry for them; a word of the lyrics always has a letter).
    std::vector<std::string> words = {"LKW", "ÄRGER", "don't", "house  of\tcards", "€uro", "&"};
    words.insert(words.end(), {"über\xff", "sekund\xC3-\xA4r", "über\xEF\xBF\xBD", "İ"});
    for (const std::string& name : names) {
        std::ifstream index(dir + name + ".index");
        std::string w, upper, hyphened;
        for (int n = 0; std::getline(std::getline(index, w, '\t'), upper); ++n) {
            if (n % 6000 != 1 || w.starts_with("00") || dictdKey(w, false).empty()) continue;
            upper = hyphened = w;
            for (char& c : upper)
                c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            hyphened.insert(std::min(w.find_first_of("aeiou ", 1), w.size()), "-");
            words.insert(words.end(), {w, upper, hyphened, w + "q"});
        }
    }
    ASSERT_GT(words.size(), 300u);
    int found = 0;
    for (const std::string& word : words) {
        std::string ours;
        for (int d = 0; d < 2; ++d)
            for (const std::string& text : dicts[d]->lookup(word))
                ours += "@" + names[d].substr(9) + " " + text + " ";
        const std::string theirs = run(dict, word);
        found += !theirs.empty();
        EXPECT_EQ(run("printf '%s' \"$WORD\"", ours), theirs) << word;
    }
    EXPECT_GT(found, 100);
    ::kill(std::stoi(test::readFile(tmp.file("pid"))), SIGTERM);
}
