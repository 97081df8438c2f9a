// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The ring buffer through which the driver callback hands incoming messages
// to the main thread.
//
// Threading contract: one producer (the driver callback, PushEvent) and one
// consumer (the main thread, PeekEvent and DropEvent), no lock. pNextPut is
// touched by the producer only, pNextGet by the consumer only. The producer
// writes an entry and then raises EventCount with release ordering; the
// consumer reads EventCount with acquire ordering before it reads an entry,
// and lowers it with release ordering once it is done with the entry, which
// the producer's acquire read of the count sees before it reuses the slot.

#include "platform/midi/midi_services.h"

#include <atomic>
#include <cstdint>

// One queued input message.
struct TMidiBufferItem {
    std::uint32_t timestamp = 0; // the driver's time stamp
    std::uint32_t data = 0;      // packed short message (status in bits 0-7); 0 for a long one
    MIDIHDR* sysex = nullptr;    // header of the filled system-exclusive buffer; null for a short one
};
using PMidiBufferItem = TMidiBufferItem*;

// The ring buffer record; it and its entry area live in shared blocks.
struct TCircularBuffer {
    std::uint32_t RecordHandle = 0;        // handle of the block holding this record
    std::uint32_t BufferHandle = 0;        // handle of the block holding the entries
    PMidiBufferItem pStart = nullptr;      // first entry
    PMidiBufferItem pEnd = nullptr;        // one past the last entry
    PMidiBufferItem pNextPut = nullptr;    // slot of the next appended entry (producer only)
    PMidiBufferItem pNextGet = nullptr;    // oldest queued entry (consumer only)
    std::uint16_t Error = 0;               // 0 from creation on; nothing else uses it
    std::uint16_t Capacity = 0;            // number of entries
    std::atomic<std::uint16_t> EventCount; // queued entries, 0 to Capacity
};
using PCircularBuffer = TCircularBuffer*;

// Largest capacity whose entry area fits the 16-bit block size the buffer was
// designed around (5461 entries of 12 bytes with 32-bit pointers).
constexpr std::uint16_t MaxEventBufferCapacity = 5461;

// Creates an empty buffer of Capacity entries; null when Capacity is 0 or
// above MaxEventBufferCapacity, or when memory runs out.
PCircularBuffer CreateEventBuffer(std::uint16_t Capacity);
// Releases the buffer and whatever it still holds; null does nothing.
void FreeEventBuffer(PCircularBuffer PBuffer);
// Copies the oldest entry into Item and keeps it queued; false (Item
// untouched) when empty. Consumer only.
bool PeekEvent(PCircularBuffer PBuffer, TMidiBufferItem& Item);
// Removes the oldest entry; false when empty. Consumer only.
bool DropEvent(PCircularBuffer PBuffer);
// Appends Item; false, changing nothing, when full. Producer only: never
// allocates, locks or blocks.
bool PushEvent(PCircularBuffer PBuffer, const TMidiBufferItem& Item) noexcept;
