// Hotkey texts to values and back, with the English key table and a simulated German
// session (a translator that answers Qt's shortcut words in German).

#include "app/core/HotKeyText.h"

#include <QCoreApplication>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace larkspur;
using namespace Qt::StringLiterals;

namespace {

struct Case
{
    const char* text;
    HotKeyValue value;
};

} // namespace

TEST(HotKeyText, ParsesEnglishTexts)
{
    const Case cases[] = {
        {"Ctrl+Shift+P", 0x6050},
        {"ctrl+shift+p", 0x6050},       // case does not matter
        {" Shift + Ctrl+P", 0x6050},    // blanks and order do not matter
        {"Shift+Ctrl+Shift+P", 0x6050}, // a repeated modifier counts once
        {"Ctrl+Shift+1", 0x6031},
        {"Ctrl+Alt+Win+F12", 0x1C07B},
        {"Alt+Page Up", 0x8021}, // the navigation block, not the pad
        {"Ctrl+num 0", 0x4060},
        {"Ctrl+;", 0x40BA}, // one character that is no letter or digit
        {"Ctrl+Space", 0x4020},
        {"P", 0x50}, // no modifiers
        {"p", 0x50},
        {"Ctrl+Foo+P", 0}, // an unknown modifier spoils the text
        {"Foo+P", 0},
        {"Ctrl+Shift", 0}, // a modifier is no key
        {"Ctrl", 0},
        {"Ctrl++", 0},          // the empty token is dropped: "Ctrl" alone
        {"Ctrl+shift", 0x4010}, // but a modifier's key in other case is a key
        {"Ctrl+Bar", 0},        // no such key
        {"", 0},
        {"+", 0},
        {"   ", 0},
        {"Ctrl+Shift+P+", 0x6050}, // a trailing plus adds an empty token only
        {"Ctrl+\tP", 0x4050},      // control characters are trimmed as blanks
        {"Ctrl+\t", 0},            // and what is left is no key, not a nameless one
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseHotKey(QString::fromLatin1(c.text), false), c.value) << c.text;
}

TEST(HotKeyText, ComposesSplitsAndDisplays)
{
    // Every modifier combination with a few keys goes round unchanged.
    for (std::uint16_t mods = 0; mods < 16; ++mods)
        for (std::uint16_t key : {0x08, 0x41, 0x70, 0xDE}) {
            std::uint16_t m = 0xFFFF, k = 0xFFFF;
            SplitHotKey(ComposeHotKey(mods, key), m, k);
            EXPECT_EQ(m, mods);
            EXPECT_EQ(k, key);
            const HotKeyValue value = ComposeHotKey(mods, key);
            EXPECT_EQ(ParseHotKey(HotKeyDisplayText(value, false), false), value)
                << HotKeyDisplayText(value, false).toStdString();
        }
    std::uint16_t m = 0, k = 0;
    SplitHotKey(0x16050 | 0x1000, m, k); // bits the value does not define are ignored
    EXPECT_EQ(m, kModWin | kModCtrl | kModShift);
    EXPECT_EQ(k, 0x50);
    EXPECT_EQ(ComposeHotKey(kModCtrl, 0x150), 0x4150u); // a wide key is added unchanged

    const struct
    {
        HotKeyValue value;
        const char* text;
    } shown[] = {
        {0x6050, "Ctrl+Shift+P"},
        {0x1E031, "Ctrl+Shift+Alt+Win+1"},
        {0x21, "Page Up"},
        {0x2E, "Delete"},
        {0x60, "Num 0"},
        {0x0C, "Num 5"},
        {0x87, "F24"},
        {0xDC, "\\"},
        {0x4007, "Ctrl+"},
        {0x6150, "Ctrl+Shift+P"}, // only the low byte
    };
    for (const auto& s : shown)
        EXPECT_EQ(HotKeyDisplayText(s.value, false), QString::fromLatin1(s.text)) << s.text;
    EXPECT_EQ(ModifierPrefix(0x8000, false), u"Alt+"_s);
    // "Num 5" is first named by the pad's 5 without Num Lock.
    EXPECT_EQ(FindKeyByName(u"num 5"_s, false), 0x0C);
    EXPECT_EQ(FindKeyByName(u"Shift"_s, false), 0x10);
}

namespace {

class GermanShortcuts : public QTranslator
{
  public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        if (QByteArrayView(context) != "QShortcut") return {};
        const QByteArrayView s(source);
        if (s == "Ctrl") return u"Strg"_s;
        if (s == "Shift") return u"Umschalt"_s;
        if (s == "PgUp") return u"Bild auf"_s;
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

TEST(HotKeyText, GermanSessionParsesBothLanguages)
{
    GermanShortcuts german;
    QCoreApplication::installTranslator(&german);
    refreshLocalKeyNames();
    const struct
    {
        const char* text;
        bool localized;
        HotKeyValue value;
    } cases[] = {
        {"Strg+Umschalt+P", false, 0x6050}, {"Ctrl+Shift+P", false, 0x6050},
        {"strg+shift+p", true, 0x6050},     {"Strg+Bild auf", true, 0x4021},
        {"Strg+Bild auf", false, 0},        {"Strg+Page Up", false, 0x4021},
        {"Strg+Umschalt", true, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseHotKey(QString::fromUtf8(c.text), c.localized), c.value) << c.text;
    EXPECT_EQ(HotKeyDisplayText(0x6021, true), u"Strg+Umschalt+Bild auf"_s);
    EXPECT_EQ(HotKeyDisplayText(0x6021, false), u"Ctrl+Shift+Page Up"_s);
    EXPECT_EQ(HotKeyDisplayText(0x18041, true), u"Alt+Win+A"_s);
    QCoreApplication::removeTranslator(&german);
    refreshLocalKeyNames();
    EXPECT_EQ(ParseHotKey(u"Strg+P"_s, false), 0u);
}
