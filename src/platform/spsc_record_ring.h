// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A ring of byte strings of any length up to its size, oldest first: one
// thread at a time appends, one thread at a time reads and removes, with
// the hand-over rules of SpscQueue. A record is stored whole and
// contiguous; one that would run past the end starts at the beginning
// instead. Neither side allocates after construction, locks nor blocks.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

class SpscRecordRing {
public:
    // capacity: bytes, rounded up to a multiple of 4.
    explicit SpscRecordRing(std::size_t capacity)
        : capacity_((capacity + 3) / 4 * 4), bytes_(std::make_unique<std::uint8_t[]>(capacity_))
    {
    }

    // Appends a copy of the bytes; false, changing nothing, when there is no
    // room (or size is 0). Producer only.
    bool push(const std::uint8_t* data, std::size_t size) noexcept
    {
        if (size == 0)
            return false;
        const std::size_t needed = HeaderBytes + padded(size);
        const std::size_t written = written_.load(std::memory_order_relaxed);
        const std::size_t offset = written % capacity_;
        const std::size_t skipped = capacity_ - offset < needed ? capacity_ - offset : 0;
        if (skipped + needed > capacity_ - (written - read_.load(std::memory_order_acquire)))
            return false;
        if (skipped)
            writeHeader(offset, WrapMark);
        const std::size_t start = skipped ? 0 : offset;
        writeHeader(start, static_cast<std::uint32_t>(size));
        std::memcpy(bytes_.get() + start + HeaderBytes, data, size);
        // Sequentially consistent, like SpscQueue's: see its header.
        written_.store(written + skipped + needed, std::memory_order_seq_cst);
        return true;
    }

    // The oldest record; false when the ring is empty. Consumer only.
    bool front(const std::uint8_t*& data, std::size_t& size) const noexcept
    {
        std::size_t start = 0;
        if (!locate(start, size))
            return false;
        data = bytes_.get() + start + HeaderBytes;
        return true;
    }

    // Removes the oldest record. Consumer only; the ring must not be empty.
    void pop() noexcept
    {
        std::size_t start = 0;
        std::size_t size = 0;
        if (!locate(start, size))
            return;
        const std::size_t read = read_.load(std::memory_order_relaxed);
        const std::size_t skipped = start == read % capacity_ ? 0 : capacity_ - read % capacity_;
        // Release: the record is read before the producer may reuse its bytes.
        read_.store(read + skipped + HeaderBytes + padded(size), std::memory_order_release);
    }

    bool empty() const noexcept
    {
        return read_.load(std::memory_order_seq_cst) == written_.load(std::memory_order_seq_cst);
    }

    // Removes every record. Consumer only.
    void clear() noexcept { read_.store(written_.load(std::memory_order_acquire), std::memory_order_release); }

private:
    static constexpr std::size_t HeaderBytes = 4;
    static constexpr std::uint32_t WrapMark = 0xFFFFFFFF;

    static std::size_t padded(std::size_t size) noexcept { return (size + 3) / 4 * 4; }

    void writeHeader(std::size_t offset, std::uint32_t value) noexcept
    {
        std::memcpy(bytes_.get() + offset, &value, HeaderBytes);
    }

    // Where the oldest record starts and how long it is.
    bool locate(std::size_t& start, std::size_t& size) const noexcept
    {
        const std::size_t read = read_.load(std::memory_order_relaxed);
        if (read == written_.load(std::memory_order_acquire))
            return false;
        start = read % capacity_;
        std::uint32_t header = 0;
        std::memcpy(&header, bytes_.get() + start, HeaderBytes);
        if (header == WrapMark) {
            start = 0;
            std::memcpy(&header, bytes_.get(), HeaderBytes);
        }
        size = header;
        return true;
    }

    const std::size_t capacity_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    alignas(64) std::atomic<std::size_t> written_{0};
    alignas(64) std::atomic<std::size_t> read_{0};
};
