// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The ALSA sequencer's ports, over RtMidi (JACK has a backend of its own):
// without our own ports; hardware ports first, then other programs' ports,
// "Midi Through" ports last. Every RtMidi and alsa-lib message is kept off
// the console; failures become result codes. Output to the "Midi Through"
// port that an open input listens to is refused with MMSYSERR_ALLOCATED (it
// would loop forever). What RtMidi hands over as one incoming message is
// split the way a MIDI receiver reads bytes (see readAsMessages).
//
// Enumeration keeps one RtMidi object per direction; each open port has an
// RtMidi object of its own, found again by its full name when it is opened.
//
// Threading: main thread only, except the input callback, which RtMidi calls
// on its input thread and which hands the messages to the services' sink
// (where a thru route sends them on), and an output's send, which the
// services call from one thread at a time.

#include "platform/midi/backends/listed_ports_backend.h"

#include <memory>
#include <string>

class RtMidiBackend final : public ListedPortsBackend {
public:
    // `name`: the name of the program's ALSA clients.
    explicit RtMidiBackend(const std::string& name);
    ~RtMidiBackend() override;
    RtMidiBackend(const RtMidiBackend&) = delete;
    RtMidiBackend& operator=(const RtMidiBackend&) = delete;

    // MidiBackend
    // The sequencer tells nothing of new ports to RtMidi: only without one
    // is there nothing to count again.
    bool reportsPortChanges() const override;
    bool serverAvailable() override;
    MMRESULT openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) override;
    MMRESULT openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out) override;

private:
    std::vector<ListedPort> listPorts(bool inputs) override;

    struct Impl;
    std::unique_ptr<Impl> d;
};
