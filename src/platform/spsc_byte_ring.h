// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Room for byte strings that one thread writes and another releases later,
// in the order they were written: a ring of fixed size handing out
// contiguous spans. A span that would run past the end starts at the
// beginning instead, and the unused tail counts as part of it. The same
// hand-over rules as SpscQueue apply. Nothing allocates after construction,
// locks or blocks.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class SpscByteRing {
public:
    explicit SpscByteRing(std::size_t capacity)
        : bytes_(std::make_unique<std::uint8_t[]>(capacity)), capacity_(capacity)
    {
    }

    // A contiguous span of `size` bytes, or null when there is no room; the
    // ring bytes it takes (`taken`) go back with release(). Producer only.
    std::uint8_t* reserve(std::size_t size, std::size_t& taken) noexcept
    {
        const std::size_t written = written_.load(std::memory_order_relaxed);
        const std::size_t free = capacity_ - (written - released_.load(std::memory_order_acquire));
        const std::size_t offset = written % capacity_;
        const std::size_t skipped = offset + size > capacity_ ? capacity_ - offset : 0;
        if (size == 0 || size > capacity_ || skipped + size > free)
            return nullptr;
        taken = skipped + size;
        written_.store(written + taken, std::memory_order_release);
        return bytes_.get() + (skipped ? 0 : offset);
    }

    // Gives back the oldest span still taken. Consumer only.
    void release(std::size_t taken) noexcept
    {
        released_.store(released_.load(std::memory_order_relaxed) + taken, std::memory_order_release);
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t capacity_;
    alignas(64) std::atomic<std::size_t> written_{0};
    alignas(64) std::atomic<std::size_t> released_{0};
};
