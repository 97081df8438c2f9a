// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The JACK backend, on libjack: one client on the running JACK server (or
// PipeWire's), named as the services ask, with one MIDI input port "in"
// and one MIDI output port "out", registered when the client opens and kept
// for its whole life, so that patchbays and session tools find them again.
// Opening a device connects our port to the device's port; closing
// disconnects just that connection. Opened as the graph's own port
// (MIDI_GRAPHPORT), a port takes whatever any client connects to it, and
// its connections are the devices (MidiBackend's graph members). The device lists are the server's MIDI
// ports, ours left out; the program never starts a server.
//
// Threading contract
// ------------------
// Every member runs on the main thread, which never waits for the server
// beyond the requests that opening, connecting and listing make. The process
// callback, on JACK's real-time thread, is the only one that touches the
// port buffers: each cycle it writes what waits for the output (carried over
// from earlier cycles first, then what other threads handed over), then
// takes every input event: a thru route set on the client's own output
// writes it to the output buffer in the same cycle at the same frame, and the
// input's sink gets it with the route's outcome. What does not fit a cycle's
// buffer is carried over to the next cycles, in order. The callback neither
// allocates, locks nor blocks. Sends reach it through a lock-free ring, from
// one thread at a time (the services' OutputSender sees to that).
//
// libjack's own threads report the server's shutdown and port registrations
// and renames; those reach the main thread as notifications, and from there
// the services (MidiBackendEvents). A client whose server has gone is never
// closed (libjack crashes closing it once a server of the same name runs
// again); it stays until the process ends, and the next listing opens a new
// client when a server runs again.

#include "platform/midi/backends/listed_ports_backend.h"

#include <memory>
#include <string>

class JackMidiBackend final : public ListedPortsBackend {
public:
    // `name`: the client's name asked of the server.
    explicit JackMidiBackend(std::string name);
    ~JackMidiBackend() override;
    JackMidiBackend(const JackMidiBackend&) = delete;
    JackMidiBackend& operator=(const JackMidiBackend&) = delete;

    // The client's name on the server ("Velomorph", or another when that one
    // is taken); empty while no server runs.
    std::string clientName() const;

    // MidiBackend
    void setEvents(MidiBackendEvents* events) override;
    // While a server runs; a server that starts later is only found by counting.
    bool reportsPortChanges() const override;
    bool serverAvailable() override;
    MMRESULT openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) override;
    MMRESULT openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out) override;
    bool hasGraph() override;
    MMRESULT openGraphInput(MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) override;
    MMRESULT openGraphOutput(std::unique_ptr<MidiOutputConnection>& out) override;
    std::vector<std::string> graphConnections(bool input) override;
    bool isGraphDevice(bool input, const std::string& device) override;
    MMRESULT connectGraph(bool input, const std::string& device, bool connect) override;

private:
    std::vector<ListedPort> listPorts(bool inputs) override;
    std::string graphPortName(bool input) override;

    struct Impl;
    std::unique_ptr<Impl> d;
};
