// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The common base of the input and output ports: the hidden notification
// window through which the driver callback reaches the port, the events both
// raise, and the small helpers both use for the platform's records and texts.
// Main thread only.

#include "platform/midi/midi_services.h"
#include "platform/notification_window.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMidiIO;

// A notification event: called with the sending port; empty means no call.
using TNotifyEvent = std::function<void(TMidiIO* Sender)>;

class TMidiIO {
public:
    // Creates the port's notification window.
    TMidiIO();
    // A window still attached is destroyed with the port.
    virtual ~TMidiIO();
    TMidiIO(const TMidiIO&) = delete;
    TMidiIO& operator=(const TMidiIO&) = delete;

    // Number of devices of the port's direction, counted afresh.
    virtual std::uint32_t DeviceCount() = 0;
    // The port's notification window.
    HWND Handle() const { return FWindow.get(); }

    // Raised when another device has been selected.
    TNotifyEvent OnDeviceChanged;
    // Raised when the open device's port has gone (the port stays open).
    TNotifyEvent OnDeviceLost;

protected:
    // What the window receives, while the port lives.
    virtual void WindowMessage(TMessage& AMessage) = 0;
    // The first step of a destructor: the window calls into the port no more.
    void DetachWindow() noexcept;
    // For a device that refused to close, whose callback may still post to
    // the window: the window is left allocated rather than freed under it.
    void KeepWindowForLiveDevice() noexcept;

    // The product name in a capabilities record, up to its terminating zero.
    template <class TCaps>
    static std::string CapsName(const TCaps& caps)
    {
        return std::string(caps.szPname, ::strnlen(caps.szPname, sizeof caps.szPname));
    }
    // The names of the devices whose capabilities can be read, counted afresh.
    template <class TCaps>
    static std::vector<std::string> ReadableDeviceNames(UINT (*count)(), MMRESULT (*getCaps)(UINT, TCaps*, UINT))
    {
        std::vector<std::string> names;
        const UINT devices = count();
        for (UINT device = 0; device < devices; ++device) {
            TCaps caps;
            if (getCaps(device, &caps, sizeof caps) == MMSYSERR_NOERROR)
                names.push_back(CapsName(caps));
        }
        return names;
    }
    // The platform's text for a result code, or "Specified error number is
    // out of range" when it has none.
    static std::string PlatformErrorText(MMRESULT Code, MMRESULT (*getText)(MMRESULT, char*, UINT));

private:
    // Cleared when the port goes, so that a window left alive for a device
    // that could not be closed never calls into a destroyed port.
    std::shared_ptr<TMidiIO*> FSelf;
    std::unique_ptr<NotificationWindow> FWindow;
};
