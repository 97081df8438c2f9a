// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One open input device of the MIDI services: the driver side of midiIn*.
//
// The backend calls onMessage on its driver thread, one thread at a time;
// everything else runs on the main thread. The driver side neither
// allocates, locks nor blocks: it passes a gate (started, counted in
// flight), forwards the message through the thru route when one is set, then
// either calls back with MIM_DATA or fills lent buffers taken from a
// lock-free ring. The route sends on the driver thread when the output is of
// the same backend (sameBackend), and otherwise only hands each message over
// to the output's sending thread (MidiOutputDevice::handOver). The main
// thread closes the gate, or takes the route away, and then waits, yielding,
// until no delivery is in flight, which makes stop, reset, close and
// disconnect final; taking a route away also ends the output's sending thread.

#include "platform/midi/backends/midi_backend.h"
#include "platform/midi/lent_header_queue.h"
#include "platform/midi/midi_output_device.h"

#include <atomic>
#include <cstdint>
#include <memory>

class MidiInputDevice final : public MidiInputSink, private MidiOutputDevice::LossListener {
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
    // Ends the route, stops, closes the backend port and takes the lent
    // buffers back silently.
    void close() noexcept;

    // Routes what arrives from now on to `output` through `map`, natively in
    // the backend when it can.
    MMRESULT connect(MidiOutputDevice& output, const ThruMap& map);
    // Ends the route; returns once it no longer runs.
    void disconnect() noexcept;
    // Whether this device is open on that backend connection.
    bool uses(const MidiInputConnection& connection) const noexcept { return connection_.get() == &connection; }
    // The output the route feeds; null without a route.
    MidiOutputDevice* routedOutput() const noexcept { return routedOutput_; }

    // MidiInputSink, driver thread.
    void onMessage(const std::uint8_t* data, std::size_t size) noexcept override;
    void onMessageAt(const std::uint8_t* data, std::size_t size, DWORD timestampMs) noexcept override;
    void onRoutedMessage(const std::uint8_t* data, std::size_t size, ThruOutcome outcome) noexcept override;

private:
    class DeliveryGate;
    struct Route {
        MidiOutputDevice& output;
        const ThruMap& map;
        bool handsOver; // the output is of another backend
    };

    // MidiOutputDevice::LossListener, any thread.
    void routedMessageLost() noexcept override;

    void receive(const std::uint8_t* data, std::size_t size, DWORD timestampMs) noexcept;
    ThruOutcome forward(const Route& route, const std::uint8_t* data, std::size_t size) noexcept;
    void deliver(const std::uint8_t* data, std::size_t size, DWORD timestampMs, ThruOutcome outcome) noexcept;
    void deliverSysex(const std::uint8_t* data, std::size_t size, DWORD timestampMs, ThruOutcome outcome) noexcept;
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
    // The route the services run (none while the backend runs it itself).
    std::unique_ptr<Route> routeStorage_;
    std::atomic<const Route*> route_{nullptr};
    // The route's map for losses that the output reports later; set while
    // the output has this device as its loss listener.
    std::atomic<const ThruMap*> lossMap_{nullptr};
    MidiOutputDevice* routedOutput_ = nullptr;
    bool nativeRoute_ = false;
    // Where the route's stream stands between two deliveries (a
    // system-exclusive message in pieces); driver thread only, reset before
    // a route is published.
    ThruCarry carry_;
};
