#include "lyrics/QueryEncoding.h"
#include "lyrics/TextRoutines.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace larkspur;

namespace {

using Row = std::pair<std::string, std::string>;

// Test files are UTF-8, so these letters are the bytes the program holds.
const std::vector<Row> kEntityRows = {
    {"&auml;", "ä"}, {"&ouml;", "ö"}, {"&uuml;", "ü"},  {"&Auml;", "Ä"},
    {"&Ouml;", "Ö"}, {"&Uuml;", "Ü"}, {"&szlig;", "ß"},
};
const std::vector<Row> kUtf8Rows = {
    {"ä", "%C3%A4"}, {"ö", "%C3%B6"}, {"ü", "%C3%BC"}, {"ß", "%C3%9F"}, {"Ä", "%C3%84"},
    {"Ö", "%C3%96"}, {"Ü", "%C3%9C"}, {"á", "%C3%A1"}, {"à", "%C3%A0"}, {"é", "%C3%A9"},
    {"è", "%C3%A8"}, {"í", "%C3%AD"}, {"ì", "%C3%AC"}, {"ó", "%C3%B3"}, {"ò", "%C3%B2"},
    {"ú", "%C3%BA"}, {"ù", "%C3%B9"}, {"Á", "%C3%81"}, {"À", "%C3%80"}, {"É", "%C3%89"},
    {"È", "%C3%88"}, {"Í", "%C3%8D"}, {"Ì", "%C3%8C"}, {"Ó", "%C3%93"}, {"Ò", "%C3%92"},
    {"Ú", "%C3%9A"}, {"Ù", "%C3%99"},
};

// One replace-all pass per row, in table order, each restarting after every replacement.
std::string passes(std::string text, const std::vector<Row>& rows, bool exactCase)
{
    for (const auto& [from, to] : rows) {
        if (!exactCase) {
            text = ReplaceAllNoCase(text, from, to);
            continue;
        }
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from))
            text.replace(at, from.size(), to);
    }
    return text;
}

// Random mixes of the rows' own fragments, broken pieces of them and stray bytes.
std::string randomText(std::mt19937& random, const std::vector<Row>& rows)
{
    static const std::vector<std::string> extras = {
        "&", ";", "a", "uml", "&a", "zlig;", " ", "%", "\xC3", "\xA4", "\xE4", "â", "ç", "e"};
    std::string text;
    for (int n = random() % 16; n > 0; --n) {
        if (random() % 2) {
            const Row& row = rows[random() % rows.size()];
            text += random() % 2 ? row.first : row.second;
        } else {
            text += extras[random() % extras.size()];
        }
    }
    return text;
}

} // namespace

TEST(DecodeUmlautEntities, Table)
{
    const std::vector<Row> cases = {
        {"&Auml;rger &auml;", "Ärger ä"},
        {"&auml;&ouml;&uuml;&Auml;&Ouml;&Uuml;&szlig;", "äöüÄÖÜß"},
        {"Stra&szlig;e", "Straße"},
        {"&AUML; &amp; &eacute; &#228; &auml", "&AUML; &amp; &eacute; &#228; &auml"},
        {"&&auml;;", "&ä;"},
        {"&au&auml;ml;", "&auäml;"}, // a decoded letter never completes another entity
        {"", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(DecodeUmlautEntities(text), expected);
}

TEST(EncodeLatin1Query, Table)
{
    struct Case
    {
        std::string text, expected, lacking;
    };
    const Case cases[] = {
        {"Größe", "Gr%F6%DFe", ""},
        {"&query=Ärger im+Paradies", "&query=%C4rger im+Paradies", ""},
        {"a+b&c%d é â ÿ \xC2\xA0", "a+b&c%d %E9 %E2 %FF %A0", ""},
        {"\xE4 \xC3", "? ?", "\xE4\xC3"}, // a Latin-1 byte, a cut-off UTF-8 lead
        {"a–b € 中 😀.", "a?b ? ? ?.", "–€中😀"},
        {"\xE2\x82x", "??x", "\xE2\x82"}, // a cut-off sequence: each byte alone
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string lacking;
        EXPECT_EQ(EncodeLatin1Query(c.text, &lacking), c.expected) << c.text;
        EXPECT_EQ(lacking, c.lacking) << c.text;
    }
}

TEST(EncodeUtf8Query, Table)
{
    const std::vector<Row> cases = {
        {"Café Größe", "Caf%C3%A9 Gr%C3%B6%C3%9Fe"},
        {"âçñ Ç \"x\"+y", "âçñ Ç \"x\"+y"},
        {"Ü", "%C3%9C"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(EncodeUtf8Query(text), expected);
    for (const auto& [letter, escape] : kUtf8Rows)
        EXPECT_EQ(EncodeUtf8Query("x" + letter + letter), "x" + escape + escape) << letter;
}

TEST(QueryEncoding, EqualsOnePassPerTableRowOnRandomTexts)
{
    std::mt19937 random(4711);
    for (int round = 0; round < 2000; ++round) {
        const std::string entities = randomText(random, kEntityRows);
        ASSERT_EQ(DecodeUmlautEntities(entities), passes(entities, kEntityRows, true)) << entities;
        const std::string utf8 = randomText(random, kUtf8Rows);
        ASSERT_EQ(EncodeUtf8Query(utf8), passes(utf8, kUtf8Rows, false)) << utf8;
    }
}
