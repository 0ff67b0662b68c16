#include "app/core/HotKeyText.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace larkspur {

namespace {

struct KeyEntry
{
    std::uint16_t vk;
    const char* usName;   // as the US English layout names the key
    const char* qtName;   // Qt's shortcut word, translated for localized names; null: usName
    std::uint32_t keysym; // X11
};

// Letters and digits are added in code; everything else is here, by virtual key code.
constexpr KeyEntry kKeys[] = {
    {0x08, "Backspace", "Backspace", 0xff08},
    {0x09, "Tab", "Tab", 0xff09},
    {0x0C, "Num 5", nullptr, 0xff9d}, // the pad's 5 without Num Lock
    {0x0D, "Enter", "Return", 0xff0d},
    {0x10, "Shift", "Shift", 0xffe1},
    {0x11, "Ctrl", "Ctrl", 0xffe3},
    {0x12, "Alt", "Alt", 0xffe9},
    {0x13, "Pause", "Pause", 0xff13},
    {0x14, "Caps Lock", "CapsLock", 0xffe5},
    {0x1B, "Esc", "Esc", 0xff1b},
    {0x20, "Space", "Space", 0x0020},
    {0x21, "Page Up", "PgUp", 0xff55},
    {0x22, "Page Down", "PgDown", 0xff56},
    {0x23, "End", "End", 0xff57},
    {0x24, "Home", "Home", 0xff50},
    {0x25, "Left", "Left", 0xff51},
    {0x26, "Up", "Up", 0xff52},
    {0x27, "Right", "Right", 0xff53},
    {0x28, "Down", "Down", 0xff54},
    {0x2C, "Prnt Scrn", "Print", 0xff61},
    {0x2D, "Insert", "Ins", 0xff63},
    {0x2E, "Delete", "Del", 0xffff},
    {0x5B, "Left Windows", nullptr, 0xffeb},
    {0x5C, "Right Windows", nullptr, 0xffec},
    {0x5D, "Application", "Menu", 0xff67},
    {0x60, "Num 0", nullptr, 0xffb0},
    {0x61, "Num 1", nullptr, 0xffb1},
    {0x62, "Num 2", nullptr, 0xffb2},
    {0x63, "Num 3", nullptr, 0xffb3},
    {0x64, "Num 4", nullptr, 0xffb4},
    {0x65, "Num 5", nullptr, 0xffb5},
    {0x66, "Num 6", nullptr, 0xffb6},
    {0x67, "Num 7", nullptr, 0xffb7},
    {0x68, "Num 8", nullptr, 0xffb8},
    {0x69, "Num 9", nullptr, 0xffb9},
    {0x6A, "Num *", nullptr, 0xffaa},
    {0x6B, "Num +", nullptr, 0xffab},
    {0x6D, "Num -", nullptr, 0xffad},
    {0x6E, "Num Del", nullptr, 0xffae},
    {0x6F, "Num /", nullptr, 0xffaf},
    {0x90, "Num Lock", "NumLock", 0xff7f},
    {0x91, "Scroll Lock", "ScrollLock", 0xff14},
    {0xA1, "Right Shift", nullptr, 0xffe2},
    {0xBA, ";", nullptr, ';'},
    {0xBB, "=", nullptr, '='},
    {0xBC, ",", nullptr, ','},
    {0xBD, "-", nullptr, '-'},
    {0xBE, ".", nullptr, '.'},
    {0xBF, "/", nullptr, '/'},
    {0xC0, "`", nullptr, '`'},
    {0xDB, "[", nullptr, '['},
    {0xDC, "\\", nullptr, '\\'},
    {0xDD, "]", nullptr, ']'},
    {0xDE, "'", nullptr, '\''},
};

const KeyEntry* findEntry(std::uint16_t vk)
{
    for (const KeyEntry& e : kKeys)
        if (e.vk == vk) return &e;
    return nullptr;
}

bool isDigitOrLetter(std::uint16_t vk)
{
    return (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z');
}

bool isFunctionKey(std::uint16_t vk)
{
    return vk >= 0x70 && vk <= 0x87; // F1 .. F24
}

QString translated(const char* word)
{
    // The context Qt's own shortcut texts are translated in.
    return QCoreApplication::translate("QShortcut", word);
}

struct LocalNames
{
    QString shift = QStringLiteral("Shift");
    QString ctrl = QStringLiteral("Ctrl");
    QString alt = QStringLiteral("Alt");
    QString win = QStringLiteral("Win");
    bool loaded = false;
};

LocalNames& localNames()
{
    static LocalNames names;
    if (!names.loaded) {
        names.loaded = true; // before the lookups below, which read the names again
        refreshLocalKeyNames();
    }
    return names;
}

// Delphi's Trim: blanks and control characters at both ends.
QString trimmed(const QString& s)
{
    qsizetype from = 0, to = s.size();
    while (from < to && s[from].unicode() <= u' ')
        ++from;
    while (to > from && s[to - 1].unicode() <= u' ')
        --to;
    return s.mid(from, to - from);
}

QStringList splitTokens(const QString& text)
{
    QStringList tokens;
    for (const QString& part : text.split(u'+')) {
        qsizetype i = 0;
        while (i < part.size() && part[i] == u' ')
            ++i;
        if (i < part.size()) tokens << part.mid(i);
    }
    return tokens;
}

bool equalNoCase(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

void refreshLocalKeyNames()
{
    LocalNames& names = localNames();
    names.shift = HotKeyDisplayText(0x10, true);
    names.ctrl = HotKeyDisplayText(0x11, true);
    names.alt = HotKeyDisplayText(0x12, true);
    bool capitals = true;
    for (QChar c : names.alt)
        if (c < u'A' || c > u'Z') capitals = false;
    names.win = capitals ? QStringLiteral("WIN") : QStringLiteral("Win");
}

HotKeyValue ComposeHotKey(std::uint16_t modifiers, std::uint16_t key)
{
    HotKeyValue high = 0;
    if (modifiers & kModAlt) high += 0x80;
    if (modifiers & kModCtrl) high += 0x40;
    if (modifiers & kModShift) high += 0x20;
    if (modifiers & kModWin) high += 0x100;
    return (high << 8) + key;
}

void SplitHotKey(HotKeyValue hotKey, std::uint16_t& modifiers, std::uint16_t& key)
{
    key = hotKey & 0xFF;
    modifiers = 0;
    if (hotKey & kHotKeyWin) modifiers |= kModWin;
    if (hotKey & kHotKeyAlt) modifiers |= kModAlt;
    if (hotKey & kHotKeyCtrl) modifiers |= kModCtrl;
    if (hotKey & kHotKeyShift) modifiers |= kModShift;
}

std::uint16_t ParseModifiers(const QStringList& tokens, bool /*localized*/)
{
    if (tokens.size() < 2) return 0;
    const LocalNames& local = localNames();
    std::uint16_t flags = 0;
    for (qsizetype i = 0; i + 1 < tokens.size(); ++i) {
        const QString word = trimmed(tokens[i]);
        if (equalNoCase(word, u"Shift"_s) || equalNoCase(word, local.shift))
            flags |= kModShift;
        else if (equalNoCase(word, u"Ctrl"_s) || equalNoCase(word, local.ctrl))
            flags |= kModCtrl;
        else if (equalNoCase(word, u"Alt"_s) || equalNoCase(word, local.alt))
            flags |= kModAlt;
        else if (equalNoCase(word, u"Win"_s) || equalNoCase(word, local.win))
            flags |= kModWin;
        else
            return 0;
    }
    return flags;
}

std::uint16_t ParseKeyName(const QStringList& tokens, bool localized)
{
    if (tokens.isEmpty()) return 0;
    const QString name = trimmed(tokens.last());
    if (name.size() == 1) {
        QChar c = name[0];
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 0x20);
        if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z')) return c.unicode();
        return FindKeyByName(QString(c), localized);
    }
    const LocalNames& local = localNames();
    for (const QString& modifier :
         {u"Ctrl"_s, local.ctrl, u"Alt"_s, local.alt, u"Shift"_s, local.shift, u"Win"_s, local.win})
        if (name == modifier) return 0;
    return FindKeyByName(name, localized);
}

HotKeyValue ParseHotKey(const QString& text, bool localized)
{
    const QStringList tokens = splitTokens(text);
    const std::uint16_t flags = ParseModifiers(tokens, localized);
    if (flags == 0 && tokens.size() >= 2) return 0;
    const std::uint16_t key = ParseKeyName(tokens, localized);
    return key == 0 ? 0 : ComposeHotKey(flags, key);
}

std::uint16_t FindKeyByName(const QString& name, bool localized)
{
    // Keys without a name in the table show as empty text; an empty name is none of them.
    if (name.isEmpty()) return 0;
    for (std::uint16_t vk = 8; vk <= 255; ++vk)
        if (equalNoCase(name, HotKeyDisplayText(vk, localized))) return vk;
    return 0;
}

QString ModifierPrefix(HotKeyValue hotKey, bool localized)
{
    QString prefix;
    if (!localized) {
        if (hotKey & kHotKeyCtrl) prefix += u"Ctrl+"_s;
        if (hotKey & kHotKeyShift) prefix += u"Shift+"_s;
        if (hotKey & kHotKeyAlt) prefix += u"Alt+"_s;
        if (hotKey & kHotKeyWin) prefix += u"Win+"_s;
        return prefix;
    }
    const LocalNames& local = localNames();
    if (hotKey & kHotKeyCtrl) prefix += local.ctrl + u'+';
    if (hotKey & kHotKeyShift) prefix += local.shift + u'+';
    if (hotKey & kHotKeyAlt) prefix += local.alt + u'+';
    if (hotKey & kHotKeyWin) prefix += local.win + u'+';
    return prefix;
}

QString KeyDisplayName(std::uint16_t key, bool /*extended*/, bool localized)
{
    // The table holds the navigation block's names already, so the extended flag that tells
    // them from the pad's keys needs no further lookup here.
    if (isDigitOrLetter(key)) return QString(QChar(key));
    if (isFunctionKey(key)) return u'F' + QString::number(key - 0x70 + 1);
    const KeyEntry* e = findEntry(key);
    if (!e) return {};
    if (localized && e->qtName) {
        const QString local = translated(e->qtName);
        // Untranslated, Qt's shortcut words are shorter than the keyboard's ("PgUp").
        if (local != QLatin1StringView(e->qtName)) return local;
    }
    return QString::fromLatin1(e->usName);
}

QString HotKeyDisplayText(HotKeyValue hotKey, bool localized)
{
    const std::uint16_t key = hotKey & 0xFF;
    const bool extended = (key >= 33 && key <= 40) || key == 45 || key == 46;
    return ModifierPrefix(hotKey, localized) + KeyDisplayName(key, extended, localized);
}

std::uint32_t keysymForVirtualKey(std::uint16_t key)
{
    if (key >= 'A' && key <= 'Z') return key + 0x20; // the keymap lists lower-case letters
    if (key >= '0' && key <= '9') return key;
    if (isFunctionKey(key)) return 0xffbe + (key - 0x70);
    const KeyEntry* e = findEntry(key);
    return e ? e->keysym : 0;
}

namespace {

// XKB's names of the table's keysyms that are no single character.
constexpr std::pair<std::uint32_t, const char*> kKeysymNames[] = {
    {0xff08, "BackSpace"},   {0xff09, "Tab"},         {0xff9d, "KP_Begin"},
    {0xff0d, "Return"},      {0xff13, "Pause"},       {0xff1b, "Escape"},
    {0x0020, "space"},       {0xff55, "Page_Up"},     {0xff56, "Page_Down"},
    {0xff57, "End"},         {0xff50, "Home"},        {0xff51, "Left"},
    {0xff52, "Up"},          {0xff53, "Right"},       {0xff54, "Down"},
    {0xff61, "Print"},       {0xff63, "Insert"},      {0xffff, "Delete"},
    {0xff67, "Menu"},        {0xffaa, "KP_Multiply"}, {0xffab, "KP_Add"},
    {0xffad, "KP_Subtract"}, {0xffae, "KP_Decimal"},  {0xffaf, "KP_Divide"},
    {0xff14, "Scroll_Lock"}, {';', "semicolon"},      {'=', "equal"},
    {',', "comma"},          {'-', "minus"},          {'.', "period"},
    {'/', "slash"},          {'`', "grave"},          {'[', "bracketleft"},
    {'\\', "backslash"},     {']', "bracketright"},   {'\'', "apostrophe"},
};

QString keysymName(std::uint32_t keysym)
{
    if ((keysym >= '0' && keysym <= '9') || (keysym >= 'a' && keysym <= 'z'))
        return QString(QChar(char16_t(keysym)));
    if (keysym >= 0xffbe && keysym <= 0xffbe + 23)
        return u"F"_s + QString::number(keysym - 0xffbe + 1);
    if (keysym >= 0xffb0 && keysym <= 0xffb9) return u"KP_"_s + QString::number(keysym - 0xffb0);
    for (const auto& [sym, name] : kKeysymNames)
        if (sym == keysym) return QString::fromLatin1(name);
    return {}; // Shift, Ctrl, Alt, Windows and the lock keys only modify other keys there
}

constexpr std::pair<std::uint16_t, const char*> kTriggerModifiers[] = {
    {kModCtrl, "CTRL"}, {kModAlt, "ALT"}, {kModShift, "SHIFT"}, {kModWin, "LOGO"}};

} // namespace

QString PortalTrigger(HotKeyValue hotKey)
{
    std::uint16_t modifiers = 0, key = 0;
    SplitHotKey(hotKey, modifiers, key);
    const QString name = keysymName(keysymForVirtualKey(key));
    if (hotKey == 0 || name.isEmpty()) return {};
    QString trigger;
    for (const auto& [flag, word] : kTriggerModifiers)
        if (modifiers & flag) trigger += QLatin1String(word) + u'+';
    return trigger + name;
}

HotKeyValue ParsePortalTrigger(const QString& trigger)
{
    const QStringList parts = trigger.split(u'+');
    std::uint16_t modifiers = 0;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const auto* it = std::find_if(
            std::begin(kTriggerModifiers), std::end(kTriggerModifiers),
            [&](const auto& m) { return equalNoCase(parts[i], QLatin1String(m.second)); });
        if (it == std::end(kTriggerModifiers)) return 0;
        modifiers |= it->first;
    }
    // A capital letter is the shifted keysym of the same key.
    const QString name = parts.last().size() == 1 ? parts.last().toLower() : parts.last();
    for (std::uint16_t key = 8; key <= 0xFF && !name.isEmpty(); ++key)
        if (keysymName(keysymForVirtualKey(key)) == name) return ComposeHotKey(modifiers, key);
    return 0;
}

} // namespace larkspur
