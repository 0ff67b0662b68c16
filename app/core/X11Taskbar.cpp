#include "app/core/X11Taskbar.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <xcb/xcb.h>

namespace larkspur {

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

} // namespace

bool skipTaskbar(xcb_connection_t* c, std::uint32_t window)
{
    if (!c || !window) return false;
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const xcb_atom_t skips[] = {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                                atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (state == XCB_ATOM_NONE || !geometry) {
        std::free(geometry);
        return false;
    }
    const xcb_window_t root = geometry->root;
    std::free(geometry);

    // The property, for the window manager to read when the window is mapped.
    std::vector<xcb_atom_t> states;
    auto* current = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (current && current->format == 32 && current->type == XCB_ATOM_ATOM) {
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(current));
        states.assign(values, values + xcb_get_property_value_length(current) / 4);
    }
    std::free(current);
    for (xcb_atom_t s : skips)
        if (std::find(states.begin(), states.end(), s) == states.end()) states.push_back(s);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(states.size()), states.data());

    // The request, for a window the window manager already manages (it ignores it otherwise).
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = state;
    message.data.data32[0] = 1; // add
    message.data.data32[1] = skips[0];
    message.data.data32[2] = skips[1];
    message.data.data32[3] = 1; // from an application
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    return true;
}

} // namespace larkspur
