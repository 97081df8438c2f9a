// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The interface between the MIDI services functions and a concrete backend.
// The services layer keeps handles, lent buffers, time stamps and the
// callback convention; a backend only lists ports, opens them, delivers whole
// incoming messages and sends bytes.
//
// Threading: every member is called on the main thread, except
// MidiInputSink's members, which the backend calls on its driver thread, and
// MidiOutputConnection::send, which a thru route calls on the thread that
// receives MIDI (one thread at a time, unless the connection says that any
// thread may send). Destroying a MidiInputConnection returns only once no
// sink call for it is running or will ever start.
//
// Each connection names the backend that made it (backendIdentity). A route
// between two connections of one backend sends on the receiving thread; a
// route between two backends never runs one backend's send on the other's
// thread: the services hand its messages to a sending thread of the output.

#include "platform/midi/backends/port_order.h"
#include "platform/midi/messages/midi_types.h"
#include "platform/midi/messages/thru_map.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
    // A message that the connection's own thru route has dealt with already:
    // `outcome` says how (a ThruOutcome).
    virtual void onRoutedMessage(const std::uint8_t* data, std::size_t size, ThruOutcome outcome) noexcept
    {
        static_cast<void>(outcome);
        onMessage(data, size);
    }
};

class MidiOutputConnection;

// Which backend object made a connection: its address, or any address unique
// to it while it lives. Null names no backend, and a connection that names
// none counts as of a backend of its own. The composite backend passes its
// members' connections on, with their identities.
using MidiBackendIdentity = const void*;

// What a send returns when the message found no room to wait in: it is lost.
// Our own code, beyond the drivers' ones; midiOut* calls report it as
// MIDIERR_NOTREADY, a thru route as ThruLost.
constexpr MMRESULT MIDIERR_SENDQUEUEFULL = 0x10000;

// An open input port; delivery runs from construction to destruction.
class MidiInputConnection {
public:
    virtual ~MidiInputConnection() = default;
    // Routes every message that arrives from now on to `output` itself, in
    // the backend, through `map` (which outlives the route), reporting each
    // through onRoutedMessage. MMSYSERR_NOTSUPPORTED when the backend cannot:
    // the services then route what the sink receives.
    virtual MMRESULT connectThru(MidiOutputConnection& output, const ThruMap& map)
    {
        static_cast<void>(output);
        static_cast<void>(map);
        return MMSYSERR_NOTSUPPORTED;
    }
    // Ends a route that connectThru set; returns once it no longer runs.
    virtual void disconnectThru() {}
    // The backend that made the connection; null for none named.
    virtual MidiBackendIdentity backendIdentity() const noexcept { return nullptr; }
};

// An open output port.
class MidiOutputConnection {
public:
    virtual ~MidiOutputConnection() = default;
    // Sends one whole message; isLong marks a system-exclusive send.
    // MIDIERR_SENDQUEUEFULL when the message cannot be taken now.
    virtual MMRESULT send(const std::uint8_t* data, std::size_t size, bool isLong) = 0;
    // Whether send may be called from any thread at any time, never blocking
    // (the services then need no sender of their own for it).
    virtual bool sendsFromAnyThread() const { return false; }
    // The backend that made the connection; null for none named.
    virtual MidiBackendIdentity backendIdentity() const noexcept { return nullptr; }
};

// Whether a route between the two stays within one backend.
inline bool sameBackend(const MidiInputConnection& input, const MidiOutputConnection& output) noexcept
{
    const MidiBackendIdentity identity = input.backendIdentity();
    return identity != nullptr && identity == output.backendIdentity();
}

// What a backend tells the services on the main thread.
class MidiBackendEvents {
public:
    virtual ~MidiBackendEvents() = default;
    // Ports appeared, went away or were renamed: the lists have changed.
    virtual void portsChanged() = 0;
    // An open port's device has gone (its port went away, or its server).
    virtual void inputLost(MidiInputConnection& connection) = 0;
    virtual void outputLost(MidiOutputConnection& connection) = 0;
};

class MidiBackend {
public:
    virtual ~MidiBackend() = default;
    // Where the backend reports; null stops the reports. Main thread.
    virtual void setEvents(MidiBackendEvents* events) { static_cast<void>(events); }
    // Whether portsChanged reports every change of the lists; otherwise the
    // lists must be counted again now and then to see them.
    virtual bool reportsPortChanges() const { return false; }
    // Whether the MIDI server behind the backend answers now.
    virtual bool serverAvailable() { return true; }
    // What kind of port device n of the current list is, for the listing order.
    virtual PortKind inputKind(unsigned device)
    {
        static_cast<void>(device);
        return PortKind::Program;
    }
    virtual PortKind outputKind(unsigned device)
    {
        static_cast<void>(device);
        return PortKind::Program;
    }
    // Number of ports in the current list; refreshes the list.
    virtual unsigned inputCount() = 0;
    virtual unsigned outputCount() = 0;
    // Capabilities of port n of the current list.
    virtual MMRESULT inputCaps(unsigned device, MIDIINCAPSW& caps) = 0;
    virtual MMRESULT outputCaps(unsigned device, MIDIOUTCAPSW& caps) = 0;
    // Opens port n; on success `out` holds the connection.
    virtual MMRESULT openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) = 0;
    virtual MMRESULT openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out) = 0;

    // A graph of ports (JACK): the backend's own input and output ports live
    // as long as its client and carry whatever any client connects to them;
    // devices are then connections, which anyone may make or break. A change
    // of our ports' connections is reported as portsChanged. `input` picks
    // our input port (fed by the devices of the input list) or our output.

    // Whether the backend has such ports now (a server runs).
    virtual bool hasGraph() { return false; }
    // Opens our own port (device MIDI_GRAPHPORT); its caps name it.
    virtual MMRESULT openGraphInput(MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out)
    {
        static_cast<void>(sink);
        static_cast<void>(out);
        return MMSYSERR_BADDEVICEID;
    }
    virtual MMRESULT openGraphOutput(std::unique_ptr<MidiOutputConnection>& out)
    {
        static_cast<void>(out);
        return MMSYSERR_BADDEVICEID;
    }
    // The full names of the ports connected to ours, as the lists name them.
    virtual std::vector<std::string> graphConnections(bool input)
    {
        static_cast<void>(input);
        return {};
    }
    // Whether the device of that name is a port of the graph.
    virtual bool isGraphDevice(bool input, const std::string& device)
    {
        static_cast<void>(input);
        static_cast<void>(device);
        return false;
    }
    // Connects the device's port to ours, or takes that connection away;
    // either is done already when it is so.
    virtual MMRESULT connectGraph(bool input, const std::string& device, bool connect)
    {
        static_cast<void>(input);
        static_cast<void>(device);
        static_cast<void>(connect);
        return MMSYSERR_NOTSUPPORTED;
    }
};
