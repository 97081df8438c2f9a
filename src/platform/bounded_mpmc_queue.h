// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A bounded multi-producer multi-consumer queue of trivially copyable values
// (Vyukov's array queue). Each slot carries a sequence number that tells
// whose turn it is: push and pop claim a position with one compare-and-swap
// and then hand the slot over. Neither allocates after construction, locks
// nor blocks; push fails when the queue is full.
//
// Publishing a value and checking for one are sequentially consistent, not
// just release and acquire, so that a caller may pair them with a flag of its
// own in a Dekker-style wake-up: "push, then test the flag" against "clear
// the flag, then pop" never lets both sides miss each other.

#include <atomic>
#include <cstddef>
#include <memory>
#include <type_traits>

template <class T>
class BoundedMpmcQueue {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    // The capacity is rounded up to a power of two, at least 2.
    explicit BoundedMpmcQueue(std::size_t capacity)
    {
        std::size_t size = 2;
        while (size < capacity)
            size *= 2;
        mask_ = size - 1;
        cells_ = std::make_unique<Cell[]>(size);
        for (std::size_t i = 0; i < size; ++i)
            cells_[i].sequence.store(i, std::memory_order_relaxed);
    }

    // Number of values the queue holds when full.
    std::size_t capacity() const noexcept { return mask_ + 1; }

    // Appends a value; false when the queue is full. Any thread.
    bool push(const T& value) noexcept
    {
        std::size_t position = tail_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[position & mask_];
            // Acquire: the consumer that freed the slot has finished reading it.
            const std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
            const auto difference = static_cast<std::ptrdiff_t>(sequence - position);
            if (difference == 0) {
                if (tail_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    cell.value = value;
                    // The value is written before a consumer may take it.
                    cell.sequence.store(position + 1, std::memory_order_seq_cst);
                    return true;
                }
            } else if (difference < 0) {
                return false;
            } else {
                position = tail_.load(std::memory_order_relaxed);
            }
        }
    }

    // Whether the queue looked empty a moment ago: a hint, stale at once
    // when other threads push or pop.
    bool seemsEmpty() const noexcept
    {
        return head_.load(std::memory_order_relaxed) == tail_.load(std::memory_order_relaxed);
    }

    // Takes the oldest value; false when the queue is empty. Any thread.
    bool pop(T& value) noexcept
    {
        std::size_t position = head_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[position & mask_];
            // The producer's value is visible once its sequence is.
            const std::size_t sequence = cell.sequence.load(std::memory_order_seq_cst);
            const auto difference = static_cast<std::ptrdiff_t>(sequence - (position + 1));
            if (difference == 0) {
                if (head_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    value = cell.value;
                    // Release: the slot is read before a producer may reuse it.
                    cell.sequence.store(position + mask_ + 1, std::memory_order_release);
                    return true;
                }
            } else if (difference < 0) {
                return false;
            } else {
                position = head_.load(std::memory_order_relaxed);
            }
        }
    }

private:
    struct Cell {
        std::atomic<std::size_t> sequence{0};
        T value{};
    };

    // Producers and consumers each hammer their own counter: keep them on
    // separate cache lines.
    static constexpr std::size_t CacheLine = 64;
    std::unique_ptr<Cell[]> cells_;
    std::size_t mask_ = 0;
    alignas(CacheLine) std::atomic<std::size_t> tail_{0};
    alignas(CacheLine) std::atomic<std::size_t> head_{0};
};
