// The ten global hotkeys: registered from the settings at start, switched off and on from
// the tray menu, each running the handler of a menu item or button.

#include "app/TForm1.h"
#include "app/core/PortalHotKeyBackend.h"

#include <QAction>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QMenu>
#include <utility>

namespace larkspur {

void TForm1::RegisterHotKeys()
{
    if (!hotKeySettings.enabled) return;
    // Ids are not kept: a combination another program holds simply never fires.
    for (const std::string& text : hotKeySettings.texts)
        if (const HotKeyValue value = settingHotKey(text)) hkmng->RegisterKey(value);
}

std::unique_ptr<HotKeyBackend> TForm1::defaultHotKeyBackend()
{
    if (isWaylandSession(QGuiApplication::platformName())) {
        PortalHooks hooks;
        hooks.appId = QStringLiteral("io.github.larkspur_player.Larkspur"); // the desktop entry
        hooks.name = [this](HotKeyValue value) -> std::optional<PortalShortcutName> {
            for (std::size_t i = 0; i < kHotKeyBindings.size(); ++i)
                if (settingHotKey(hotKeySettings.texts[i]) == value)
                    return PortalShortcutName{QString::fromLatin1(kHotKeyBindings[i].portalId),
                                              QString::fromLatin1(kHotKeyBindings[i].description)};
            return std::nullopt;
        };
        hooks.report = [this](const std::string& text) {
            showStatus(text, StatusLine::Owner::Program, StatusLine::Level::Warning);
        };
        hooks.activationToken = [this](const QString& token) { m_pressToken = token; };
        if (auto portal = makePortalHotKeyBackend(QDBusConnection::sessionBus(), std::move(hooks)))
            return portal;
    }
    // On Wayland through XWayland this works only while a window of ours has the focus.
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return makeX11HotKeyBackend(x11 ? x11->connection() : nullptr);
}

void TForm1::disableHotkeySwitch()
{
    Globalhotkeys1->setEnabled(false);
    Globalhotkeys1->setToolTip(
        isWaylandSession(QGuiApplication::platformName())
            ? QStringLiteral("This Wayland desktop offers no global shortcuts portal "
                             "(org.freedesktop.portal.GlobalShortcuts).")
            : QStringLiteral("Global hotkeys need an X11 session or a Wayland desktop with the "
                             "global shortcuts portal."));
    pm->setToolTipsVisible(true);
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

void TForm1::hotKeyArrived(quint32 HotKey, quint16 Index)
{
    // A held key or a flood from the portal merges while a wait holds it back.
    GlobalActions::Merge merge = GlobalActions::Merge::Newest;
    for (std::size_t i = 0; i < kHotKeyBindings.size(); ++i) {
        if (settingHotKey(hotKeySettings.texts[i]) != HotKey) continue;
        switch (kHotKeyBindings[i].action) {
        case HotKeyAction::Pause:
        case HotKeyAction::LyricsSearch:
            merge = GlobalActions::Merge::Switch;
            break;
        case HotKeyAction::VolumeDown:
        case HotKeyAction::VolumeUp:
            merge = GlobalActions::Merge::Steps;
            break;
        default:
            break;
        }
    }
    globalActions->post("hotkey " + std::to_string(HotKey), merge,
                        [this, HotKey, Index, token = std::exchange(m_pressToken, {})] {
                            m_runToken = token;
                            hkmngHotKeyPressed(HotKey, Index);
                            m_runToken.clear();
                        });
}

void TForm1::hkmngHotKeyPressed(quint32 HotKey, quint16 /*Index*/)
{
    // Every text naming the pressed combination runs its action, as the table orders them.
    for (std::size_t i = 0; i < kHotKeyBindings.size(); ++i) {
        const HotKeyValue value = settingHotKey(hotKeySettings.texts[i]);
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
            bringToFront(m_runToken);
            break;
        case HotKeyAction::Close:
            close();
            break;
        }
    }
}

} // namespace larkspur
