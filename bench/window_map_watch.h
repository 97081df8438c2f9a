// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Watches the X server named by DISPLAY for a top-level window being mapped,
// which is when a program's window is shown.

#include <xcb/xcb.h>

#include <chrono>
#include <string>

class WindowMapWatch {
public:
    // Connects and starts listening; throws std::runtime_error without an X server.
    WindowMapWatch();
    ~WindowMapWatch();
    WindowMapWatch(const WindowMapWatch&) = delete;
    WindowMapWatch& operator=(const WindowMapWatch&) = delete;

    // Waits until a window whose title contains `title` is mapped; false
    // when the limit passes first.
    bool WaitForMapped(const std::string& title, std::chrono::milliseconds limit);

private:
    std::string Title(xcb_window_t window);

    xcb_connection_t* connection_ = nullptr;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
};
