// The ten global hotkeys: registered from the settings at start, switched off and on from
// the tray menu, each running the handler of a menu item or button.

#include "app/TForm1.h"

#include <QAction>

namespace larkspur {

void TForm1::RegisterHotKeys()
{
    if (!hotKeySettings.enabled) return;
    // Ids are not kept: a combination another program holds simply never fires.
    for (const std::string& text : hotKeySettings.texts)
        if (const HotKeyValue value = ParseHotKey(QString::fromLocal8Bit(text), false))
            hkmng->RegisterKey(value);
}

void TForm1::Globalhotkeys1Click()
{
    hotKeySettings.enabled = Globalhotkeys1->isChecked();
    if (hotKeySettings.enabled)
        RegisterHotKeys();
    else
        hkmng->ReleaseAllKeys();
    // Kept at once: a switched-off hotkey must stay off even if the program ends abruptly.
    if (!saveHotKeySwitch(*m_services.settings, hotKeySettings.enabled))
        reportFailure(Failure::Settings, "The hotkey switch could not be saved.");
}

void TForm1::hkmngHotKeyPressed(quint32 HotKey, quint16 /*Index*/)
{
    // Every text naming the pressed combination runs its action, as the table orders them.
    for (std::size_t i = 0; i < kHotKeyBindings.size(); ++i) {
        const auto value = ParseHotKey(QString::fromLocal8Bit(hotKeySettings.texts[i]), false);
        if (value == 0 || value != HotKey) continue;
        switch (kHotKeyBindings[i].action) {
        case HotKeyAction::Pause:
            Pause1Click();
            break;
        case HotKeyAction::Next:
            Next1Click();
            break;
        case HotKeyAction::FindSong:
            Findsong1Click();
            break;
        case HotKeyAction::Translate:
            Translate1Click();
            break;
        case HotKeyAction::Catalogue:
            Versebank1Click();
            break;
        case HotKeyAction::VolumeDown:
            Vol2Click();
            break;
        case HotKeyAction::VolumeUp:
            Vol1Click();
            break;
        case HotKeyAction::LyricsSearch:
            srchen->setChecked(!srchen->isChecked());
            srchenClick();
            break;
        case HotKeyAction::Show:
            bringToFront();
            break;
        case HotKeyAction::Close:
            close();
            break;
        }
    }
}

} // namespace larkspur
