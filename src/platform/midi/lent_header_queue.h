// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The input buffers lent to the driver, oldest first: a single-producer,
// single-consumer ring of fixed capacity.
//
// Threading contract: the main thread pushes (midiInAddBuffer); the driver
// thread pops while it records a system-exclusive message. The main thread
// pops too, but only once delivery is stopped and no delivery is in
// progress, so there is never more than one consumer at a time. push and pop
// neither allocate, lock nor block.

#include "platform/midi/messages/midi_types.h"

#include <atomic>
#include <cstddef>
#include <memory>

class LentHeaderQueue {
public:
    explicit LentHeaderQueue(std::size_t capacity);

    // Appends a header; false when the ring is full.
    bool push(MIDIHDR* header) noexcept;
    // Takes the oldest header; nullptr when none is lent.
    MIDIHDR* pop() noexcept;

private:
    std::unique_ptr<MIDIHDR*[]> slots_;
    std::size_t capacity_;
    // Both count up without wrapping in practice (64 bits); slot = count % capacity.
    std::atomic<std::size_t> popped_{0}; // written by the consumer only
    std::atomic<std::size_t> pushed_{0}; // written by the producer only
};

inline LentHeaderQueue::LentHeaderQueue(std::size_t capacity)
    : slots_(std::make_unique<MIDIHDR*[]>(capacity)), capacity_(capacity)
{
}

inline bool LentHeaderQueue::push(MIDIHDR* header) noexcept
{
    const std::size_t pushed = pushed_.load(std::memory_order_relaxed);
    // Acquire: the consumer has finished reading a slot before it counts it free.
    if (pushed - popped_.load(std::memory_order_acquire) == capacity_)
        return false;
    slots_[pushed % capacity_] = header;
    // Release: the slot is written before the consumer can see it.
    pushed_.store(pushed + 1, std::memory_order_release);
    return true;
}

inline MIDIHDR* LentHeaderQueue::pop() noexcept
{
    const std::size_t popped = popped_.load(std::memory_order_relaxed);
    if (popped == pushed_.load(std::memory_order_acquire))
        return nullptr;
    MIDIHDR* header = slots_[popped % capacity_];
    popped_.store(popped + 1, std::memory_order_release);
    return header;
}
