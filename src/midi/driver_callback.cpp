#include "midi/driver_callback.h"

#include "midi/shared_block.h"

#include <new>

static_assert(std::atomic<bool>::is_always_lock_free, "the driver callback must not take a lock");

namespace {

// Queues one entry and tells the port's window; a full buffer keeps what it
// holds and the message is lost, which the window learns as an overflow.
void queueInput(const TMidiCtlInfo& info, const TMidiBufferItem& item) noexcept
{
    const bool queued = PushEvent(info.PBuffer, item);
    PostMessageW(info.hWindow, queued ? NotifyDataQueued : NotifyOverflow, 0, 0);
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
        // The whole parameter is compared: a header address never equals a
        // single-byte message.
        if (dwParam1 == 0xF8 && info->FilterMTC.load(std::memory_order_relaxed))
            return;
        if (dwParam1 == 0xFE && info->FilterAS.load(std::memory_order_relaxed))
            return;
        if (wMsg == MIM_DATA && info->SysexOnly.load(std::memory_order_relaxed))
            return;
        if (!info->PBuffer)
            return;
        TMidiBufferItem item;
        item.timestamp = static_cast<std::uint32_t>(dwParam2);
        if (wMsg == MIM_DATA)
            item.data = static_cast<std::uint32_t>(dwParam1);
        else
            item.sysex = reinterpret_cast<MIDIHDR*>(dwParam1);
        queueInput(*info, item);
        return;
    }
    case MOM_DONE:
        PostMessageW(info->hWindow, NotifyOutputDone, 0, dwParam1);
        return;
    default:
        return;
    }
}
