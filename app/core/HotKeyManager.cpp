#include "app/core/HotKeyManager.h"
#include "app/core/PostError.h"

#include <algorithm>

namespace larkspur {

THotKeyManager::THotKeyManager(std::unique_ptr<HotKeyBackend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend))
{
    if (m_backend)
        m_backend->pressed = [this](std::uint16_t modifiers, std::uint16_t key) {
            HandleHotKeyMessage(modifiers, key);
        };
}

THotKeyManager::~THotKeyManager()
{
    ReleaseAllKeys();
}

std::uint16_t THotKeyManager::RegisterKey(HotKeyValue hotKey)
{
    if (!m_backend || hotKey == 0) return 0;
    std::uint16_t modifiers = 0, key = 0;
    SplitHotKey(hotKey, modifiers, key);
    if (!m_backend->grab(modifiers, key)) return 0;
    // Ids only need to be unique among this manager's records; 0 stays "refused".
    do
        ++m_lastId;
    while (m_lastId == 0 || std::any_of(m_keys.begin(), m_keys.end(),
                                        [&](const THotKeyRecord& r) { return r.id == m_lastId; }));
    m_keys.push_back({hotKey, m_lastId});
    return m_lastId;
}

bool THotKeyManager::ReleaseKey(const THotKeyRecord& record)
{
    if (!m_backend) return false;
    std::uint16_t modifiers = 0, key = 0;
    SplitHotKey(record.hotKey, modifiers, key);
    const bool released = m_backend->ungrab(modifiers, key);
    std::erase_if(m_keys, [&](const THotKeyRecord& r) { return r.id == record.id; });
    return released;
}

void THotKeyManager::ReleaseAllKeys()
{
    while (!m_keys.empty())
        ReleaseKey(THotKeyRecord(m_keys.back()));
}

bool THotKeyManager::IsRegisteredKey(HotKeyValue hotKey) const
{
    return std::any_of(m_keys.begin(), m_keys.end(),
                       [&](const THotKeyRecord& r) { return r.hotKey == hotKey; });
}

void THotKeyManager::HandleHotKeyMessage(std::uint16_t modifiers, std::uint16_t key)
{
    HotKeyValue value = key;
    if (modifiers & kModShift) value |= kHotKeyShift;
    if (modifiers & kModCtrl) value |= kHotKeyCtrl;
    if (modifiers & kModAlt) value |= kHotKeyAlt;
    if (modifiers & kModWin) value |= kHotKeyWin;
    const auto it = std::find_if(m_keys.begin(), m_keys.end(),
                                 [&](const THotKeyRecord& r) { return r.hotKey == value; });
    if (it == m_keys.end()) return;
    // Called from the window system's event filter, which nothing may unwind through.
    try {
        emit OnHotKeyPressed(value, it->id);
    } catch (...) {
        postError(std::current_exception());
    }
}

} // namespace larkspur
