// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/driver_callback.h"

#include "midi/shared_block.h"
#include "platform/midi/messages/midi_status.h"

#include <new>

static_assert(std::atomic<bool>::is_always_lock_free, "the driver callback must not take a lock");

namespace {

// Whether a thru route has seen the message through (sent it, or ruled it
// out on purpose): then losing the window's copy loses no MIDI.
bool RoutedAway(ThruOutcome outcome) noexcept
{
    return outcome == ThruSent || outcome == ThruHeld || outcome == ThruDropped;
}

// Queues one entry and tells the port's window. A full buffer keeps what it
// holds; the window learns of the overflow when the message itself is lost,
// not when only its copy for the window is.
void queueInput(const TMidiCtlInfo& info, const TMidiBufferItem& item, ThruOutcome outcome) noexcept
{
    if (PushEvent(info.PBuffer, item))
        PostMessageW(info.hWindow, NotifyDataQueued, 0, 0);
    else if (!RoutedAway(outcome))
        PostMessageW(info.hWindow, NotifyOverflow, 0, 0);
}

} // namespace

PMidiCtlInfo AllocCtlInfo()
{
    std::uint32_t handle = 0;
    void* block = AllocSharedBlock(sizeof(TMidiCtlInfo), handle);
    if (!block)
        return nullptr;
    auto* info = new (block) TMidiCtlInfo;
    info->hMem = handle;
    return info;
}

void FreeCtlInfo(PMidiCtlInfo Info)
{
    if (!Info)
        return;
    const std::uint32_t handle = Info->hMem;
    Info->~TMidiCtlInfo();
    FreeSharedBlock(handle, Info);
}

void MidiDriverCallback(std::intptr_t, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                        DWORD_PTR dwParam2) noexcept
{
    const auto* info = reinterpret_cast<const TMidiCtlInfo*>(dwInstance);
    if (!info)
        return;
    switch (wMsg) {
    case MIM_DATA:
    case MIM_LONGDATA:
    case MIM_LONGERROR: {
        if (wMsg == MIM_DATA) {
            const DWORD message = static_cast<DWORD>(dwParam1) & 0xFFFFFF;
            if (message == midi::TimingClock && info->FilterMTC.load(std::memory_order_relaxed))
                return;
            if (message == midi::ActiveSensing && info->FilterAS.load(std::memory_order_relaxed))
                return;
            if (info->SysexOnly.load(std::memory_order_relaxed))
                return;
        }
        if (!info->PBuffer)
            return;
        TMidiBufferItem item;
        item.timestamp = static_cast<std::uint32_t>(dwParam2);
        ThruOutcome outcome = ThruNone;
        if (wMsg == MIM_DATA) {
            // The route's outcome travels in the top byte, beside the message.
            item.data = static_cast<std::uint32_t>(dwParam1);
            outcome = thruOutcomeOf(dwParam1);
        } else {
            item.sysex = reinterpret_cast<MIDIHDR*>(dwParam1);
            outcome = thruOutcomeOf(*item.sysex);
        }
        queueInput(*info, item, outcome);
        return;
    }
    case MIM_THRULOST:
        PostMessageW(info->hWindow, NotifyOverflow, 0, 0);
        return;
    case MIM_DEVICELOST:
    case MOM_DEVICELOST:
        PostMessageW(info->hWindow, NotifyDeviceLost, 0, 0);
        return;
    case MOM_DONE:
        PostMessageW(info->hWindow, NotifyOutputDone, 0, dwParam1);
        return;
    default:
        return;
    }
}
