// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/event_buffer.h"

#include "midi/shared_block.h"

#include <memory>

static_assert(sizeof(void*) != 8 || sizeof(TMidiBufferItem) == 16, "an entry is 16 bytes on 64-bit targets");
static_assert(std::atomic<std::uint16_t>::is_always_lock_free, "the driver callback must not take a lock");

PCircularBuffer CreateEventBuffer(std::uint16_t Capacity)
{
    if (Capacity == 0 || Capacity > MaxEventBufferCapacity)
        return nullptr;
    std::uint32_t recordHandle = 0;
    void* record = AllocSharedBlock(sizeof(TCircularBuffer), recordHandle);
    if (!record)
        return nullptr;
    std::uint32_t bufferHandle = 0;
    void* entries = AllocSharedBlock(std::uint32_t(Capacity) * sizeof(TMidiBufferItem), bufferHandle);
    if (!entries) {
        FreeSharedBlock(recordHandle, record);
        return nullptr;
    }
    auto* start = static_cast<PMidiBufferItem>(entries);
    std::uninitialized_value_construct_n(start, Capacity);
    auto* buffer = new (record) TCircularBuffer;
    buffer->RecordHandle = recordHandle;
    buffer->BufferHandle = bufferHandle;
    buffer->pStart = start;
    buffer->pEnd = start + Capacity;
    buffer->pNextPut = start;
    buffer->pNextGet = start;
    buffer->Error = 0;
    buffer->Capacity = Capacity;
    buffer->EventCount.store(0, std::memory_order_relaxed);
    return buffer;
}

void FreeEventBuffer(PCircularBuffer PBuffer)
{
    if (!PBuffer)
        return;
    const std::uint32_t recordHandle = PBuffer->RecordHandle;
    FreeSharedBlock(PBuffer->BufferHandle, PBuffer->pStart);
    PBuffer->~TCircularBuffer();
    FreeSharedBlock(recordHandle, PBuffer);
}

bool PeekEvent(PCircularBuffer PBuffer, TMidiBufferItem& Item)
{
    if (PBuffer->EventCount.load(std::memory_order_acquire) == 0)
        return false;
    Item = *PBuffer->pNextGet;
    return true;
}

bool DropEvent(PCircularBuffer PBuffer)
{
    if (PBuffer->EventCount.load(std::memory_order_acquire) == 0)
        return false;
    if (++PBuffer->pNextGet == PBuffer->pEnd)
        PBuffer->pNextGet = PBuffer->pStart;
    PBuffer->EventCount.fetch_sub(1, std::memory_order_release);
    return true;
}

bool PushEvent(PCircularBuffer PBuffer, const TMidiBufferItem& Item) noexcept
{
    if (PBuffer->EventCount.load(std::memory_order_acquire) >= PBuffer->Capacity)
        return false;
    *PBuffer->pNextPut = Item;
    if (++PBuffer->pNextPut == PBuffer->pEnd)
        PBuffer->pNextPut = PBuffer->pStart;
    PBuffer->EventCount.fetch_add(1, std::memory_order_release);
    return true;
}
