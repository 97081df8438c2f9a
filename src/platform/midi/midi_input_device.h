#pragma once

// One open input device of the MIDI services: the driver side of midiIn*.
//
// The backend calls onMessage on its driver thread; everything else runs on
// the main thread. The driver side neither allocates, locks nor blocks: it
// passes a gate (started, counted in flight), then either calls back with
// MIM_DATA or fills lent buffers taken from a lock-free ring. The main thread
// closes the gate and then waits, yielding, until no delivery is in flight,
// which makes stop, reset and close final.

#include "platform/midi/lent_header_queue.h"
#include "platform/midi/midi_backend.h"

#include <atomic>
#include <cstdint>
#include <memory>

class MidiInputDevice final : public MidiInputSink {
public:
    // Buffers that may be lent at once; midiInAddBuffer beyond this is refused.
    static constexpr std::size_t MaxLentBuffers = 4096;

    MidiInputDevice(HMIDIIN handle, MidiCallbackProc callback, DWORD_PTR instance);
    ~MidiInputDevice() override;
    MidiInputDevice(const MidiInputDevice&) = delete;
    MidiInputDevice& operator=(const MidiInputDevice&) = delete;

    // Takes the backend's open port; delivery stays gated until start().
    void attach(std::unique_ptr<MidiInputConnection> connection);
    // Calls the client's callback on the calling thread (MIM_OPEN, MIM_CLOSE).
    void notify(UINT message) const noexcept;

    // Lends a prepared buffer to the driver.
    MMRESULT addBuffer(MIDIHDR& header);
    // Opens the gate; time stamps count from here (no effect when started).
    void start() noexcept;
    // Closes the gate; returns once no delivery is in progress.
    void stop() noexcept;
    // Stops, then hands every lent buffer back through the callback.
    void reset() noexcept;
    // Stops, closes the backend port and takes the lent buffers back silently.
    void close() noexcept;

    // MidiInputSink, driver thread.
    void onMessage(const std::uint8_t* data, std::size_t size) noexcept override;
    void onMessageAt(const std::uint8_t* data, std::size_t size, DWORD timestampMs) noexcept override;

private:
    class DeliveryGate;

    void deliver(const std::uint8_t* data, std::size_t size, DWORD timestampMs) noexcept;
    void deliverSysex(const std::uint8_t* data, std::size_t size, DWORD timestampMs) noexcept;
    void waitUntilQuiet() const noexcept;
    DWORD elapsedMs() const noexcept;

    const HMIDIIN handle_;
    const MidiCallbackProc callback_;
    const DWORD_PTR instance_;
    LentHeaderQueue lent_{MaxLentBuffers};
    std::unique_ptr<MidiInputConnection> connection_;
    // Gate and in-flight count: a Dekker pair, hence sequentially consistent.
    std::atomic<bool> started_{false};
    std::atomic<int> inFlight_{0};
    // Steady-clock nanoseconds at midiInStart; written before started_ opens.
    std::atomic<std::int64_t> startNs_{0};
};
