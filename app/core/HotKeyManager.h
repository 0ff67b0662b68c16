#pragma once
// THotKeyManager: system-wide hotkeys. Registers hotkey values (see HotKeyText.h) with the
// window system through a platform backend and reports presses of registered ones through
// the signal OnHotKeyPressed, on the interface thread. Without a backend (a session with no
// X11, such as offscreen or Wayland) every registration is refused and nothing else happens.
//
//   THotKeyManager hkmng(makeX11HotKeyBackend(connection));
//   QObject::connect(&hkmng, &THotKeyManager::OnHotKeyPressed, ...);
//   hkmng.RegisterKey(ParseHotKey(u"Ctrl+Shift+P"_s, false)); // 0: another program has it

#include "app/core/HotKeyText.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace larkspur {

// What a window system offers: take or give back one combination for this program. A
// Windows backend (RegisterHotKey on a message window) would be a second implementation
// chosen at build time.
class HotKeyBackend
{
  public:
    virtual ~HotKeyBackend() = default;
    // False when the system refused, e.g. because another program holds the combination.
    virtual bool grab(std::uint16_t modifiers, std::uint16_t key) = 0;
    virtual bool ungrab(std::uint16_t modifiers, std::uint16_t key) = 0;
    // Set by the manager; the backend calls it on the interface thread for each press.
    std::function<void(std::uint16_t modifiers, std::uint16_t key)> pressed;
};

// Grabs on the first screen's root window of an X connection the Qt application reads
// (presses arrive through a native event filter). Null connection: null backend.
std::unique_ptr<HotKeyBackend> makeX11HotKeyBackend(xcb_connection_t* connection);

struct THotKeyRecord
{
    HotKeyValue hotKey = 0;
    std::uint16_t id = 0;
};

class THotKeyManager : public QObject
{
    Q_OBJECT

  public:
    explicit THotKeyManager(std::unique_ptr<HotKeyBackend> backend = nullptr,
                            QObject* parent = nullptr);
    ~THotKeyManager() override;

    // The registration id, 0 when the combination was refused or the value is 0.
    std::uint16_t RegisterKey(HotKeyValue hotKey);
    bool ReleaseKey(const THotKeyRecord& record);
    void ReleaseAllKeys();
    bool IsRegisteredKey(HotKeyValue hotKey) const;
    const std::vector<THotKeyRecord>& keys() const { return m_keys; }
    bool available() const { return m_backend != nullptr; }

    // A press the backend saw: reported when its value is registered.
    void HandleHotKeyMessage(std::uint16_t modifiers, std::uint16_t key);

  signals:
    void OnHotKeyPressed(quint32 HotKey, quint16 Index);

  private:
    std::unique_ptr<HotKeyBackend> m_backend;
    std::vector<THotKeyRecord> m_keys;
    std::uint16_t m_lastId = 0;
};

} // namespace larkspur
