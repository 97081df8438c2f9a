// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One sender at a time for an output whose backend connection is not safe to
// call from two threads (RtMidi, the virtual devices), in the order in which
// the messages were handed over.
//
// Threading contract
// ------------------
// Two threads may hand messages over: the main thread (midiOut* calls) and
// the thread of a thru route (the input's driver thread, or the output's
// sending thread for a route from another backend), at most one route
// thread at a time. A caller that finds no one sending becomes the sender: it
// sends what was queued before its message, its message, and whatever comes
// meanwhile, then lets go. A caller that finds the other thread sending
// queues its message for that thread and returns at once. Nothing here
// allocates, locks or blocks: the only wait is the backend's own send.
//
// A message that is sent at once gets the backend's result. A queued message
// counts as handed over; if it then cannot be sent, the listener hears of it.

#include "platform/midi/backends/midi_backend.h"
#include "platform/spsc_byte_ring.h"
#include "platform/spsc_queue.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

class OutputSender {
public:
    // Hears what becomes of queued messages; called on whichever thread sends.
    class Listener {
    public:
        virtual ~Listener() = default;
        // A long message handed over with its header has left (or was refused).
        virtual void longMessageDone(MIDIHDR& header) noexcept = 0;
        // A queued message could not be sent.
        virtual void messageLost() noexcept = 0;
    };

    // Messages each thread may have queued at once, and bytes for the long
    // messages of a thru route that must wait.
    static constexpr std::size_t QueueCapacity = 4096;
    static constexpr std::size_t CopyBytes = 256 * 1024;

    OutputSender(MidiOutputConnection& connection, Listener& listener);
    OutputSender(const OutputSender&) = delete;
    OutputSender& operator=(const OutputSender&) = delete;

    // Main thread. A short message; a long one whose header stays the
    // sender's until longMessageDone (sent at once: before this returns).
    // MIDIERR_SENDQUEUEFULL when the queue is full.
    MMRESULT sendShort(const std::uint8_t* data, std::size_t size) noexcept;
    MMRESULT sendLong(MIDIHDR& header) noexcept;

    // The thru route's thread. Long messages are copied when they must wait;
    // MIDIERR_SENDQUEUEFULL when there is no room.
    MMRESULT routeShort(const std::uint8_t* data, std::size_t size) noexcept;
    MMRESULT routeLong(const std::uint8_t* data, std::size_t size) noexcept;

    // Main thread, once no route feeds the output: sends whatever is still
    // queued. Afterwards nothing is left for the connection.
    void flush() noexcept;

private:
    struct Item {
        std::uint64_t ticket = 0;
        const std::uint8_t* data = nullptr; // a long message's bytes; null for a short one
        std::uint32_t size = 0;
        std::uint8_t bytes[3] = {};
        MIDIHDR* header = nullptr;          // handed back once sent
        std::uint32_t copied = 0;           // ring bytes to give back once sent
    };

    MMRESULT submit(SpscQueue<Item>& queue, const Item& item) noexcept;
    bool tryAcquire() noexcept;
    void drainQueued() noexcept;
    void releaseAndDrain() noexcept;
    MMRESULT sendNow(const Item& item) noexcept;
    void finish(const Item& item, MMRESULT result) noexcept;

    MidiOutputConnection& connection_;
    Listener& listener_;
    std::atomic<bool> busy_{false};
    std::atomic<std::uint64_t> tickets_{0};
    SpscQueue<Item> fromMain_{QueueCapacity};
    SpscQueue<Item> fromRoute_{QueueCapacity};
    SpscByteRing copies_{CopyBytes};
};
