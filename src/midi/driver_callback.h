// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The function through which the MIDI driver's thread hands input to the
// window, and the control record through which a port configures it. On
// that thread it is the program's only code beside the MIDI services' own
// (the thru route's rule, decideThru, runs there before it).
//
// Threading contract: the platform calls MidiDriverCallback on its driver
// thread while a device is open (and on the main thread for the input
// buffers that midiInReset hands back). The callback reads the control record
// given as its instance value, pushes at most one entry into the port's ring
// buffer and posts one notification: it never allocates, locks, blocks, or
// touches anything else. An input message that a thru route has sent on
// already reaches the window all the same; when the ring buffer is full, only
// the window's copy of it is lost, which is no overflow. PBuffer and hWindow
// are written by the main thread only while the port's device is closed; the
// three flags may be written by the main thread at any time and are read
// anew at every call. The input writes them together with its route's map,
// so that the window and the route drop the same messages.

#include "midi/event_buffer.h"
#include "platform/midi/midi_services.h"
#include "platform/notification_window.h"

#include <atomic>
#include <cstdint>

// The notification posted when an entry was queued (the value of MIM_DATA).
constexpr std::uint32_t NotifyDataQueued = MIM_DATA;
// The notification posted when a message was lost: the ring buffer was full
// and no thru route had sent it, or the route could not send it.
constexpr std::uint32_t NotifyOverflow = WM_USER;
// The notification posted when the driver hands back an output buffer; its
// second parameter is the MIDIHDR.
constexpr std::uint32_t NotifyOutputDone = MOM_DONE;
// The notification posted when the open device's port has gone.
constexpr std::uint32_t NotifyDeviceLost = WM_USER + 1;

// One per port, in a shared block; given to the platform as the callback's instance value.
struct TMidiCtlInfo {
    std::uint32_t hMem = 0;            // handle of the block holding this record
    PCircularBuffer PBuffer = nullptr; // the input port's ring buffer; null for an output port
    HWND hWindow = nullptr;            // the port's notification window
    // A flag is a single value the callback reads without ordering other memory
    // through it, so relaxed ordering is enough: the next call sees the new value.
    std::atomic<bool> SysexOnly{false}; // drop short input messages
    std::atomic<bool> FilterMTC{false}; // drop the timing clock 0xF8 (the design's name; not MIDI Time Code)
    std::atomic<bool> FilterAS{false};  // drop active sensing 0xFE
};
using PMidiCtlInfo = TMidiCtlInfo*;

// Allocates a control record in a shared block, every field zero; null when
// memory runs out.
PMidiCtlInfo AllocCtlInfo();
// Releases a control record; null does nothing.
void FreeCtlInfo(PMidiCtlInfo Info);

// The driver callback of both port directions (see the contract above).
void MidiDriverCallback(std::intptr_t hDevice, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                        DWORD_PTR dwParam2) noexcept;
