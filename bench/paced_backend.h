// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An in-process MIDI backend for the forwarding benchmark: one input ("Bench
// keyboard") and one output ("Bench synth"). Its driver thread plays the note
// messages of bench_note.h on a steady schedule and stamps each with the steady clock just
// before it hands the message to the MIDI services, inside which the driver
// callback runs; the output stamps every message the program sends. Stamps go
// into arrays sized up front, so measuring adds no allocation to the path
// being measured, and the driver thread never shares a lock with the output.
//
// Threading: StartRun, Clear and the readers are called on the main thread
// while no run is going, except RunDelivered, which may be polled during one.
// The output's send runs where the program sends: on the driver thread,
// inside the delivery, for what the thru route forwards; on the main thread
// for the test note. The MIDI services let one thread send at a time.

#include "platform/midi/backends/midi_backend.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class PacedBackend final : public MidiBackend {
public:
    // One message: when it passed, and which one it was.
    struct Stamp {
        std::int64_t ns = 0;   // steady clock, nanoseconds
        std::uint16_t id = 0;  // sequence number modulo NoteIdCount (bench_note.h)
    };

    // Keeps stamps for up to `capacity` messages each way per run.
    explicit PacedBackend(std::size_t capacity);
    ~PacedBackend() override;
    PacedBackend(const PacedBackend&) = delete;
    PacedBackend& operator=(const PacedBackend&) = delete;

    // Plays `count` messages, `rate` per second, from now on; returns at once.
    void StartRun(double rate, std::size_t count);
    // Whether every message of the current run has been handed to the input.
    bool RunDelivered() const;
    // CPU time of the driver thread during the last run, in nanoseconds.
    std::int64_t DriverCpuNs() const;
    // What the input delivered and the output sent since the last Clear.
    std::vector<Stamp> Delivered() const;
    std::vector<Stamp> Sent() const;
    // Messages sent since the last Clear, also those past the capacity.
    std::size_t SentCount() const;
    // Forgets both captures.
    void Clear();

    // MidiBackend
    unsigned inputCount() override;
    unsigned outputCount() override;
    MMRESULT inputCaps(unsigned device, MIDIINCAPSW& caps) override;
    MMRESULT outputCaps(unsigned device, MIDIOUTCAPSW& caps) override;
    MMRESULT openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) override;
    MMRESULT openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out) override;

private:
    class InputConnection;
    class OutputConnection;

    void Drive();
    void Play(double rate, std::size_t count);
    void Record(const std::uint8_t* data, std::size_t size) noexcept;

    const std::size_t capacity_;

    // The open input: taken by the driver thread around each delivery, and by
    // the main thread only to open or close it.
    std::mutex sinkMutex_;
    MidiInputSink* sink_ = nullptr;

    // Runs handed to the driver thread.
    std::mutex runMutex_;
    std::condition_variable runChanged_;
    bool stopping_ = false;
    bool runPending_ = false;
    double rate_ = 0;
    std::size_t count_ = 0;
    std::atomic<bool> delivered_{true};
    std::atomic<std::int64_t> driverCpuNs_{0};

    // Stamps: the driver thread writes the delivered ones, the sending thread the sent ones.
    std::vector<Stamp> deliveredStamps_;
    std::atomic<std::size_t> deliveredCount_{0};
    std::vector<Stamp> sentStamps_;
    std::atomic<std::size_t> sentCount_{0};
    bool outputOpen_ = false;

    std::thread driver_;
};
