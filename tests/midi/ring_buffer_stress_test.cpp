// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/event_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <thread>

// One thread pushes a numbered sequence while another takes it: every entry
// arrives once, in order, and whole (its fields written together).
TEST(RingBufferStress, NoEntryLostDuplicatedReorderedOrTorn)
{
    constexpr std::uint32_t total = 4'000'000;
    std::unique_ptr<TCircularBuffer, void (*)(PCircularBuffer)> buffer(CreateEventBuffer(64), FreeEventBuffer);
    ASSERT_NE(buffer, nullptr);
    PCircularBuffer b = buffer.get();

    std::thread producer([b] {
        for (std::uint32_t n = 0; n < total;) {
            const TMidiBufferItem item{n, ~n, reinterpret_cast<MIDIHDR*>(std::uintptr_t(n) * 2)};
            if (PushEvent(b, item))
                ++n;
            else
                std::this_thread::yield();
        }
    });

    std::uint32_t expected = 0;
    std::uint32_t faults = 0;
    while (expected < total) {
        TMidiBufferItem item;
        if (!PeekEvent(b, item)) {
            std::this_thread::yield();
            continue;
        }
        if (item.timestamp != expected || item.data != ~expected ||
            item.sysex != reinterpret_cast<MIDIHDR*>(std::uintptr_t(expected) * 2))
            ++faults;
        if (!DropEvent(b))
            ++faults;
        ++expected;
    }
    producer.join();
    EXPECT_EQ(faults, 0u);
    EXPECT_EQ(b->EventCount.load(), 0);
}
