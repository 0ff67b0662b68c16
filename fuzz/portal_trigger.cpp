// The desktop portal's trigger texts ("CTRL+SHIFT+p"): a text that names a hotkey is written
// back as a trigger naming the same hotkey, and every hotkey (the first two bytes: modifier
// flags and key) with a trigger reads back from it.

#include "app/core/HotKeyText.h"
#include "fuzz/FuzzCheck.h"

#include <QString>

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const HotKeyValue value = ParsePortalTrigger(text)) {
        std::uint16_t modifiers = 0, key = 0;
        SplitHotKey(value, modifiers, key);
        FUZZ_CHECK(key != 0 && key <= 0xFF && modifiers <= 0xF);
        const QString trigger = PortalTrigger(value);
        FUZZ_CHECK(!trigger.isEmpty());
        FUZZ_CHECK(ParsePortalTrigger(trigger) == value);
    }
    if (size >= 2) {
        const HotKeyValue value = ComposeHotKey(data[0] & 0xF, data[1]);
        const QString trigger = PortalTrigger(value);
        if (!trigger.isEmpty()) FUZZ_CHECK(ParsePortalTrigger(trigger) == value);
    }
    return 0;
}
