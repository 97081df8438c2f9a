// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Threading contract
// ------------------
// A NotificationWindow stands in for a hidden window that receives posted
// messages. post() may be called from any thread, the MIDI driver's thread
// included: it neither allocates, locks nor blocks, and it fails (returns
// false) only when the fixed-capacity queue is full. Messages are delivered
// on the thread that created the window (the main thread), through the Qt
// event loop, one by one in posting order, to the handler given at
// construction. The handler may run the event loop again (processEvents);
// delivery then continues nested, still in posting order. Destroying the
// window drops whatever is still queued; no post may race with destruction.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// One posted message: its number, two parameters and the handler's answer.
struct TMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::uintptr_t LParam = 0;
    std::intptr_t Result = 0;
};

class NotificationWindow {
public:
    using Handler = std::function<void(TMessage&)>;

    // Larger than any input ring buffer (at most 5461 entries), so a
    // notification is never lost before the ring buffer itself overflows.
    static constexpr std::size_t DefaultCapacity = 8192;

    explicit NotificationWindow(Handler handler, std::size_t capacity = DefaultCapacity);
    ~NotificationWindow();
    NotificationWindow(const NotificationWindow&) = delete;
    NotificationWindow& operator=(const NotificationWindow&) = delete;

    // Queues a message for the owning thread; any thread, lock-free, never blocks.
    bool post(std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam) noexcept;

    // Delivers every message queued so far; used by the event-loop wake-up.
    void dispatchPending();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

using HWND = NotificationWindow*;

// Posts to a notification window; false when hWnd is null or its queue is full.
bool PostMessageW(HWND hWnd, std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam) noexcept;

constexpr std::uint32_t WM_QUERYENDSESSION = 17;
constexpr std::uint32_t WM_USER = 1024;
