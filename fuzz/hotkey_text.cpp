// Hotkey texts from the settings file: a text that names a valid hotkey is shown as a text
// that reads back as the same hotkey, in US English names and in localized ones.

#include "app/core/HotKeyText.h"
#include "fuzz/FuzzCheck.h"

#include <QString>

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const bool localized : {false, true}) {
        const HotKeyValue value = ParseHotKey(text, localized);
        if (value == 0) continue;
        std::uint16_t modifiers = 0, key = 0;
        SplitHotKey(value, modifiers, key);
        FUZZ_CHECK(key != 0 && key <= 0xFF);
        FUZZ_CHECK(ComposeHotKey(modifiers, key) == value);
        const QString shown = HotKeyDisplayText(value, localized);
        FUZZ_CHECK(!shown.isEmpty());
        // A modifier's own key is read only when spelled in another case ("Ctrl+shift"),
        // so its shown name does not read back; every other key does.
        if (key < 0x10 || key > 0x12) FUZZ_CHECK(ParseHotKey(shown, localized) == value);
    }
    return 0;
}
