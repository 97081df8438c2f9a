// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A private X server (Xvfb) for tests that drive the real program as a
// person would: find its windows by their captions as the X server holds
// them, look at what they show, click and type through the XTEST extension.
// Each test's server is its own (a free display chosen by Xvfb), stopped by
// its process id.

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class PrivateXServer {
public:
    // Starts Xvfb on a free display; throws std::runtime_error when it cannot.
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":N", for DISPLAY.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A top-level window as the X server knows it.
struct XWindow {
    xcb_window_t id = XCB_WINDOW_NONE;
    std::string title;    // _NET_WM_NAME, else WM_NAME
    int x = 0, y = 0;     // position on the screen
    int width = 0, height = 0;
    bool popup = false;   // override-redirect: a menu, a tooltip; never a dialog
};

class XSession {
public:
    // Connects to `display`; throws std::runtime_error when it cannot.
    explicit XSession(const std::string& display);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // The mapped top-level windows, bottom to top, the toolkit's hidden helpers left out.
    std::vector<XWindow> windows();

    // Waits until a mapped top-level window exists that is not one of
    // `known` and whose title is `title` (a dialog or a main window), or
    // any window at all (a menu too) when `title` is empty.
    std::optional<XWindow> waitForNewWindow(const std::vector<XWindow>& known, const std::string& title,
                                            std::chrono::milliseconds limit);

    // What the window shows now, as raw pixels.
    std::vector<std::uint8_t> pixels(const XWindow& window);

    // Waits until the window shows something other than `before`; false after the limit.
    bool waitForChange(const XWindow& window, const std::vector<std::uint8_t>& before,
                       std::chrono::milliseconds limit);

    // Waits until the window's pixels stay the same over a few looks in a row
    // (the program has drawn what it had to); false after the limit.
    bool waitUntilSettled(const XWindow& window, std::chrono::milliseconds limit);

    // A click of the left button at a point of the screen.
    void click(int x, int y);
    // A drag with the left button: pressed at a point, moved, released where the pointer is.
    void press(int x, int y);
    void moveTo(int x, int y);
    void release();
    // A press and release of the key that types `keysym` (X11 keysym values, e.g. 0xff54 for Down).
    void key(std::uint32_t keysym);

private:
    std::string title(xcb_window_t window);
    xcb_keycode_t keycode(std::uint32_t keysym);
    void sync();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
};
