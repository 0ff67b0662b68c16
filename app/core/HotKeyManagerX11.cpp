// The X11 backend: passive key grabs on the root window, read back from the Qt
// application's own connection through a native event filter.

#include "app/core/HotKeyManager.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <vector>
#include <xcb/xcb.h>

namespace larkspur {

namespace {

constexpr std::uint32_t kNumLockKeysym = 0xff7f;

class X11HotKeyBackend final : public HotKeyBackend, public QAbstractNativeEventFilter
{
  public:
    X11HotKeyBackend(xcb_connection_t* c, xcb_window_t root) : m_c(c), m_root(root)
    {
        readKeymap();
        if (QCoreApplication::instance())
            QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~X11HotKeyBackend() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool grab(std::uint16_t modifiers, std::uint16_t key) override
    {
        const std::vector<xcb_keycode_t> codes = keycodes(key);
        if (codes.empty()) return false;
        const std::uint16_t mask = xmask(modifiers);
        // Every grab is checked: the server answers BadAccess when another client has one.
        std::vector<xcb_void_cookie_t> cookies;
        for (xcb_keycode_t code : codes)
            for (std::uint16_t extra : lockVariants())
                cookies.push_back(xcb_grab_key_checked(m_c, 1, m_root, mask | extra, code,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        bool ok = true;
        for (xcb_void_cookie_t cookie : cookies)
            if (xcb_generic_error_t* error = xcb_request_check(m_c, cookie)) {
                ok = false;
                std::free(error);
            }
        if (!ok) {
            ungrabCodes(codes, mask); // only our own grabs go; the other client keeps its
            return false;
        }
        m_grabs.push_back({modifiers, key, mask, codes});
        return true;
    }

    bool ungrab(std::uint16_t modifiers, std::uint16_t key) override
    {
        for (auto it = m_grabs.begin(); it != m_grabs.end(); ++it)
            if (it->modifiers == modifiers && it->key == key) {
                const bool ok = ungrabCodes(it->codes, it->mask);
                m_grabs.erase(it);
                return ok;
            }
        return false;
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS) return false;
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (press->event != m_root) return false;
        const std::uint16_t mask = press->state & kModifierMasks;
        for (const Grab& g : m_grabs)
            if (g.mask == mask &&
                std::find(g.codes.begin(), g.codes.end(), press->detail) != g.codes.end()) {
                if (pressed) pressed(g.modifiers, g.key);
                break;
            }
        return false; // the toolkit may see it too; it belongs to no window of ours
    }

  private:
    static constexpr std::uint16_t kModifierMasks =
        XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

    struct Grab
    {
        std::uint16_t modifiers, key, mask;
        std::vector<xcb_keycode_t> codes;
    };

    static std::uint16_t xmask(std::uint16_t modifiers)
    {
        std::uint16_t mask = 0;
        if (modifiers & kModShift) mask |= XCB_MOD_MASK_SHIFT;
        if (modifiers & kModCtrl) mask |= XCB_MOD_MASK_CONTROL;
        if (modifiers & kModAlt) mask |= XCB_MOD_MASK_1;
        if (modifiers & kModWin) mask |= XCB_MOD_MASK_4;
        return mask;
    }

    // With Caps Lock or Num Lock on the state carries their bits; grab those states too.
    std::vector<std::uint16_t> lockVariants() const
    {
        return {0, XCB_MOD_MASK_LOCK, m_numLockMask,
                static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | m_numLockMask)};
    }

    bool ungrabCodes(const std::vector<xcb_keycode_t>& codes, std::uint16_t mask)
    {
        std::vector<xcb_void_cookie_t> cookies;
        for (xcb_keycode_t code : codes)
            for (std::uint16_t extra : lockVariants())
                cookies.push_back(xcb_ungrab_key_checked(m_c, code, m_root, mask | extra));
        bool ok = true;
        for (xcb_void_cookie_t cookie : cookies)
            if (xcb_generic_error_t* error = xcb_request_check(m_c, cookie)) {
                ok = false;
                std::free(error);
            }
        return ok;
    }

    std::vector<xcb_keycode_t> keycodes(std::uint16_t key) const
    {
        return keycodesOf(keysymForVirtualKey(key));
    }

    std::vector<xcb_keycode_t> keycodesOf(std::uint32_t keysym) const
    {
        std::vector<xcb_keycode_t> codes;
        if (keysym == 0 || m_perCode == 0) return codes;
        for (std::size_t i = 0; i < m_keysyms.size(); ++i)
            if (m_keysyms[i] == keysym) {
                const auto code = static_cast<xcb_keycode_t>(m_minCode + i / m_perCode);
                if (codes.empty() || codes.back() != code) codes.push_back(code);
            }
        return codes;
    }

    void readKeymap()
    {
        const xcb_setup_t* setup = xcb_get_setup(m_c);
        m_minCode = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        if (auto* map = xcb_get_keyboard_mapping_reply(
                m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, count), nullptr)) {
            m_perCode = map->keysyms_per_keycode;
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
            m_keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map));
            std::free(map);
        }
        // Num Lock is whichever modifier its key is mapped to (mostly Mod2).
        m_numLockMask = XCB_MOD_MASK_2;
        const std::vector<xcb_keycode_t> numLock = keycodesOf(kNumLockKeysym);
        if (auto* mods =
                xcb_get_modifier_mapping_reply(m_c, xcb_get_modifier_mapping(m_c), nullptr)) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods);
            for (int m = 0; m < 8; ++m)
                for (int k = 0; k < mods->keycodes_per_modifier; ++k)
                    if (std::find(numLock.begin(), numLock.end(),
                                  codes[m * mods->keycodes_per_modifier + k]) != numLock.end())
                        m_numLockMask = static_cast<std::uint16_t>(1u << m);
            std::free(mods);
        }
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root;
    xcb_keycode_t m_minCode = 0;
    std::size_t m_perCode = 0;
    std::vector<xcb_keysym_t> m_keysyms;
    std::uint16_t m_numLockMask = XCB_MOD_MASK_2;
    std::vector<Grab> m_grabs;
};

} // namespace

std::unique_ptr<HotKeyBackend> makeX11HotKeyBackend(xcb_connection_t* connection)
{
    if (!connection || xcb_connection_has_error(connection)) return nullptr;
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    if (!screens.rem) return nullptr;
    return std::make_unique<X11HotKeyBackend>(connection, screens.data->root);
}

} // namespace larkspur
