#include "dictionary/DictdDictionary.h"

#include "support/FifoRescue.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace larkspur;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

struct Entry
{
    std::string headword, text;
};

// Headwords as dictfmt writes them for freedict: lower case, punctuation dropped, byte order.
// "bank" has two entries; the texts are longer than a test chunk, so most span chunks.
const std::vector<Entry> kEntries = {
    {"abacus", "abacus /ˈæbəkəs/\n  Abakus, Rechenbrett\n"},
    {"bank", "bank /bæŋk/\n  Bank (financial institution), Geldinstitut, Kreditinstitut\n"},
    {"bank", "bank /bæŋk/\n  Ufer (of a river), Böschung, Uferböschung, Damm\n"},
    {"dont", "don't\n  nicht tun, lass das, unterlasse es bitte\n"},
    {"haus", "Haus /haʊ̯s/\n  house, home, building, household, dynasty\n"},
    {"house", "house /haʊs/\n  Haus, Gebäude, Wohnhaus, Heim, Zuhause\n"},
    {"house of cards", "house of cards\n  Kartenhaus (also figuratively)\n"},
    {"household", "household\n  Haushalt, Hausstand, Haushaltung\n"},
    {"houses", "houses\n  Häuser (plural of house)\n"},
    {"zebra", "zebra /ˈzebrə/\n  Zebra, gestreiftes Pferd aus Afrika\n"},
    {"über", "über\n  over, above, about, across, via\n"},
};

std::string base64(std::uint64_t v)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    do {
        out.insert(out.begin(), digits[v % 64]);
        v /= 64;
    } while (v);
    return out;
}

// Deflates `data` as dictzip does: a full flush after every chunk, so each inflates alone.
std::string dictzip(const std::string& data, std::size_t chunkLength)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at < data.size(); at += chunkLength) {
        const std::size_t n = std::min(chunkLength, data.size() - at);
        std::string out(deflateBound(&z, n) + 64, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
        z.avail_in = static_cast<uInt>(n);
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, at + n == data.size() ? Z_FINISH : Z_FULL_FLUSH);
        out.resize(out.size() - z.avail_out);
        chunks.push_back(out);
    }
    deflateEnd(&z);

    const auto le16 = [](std::string& s, std::size_t v) {
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>(v >> 8);
    };
    std::string ra;
    le16(ra, 1);
    le16(ra, chunkLength);
    le16(ra, chunks.size());
    for (const auto& c : chunks)
        le16(ra, c.size());
    std::string out = {'\x1f', '\x8b', 8, 4 | 8, 0, 0, 0, 0, 2, 3};
    le16(out, ra.size() + 4);
    out += "RA";
    le16(out, ra.size());
    out += ra;
    out += std::string("data.dict") + '\0';
    for (const auto& c : chunks)
        out += c;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size());
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((crc >> (8 * i)) & 0xFF);
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((data.size() >> (8 * i)) & 0xFF);
    return out;
}

std::string gzip(const std::string& data)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

enum class Format { DictZip, Gzip, Plain };

// Writes "<dir>/<name>.index" and the data file; the entries go in in reverse so that the
// index's offsets are not simply increasing. Returns the base path.
std::string writeDictd(const std::string& dir, const std::string& name,
                       const std::vector<Entry>& entries, Format format = Format::DictZip)
{
    std::string data, index;
    std::vector<std::pair<std::size_t, std::size_t>> ranges(entries.size());
    for (std::size_t i = entries.size(); i-- > 0;) {
        ranges[i] = {data.size(), entries[i].text.size()};
        data += entries[i].text;
    }
    for (std::size_t i = 0; i < entries.size(); ++i)
        index += entries[i].headword + '\t' + base64(ranges[i].first) + '\t' +
                 base64(ranges[i].second) + '\n';
    const std::string base = dir + "/" + name;
    writeFile(base + ".index", index);
    switch (format) {
    case Format::DictZip:
        writeFile(base + ".dict.dz", dictzip(data, 40));
        break;
    case Format::Gzip:
        writeFile(base + ".dict.dz", gzip(data));
        break;
    case Format::Plain:
        writeFile(base + ".dict", data);
        break;
    }
    return base;
}

// Writes an index and data as they are, in `format`.
void writeRaw(const std::string& base, const std::string& index, const std::string& data,
              Format format)
{
    writeFile(base + ".index", index);
    if (format == Format::Plain) return writeFile(base + ".dict", data);
    writeFile(base + ".dict.dz", format == Format::Gzip ? gzip(data) : dictzip(data, 4000));
}

std::vector<std::string> textsOf(const std::string& headword)
{
    std::vector<std::string> texts;
    for (const auto& e : kEntries)
        if (e.headword == headword) texts.push_back(e.text);
    return texts;
}

} // namespace

TEST(DictdDictionary, LooksUpHeadwordsInEveryDataFormat)
{
    ASSERT_TRUE(std::is_sorted(kEntries.begin(), kEntries.end(),
                               [](auto& a, auto& b) { return a.headword < b.headword; }));
    struct Case
    {
        std::string word, headword; // empty headword: not found
    };
    const std::vector<Case> cases = {
        {"house", "house"},
        {"HoUsE", "house"},
        {"hous", ""},
        {"houses", "houses"},
        {"household", "household"},
        {"house of cards", "house of cards"},
        {"House of Cards!", "house of cards"},
        {"don't", "dont"},
        {"abacus", "abacus"},
        {"a", ""},
        {"bank", "bank"},
        {"zebra", "zebra"},
        {"zebras", ""},
        {"über", "über"},
        {"ÜBER", "über"},
        {"uber", ""},
        {"", ""},
        {"?!", ""},
    };
    for (Format format : {Format::DictZip, Format::Gzip, Format::Plain}) {
        TempDir dir;
        const auto dict = DictdDictionary::open(writeDictd(dir.path(), "t", kEntries, format));
        ASSERT_TRUE(dict) << static_cast<int>(format);
        for (const auto& c : cases)
            EXPECT_EQ(dict->lookup(c.word), textsOf(c.headword))
                << "format " << static_cast<int>(format) << " word '" << c.word << "'";
    }
}

TEST(DictdDictionary, BrokenFilesGiveNothingForWhatTheyBreak)
{
    TempDir dir;
    std::vector<Entry> entries = kEntries;
    const std::string base = writeDictd(dir.path(), "t", entries);
    const std::string zipped = test::readFile(base + ".dict.dz");

    // A line without its numbers and one with a digit outside dictd's alphabet.
    std::string index = test::readFile(base + ".index");
    const auto replaceLine = [&](const std::string& headword, const std::string& line) {
        const auto at = index.find("\n" + headword + "\t") + 1;
        index.replace(at, index.find('\n', at) - at, line);
    };
    replaceLine("dont", "dont");
    replaceLine("haus", "haus\tA*B\tBx");
    writeFile(base + ".index", index);
    auto dict = DictdDictionary::open(base);
    ASSERT_TRUE(dict);
    EXPECT_TRUE(dict->lookup("dont").empty());
    EXPECT_TRUE(dict->lookup("haus").empty());
    EXPECT_EQ(dict->lookup("house"), textsOf("house"));

    // Cut the data in half: entries written first (the last headwords) survive.
    writeDictd(dir.path(), "t", entries);
    writeFile(base + ".dict.dz", zipped.substr(0, zipped.size() / 2));
    dict = DictdDictionary::open(base);
    ASSERT_TRUE(dict);
    EXPECT_EQ(dict->lookup("über"), textsOf("über"));
    EXPECT_TRUE(dict->lookup("abacus").empty());

    // A header cut inside its chunk table, a missing data file, an index of garbage.
    writeFile(base + ".dict.dz", zipped.substr(0, 20));
    EXPECT_FALSE(DictdDictionary::open(base));
    std::filesystem::remove(base + ".dict.dz");
    EXPECT_FALSE(DictdDictionary::open(base));
    EXPECT_FALSE(DictdDictionary::open(dir.file("absent")));
    writeFile(base + ".dict", "plain");
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) % 251);
    writeFile(base + ".index", garbage);
    dict = DictdDictionary::open(base);
    ASSERT_TRUE(dict);
    for (const char* word : {"house", "a", "\xff\xfe"})
        EXPECT_TRUE(dict->lookup(word).empty());
}

TEST(DictdDictionary, LookupTriesEnglishGermanThenGermanEnglish)
{
    TempDir dir;
    EXPECT_FALSE(lookupEnglishGerman("house", dir.path()));
    writeDictd(dir.path(), "freedict-deu-eng", {{"haus", "Haus\n  house\n"}});
    EXPECT_EQ(lookupEnglishGerman("Haus", dir.path()), "Haus\n  house");
    EXPECT_FALSE(lookupEnglishGerman("house", dir.path()));
    writeDictd(dir.path(), "freedict-eng-deu", {{"haus", "haus\n  (no English word)\n\n"}});
    EXPECT_EQ(lookupEnglishGerman("haus", dir.path()),
              "haus\n  (no English word)\n\nHaus\n  house");
}

TEST(DictdDictionary, InstalledFreedictDictionaries)
{
    const std::filesystem::path folder = "/usr/share/dictd";
    if (!std::filesystem::exists(folder / "freedict-eng-deu.index") ||
        !std::filesystem::exists(folder / "freedict-deu-eng.index"))
        GTEST_SKIP() << "dict-freedict-eng-deu and dict-freedict-deu-eng are not installed";
    struct Case
    {
        std::string name, word;
        std::vector<std::string> headlines; // how an entry's first line may begin
        std::string translation;
    };
    const std::vector<Case> cases = {
        {"freedict-eng-deu", "house", {"house"}, "Haus"},
        {"freedict-eng-deu", "House", {"house"}, "Haus"},
        {"freedict-deu-eng", "Haus", {"Haus"}, "house"},
        {"freedict-deu-eng", "über", {"über", "Über"}, "over"},
        {"freedict-eng-deu", "zebra", {"zebra"}, "Zebra"},
    };
    for (const auto& c : cases) {
        const auto dict = DictdDictionary::open(folder / c.name);
        ASSERT_TRUE(dict) << c.name;
        const auto entries = dict->lookup(c.word);
        ASSERT_FALSE(entries.empty()) << c.word;
        bool translated = false;
        for (const auto& e : entries) {
            EXPECT_TRUE(std::any_of(c.headlines.begin(), c.headlines.end(), [&](auto& h) {
                return e.rfind(h, 0) == 0;
            })) << e;
            translated |= e.find(c.translation) != std::string::npos;
        }
        EXPECT_TRUE(translated) << c.word;
    }
    const auto both = lookupEnglishGerman("Haus");
    ASSERT_TRUE(both);
    EXPECT_NE(both->find("house"), std::string::npos);
    EXPECT_FALSE(lookupEnglishGerman("qqxqzvjx"));
}

// What stands in the dictionary folder in place of a file is refused at once, named in the
// reason; the other dictionary still answers.
TEST(DictdDictionary, OnlyRegularFilesAreReadAndNoneBlocks)
{
    const auto fifo = [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; };
    const auto folder = [](const std::string& p) { return std::filesystem::create_directory(p); };
    const auto device = [](const std::string& p) {
        std::filesystem::create_symlink("/dev/zero", p);
        return true;
    };
    struct Case
    {
        std::string file;
        std::function<bool(const std::string&)> make;
        std::string why;
    };
    const Case cases[] = {
        {".index", fifo, "not a regular file"},     {".dict.dz", fifo, "not a regular file"},
        {".index", folder, "it is a folder"},       {".dict.dz", folder, "it is a folder"},
        {".dict.dz", device, "not a regular file"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string base = writeDictd(dir.path(), "freedict-eng-deu", kEntries);
        writeDictd(dir.path(), "freedict-deu-eng", {{"haus", "Haus\n  house\n"}});
        const std::string path = base + c.file;
        std::filesystem::remove(path);
        ASSERT_TRUE(c.make(path)) << path;
        test::FifoRescue rescue({path});
        std::string why, problems;
        EXPECT_FALSE(DictdDictionary::open(base, &why)) << path;
        EXPECT_NE(why.find("\"" + path + "\""), std::string::npos) << why;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(lookupEnglishGerman("Haus", dir.path(), &problems), "Haus\n  house");
        EXPECT_EQ(problems, why);
        EXPECT_FALSE(rescue.rescued()) << path << " blocked the lookup";
    }
}

// An index repeating a line shows its entry once, as dictd does; the entries of one lookup
// are cut at kDictdMaxLookupText bytes and kDictdMaxHeadwordLines lines, in every format.
TEST(DictdDictionary, RepeatedLinesShowOnceAndALookupIsBounded)
{
    const std::size_t block = 100 * 1024;
    std::string data = "LKW\n  lorry, truck\n", index;
    for (int i = 0; i < 40; ++i)
        index += "big\t" + base64(data.size() + i * block) + '\t' + base64(block) + '\n';
    for (int i = 0; i < 40; ++i)
        data += std::string(block - 1, static_cast<char>('a' + i % 26)) + '\n';
    for (int i = 0; i < 300; ++i)
        index += "LKW\tA\tT\n";
    for (int i = 0; i < 1200; ++i)
        index += "many\t" + base64(i) + "\tB\n";
    struct Case
    {
        std::string word;
        std::size_t texts, bytes;
        bool cut;
    };
    const Case cases[] = {
        {"lkw", 1, 19, false},
        {"big", kDictdMaxLookupText / block + 1, kDictdMaxLookupText, true},
        {"many", kDictdMaxHeadwordLines, kDictdMaxHeadwordLines, true},
    };
    for (Format format : {Format::Plain, Format::Gzip, Format::DictZip}) {
        TempDir dir;
        writeRaw(dir.file("t"), index, data, format);
        const auto dict = DictdDictionary::open(dir.file("t"));
        ASSERT_TRUE(dict);
        for (const auto& c : cases) {
            const DictdEntries found = dict->find(c.word);
            const auto where = "format " + std::to_string(int(format)) + " word " + c.word;
            ASSERT_EQ(found.texts.size(), c.texts) << where;
            std::size_t bytes = 0;
            for (const auto& text : found.texts) {
                // Each text is its own entry's, from its start.
                const std::size_t at = c.word == "lkw" ? 0 : c.word == "many" ? bytes : 19 + bytes;
                EXPECT_EQ(text, data.substr(at, text.size())) << where;
                bytes += text.size();
            }
            EXPECT_EQ(bytes, c.bytes) << where;
            EXPECT_EQ(!found.cut.empty(), c.cut) << where;
            EXPECT_TRUE(found.problems.empty()) << where;
        }
    }
    // The two dictionaries together keep the bound and say where they were cut.
    TempDir dir;
    writeRaw(dir.file("freedict-eng-deu"), index, data, Format::Plain);
    writeRaw(dir.file("freedict-deu-eng"), index, data, Format::Plain);
    const auto both = lookupEnglishGerman("big", dir.path());
    ASSERT_TRUE(both);
    EXPECT_LE(both->size(), kDictdMaxLookupText + 200);
    EXPECT_TRUE(both->ends_with("\n\n[The rest is cut: more than 1 MB of entries.]")) << *both;
    EXPECT_EQ(lookupEnglishGerman("LKW", dir.path()), "LKW\n  lorry, truck\n\nLKW\n  lorry, truck");
}

// A plain gzip (no dictzip chunks) is inflated from its start, never past
// kDictdMaxInflated: an entry further in is refused, and the lookup says why.
TEST(DictdDictionary, PlainGzipEntriesPastTheInflateBoundAreRefused)
{
    const std::uint64_t mb = 1u << 20;
    struct Case
    {
        std::string word;
        std::uint64_t offset;
        bool found;
    };
    const Case cases[] = {
        {"across", kDictdMaxInflated - 4, false},
        {"far", kDictdMaxInflated + 20 * mb, false},
        {"first", 0, true},
        {"near", kDictdMaxInflated - 1 * mb, true},
    };
    std::string data(kDictdMaxInflated + 21 * mb, ' '), index;
    for (const auto& c : cases) {
        const std::string text = "entry " + c.word + "\n";
        data.replace(c.offset, text.size(), text);
        index += c.word + '\t' + base64(c.offset) + '\t' + base64(text.size()) + '\n';
    }
    TempDir dir;
    writeRaw(dir.file("t"), index, data, Format::Gzip);
    const auto dict = DictdDictionary::open(dir.file("t"));
    ASSERT_TRUE(dict);
    for (const auto& c : cases) {
        const DictdEntries found = dict->find(c.word);
        if (c.found) {
            EXPECT_EQ(found.texts, std::vector<std::string>{"entry " + c.word + "\n"}) << c.word;
            EXPECT_TRUE(found.problems.empty()) << c.word;
        } else {
            EXPECT_TRUE(found.texts.empty()) << c.word;
            ASSERT_EQ(found.problems.size(), 1u) << c.word;
            EXPECT_NE(found.problems[0].find("first 64 MB"), std::string::npos)
                << found.problems[0];
        }
    }
}
