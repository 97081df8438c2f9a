// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A bounded single-producer, single-consumer queue of trivially copyable
// values. One thread at a time pushes and one thread at a time pops; each
// side may pass from thread to thread as long as the hand-over itself orders
// memory (a lock, or an atomic flag with acquire and release). Neither side
// allocates after construction, locks nor blocks.
//
// The producer publishes a value by advancing its counter sequentially
// consistently, so that "push, then test a flag" on one side and "clear the
// flag, then test for values" on the other never both miss each other.

#include <atomic>
#include <cstddef>
#include <memory>
#include <type_traits>

template <class T>
class SpscQueue {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    explicit SpscQueue(std::size_t capacity)
        : slots_(std::make_unique<T[]>(capacity)), capacity_(capacity)
    {
    }

    // Appends a value; false when the queue is full. Producer only.
    bool push(const T& value) noexcept
    {
        const std::size_t pushed = pushed_.load(std::memory_order_relaxed);
        // Acquire: the consumer has finished reading a slot before it counts it free.
        if (pushed - popped_.load(std::memory_order_acquire) == capacity_)
            return false;
        slots_[pushed % capacity_] = value;
        pushed_.store(pushed + 1, std::memory_order_seq_cst);
        return true;
    }

    // Whether a push would fail now. Producer only: only the consumer changes the answer, to false.
    bool full() const noexcept
    {
        return pushed_.load(std::memory_order_relaxed) - popped_.load(std::memory_order_acquire) == capacity_;
    }

    // The oldest value, left in the queue; null when empty. Consumer only.
    const T* front() const noexcept
    {
        const std::size_t popped = popped_.load(std::memory_order_relaxed);
        if (popped == pushed_.load(std::memory_order_seq_cst))
            return nullptr;
        return &slots_[popped % capacity_];
    }

    // Removes the oldest value, which front() returned. Consumer only.
    void pop() noexcept
    {
        // Release: the slot is read before the producer may reuse it.
        popped_.store(popped_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Whether nothing is queued; exact for the consumer, a hint for anyone else.
    bool empty() const noexcept
    {
        return popped_.load(std::memory_order_seq_cst) == pushed_.load(std::memory_order_seq_cst);
    }

private:
    std::unique_ptr<T[]> slots_;
    std::size_t capacity_;
    // Both count up without wrapping in practice (64 bits); slot = count % capacity.
    alignas(64) std::atomic<std::size_t> pushed_{0};
    alignas(64) std::atomic<std::size_t> popped_{0};
};
