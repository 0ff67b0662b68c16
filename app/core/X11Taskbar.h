#pragma once
// Keeps a top-level X11 window out of the task bar and the pager (EWMH skip states), for a
// program whose tray icon is its place. Set it whenever the window is shown: the window
// manager drops the states when the window is withdrawn.
//
//   if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
//       skipTaskbar(x11->connection(), window.winId());

#include <cstdint>

struct xcb_connection_t;

namespace larkspur {

// An unmapped window gets the states in its _NET_WM_STATE property (kept with the states
// already there, which the toolkit merges with its own when it maps the window); a managed
// window is changed through a request to the window manager. Returns false if the X server
// did not answer.
bool skipTaskbar(xcb_connection_t* connection, std::uint32_t window);

} // namespace larkspur
