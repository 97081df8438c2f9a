// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Carries the messages of a thru route between two backends from the input's
// driver thread to a sending thread of the output's own, so that neither
// backend runs on the other's thread (a JACK process callback never waits
// for the ALSA sequencer, and the reverse).
//
// Threading contract
// ------------------
// The main thread constructs, stops and destroys. One thread at a time (the
// input's driver thread) hands messages over: it copies the bytes into a
// lock-free ring and wakes the sending thread with a futex notify, never
// allocating, locking or blocking. The sending thread, started by the
// constructor, passes each message to the Sink in the order handed over.
// stop() is called once nothing hands over any more: it waits until what was
// handed over has gone to the Sink, then joins the thread.

#include "platform/spsc_record_ring.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

class RouteHandOver {
public:
    // What the sending thread does with each message.
    class Sink {
    public:
        virtual ~Sink() = default;
        virtual void sendHandedOver(const std::uint8_t* data, std::size_t size) noexcept = 0;
    };

    // Room for what waits: a long system-exclusive message whole, as the
    // JACK output's own queue takes it.
    static constexpr std::size_t QueueBytes = 2 * 1024 * 1024;

    // Starts the sending thread; throws when it cannot.
    explicit RouteHandOver(Sink& sink);
    ~RouteHandOver();
    RouteHandOver(const RouteHandOver&) = delete;
    RouteHandOver& operator=(const RouteHandOver&) = delete;

    // The driver thread: a copy of one message (or piece) for the sending
    // thread; false when there is no room for it.
    bool handOver(const std::uint8_t* data, std::size_t size) noexcept;
    // The main thread, once nothing hands over: everything handed over is
    // sent, then the thread ends. Later calls do nothing.
    void stop() noexcept;

private:
    void run() noexcept;
    void drain() noexcept;

    Sink& sink_;
    SpscRecordRing queue_{QueueBytes};
    std::atomic<bool> stopping_{false};
    // Changes at every hand-over and at stop; the sending thread sleeps on it.
    std::atomic<std::uint32_t> wake_{0};
    std::thread thread_;
};
