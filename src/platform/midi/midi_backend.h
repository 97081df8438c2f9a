#pragma once

// The interface between the MIDI services functions and a concrete backend.
// The services layer keeps handles, lent buffers, time stamps and the
// callback convention; a backend only lists ports, opens them, delivers whole
// incoming messages and sends bytes.
//
// Threading: every member is called on the main thread, except
// MidiInputSink::onMessage, which the backend calls on its driver thread.
// Destroying a MidiInputConnection returns only once no onMessage call for it
// is running or will ever start.

#include "platform/midi/midi_services.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Receives complete incoming messages on the driver thread. Must not
// allocate, lock or block.
class MidiInputSink {
public:
    virtual ~MidiInputSink() = default;
    // One complete message (short, single-byte or system exclusive).
    virtual void onMessage(const std::uint8_t* data, std::size_t size) noexcept = 0;
    // The same with a time stamp chosen by the backend instead of the clock.
    virtual void onMessageAt(const std::uint8_t* data, std::size_t size, DWORD timestampMs) noexcept
    {
        static_cast<void>(timestampMs);
        onMessage(data, size);
    }
};

// An open input port; delivery runs from construction to destruction.
class MidiInputConnection {
public:
    virtual ~MidiInputConnection() = default;
};

// An open output port.
class MidiOutputConnection {
public:
    virtual ~MidiOutputConnection() = default;
    // Sends one whole message; isLong marks a system-exclusive send.
    virtual MMRESULT send(const std::uint8_t* data, std::size_t size, bool isLong) = 0;
};

class MidiBackend {
public:
    virtual ~MidiBackend() = default;
    // Number of ports in the current list; refreshes the list.
    virtual unsigned inputCount() = 0;
    virtual unsigned outputCount() = 0;
    // Capabilities of port n of the current list.
    virtual MMRESULT inputCaps(unsigned device, MIDIINCAPSW& caps) = 0;
    virtual MMRESULT outputCaps(unsigned device, MIDIOUTCAPSW& caps) = 0;
    // Opens port n; on success `out` holds the connection.
    virtual MMRESULT openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) = 0;
    virtual MMRESULT openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out) = 0;
};
