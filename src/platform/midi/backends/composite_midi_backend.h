// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Several backends as one: their device lists joined in listing order
// (hardware first, then other programs, through ports last; within a kind,
// the backends in the order given, then each one's own order), and every
// call passed to the backend whose port the device is. The real program
// joins the ALSA sequencer (RtMidi) and JACK; tests join virtual devices and
// JACK. Each direction is counted on its own, as in every backend. The
// connections are the parts' own, so each names the part that made it: a
// route between two parts is a route between two backends. Main thread only,
// like the backends themselves.

#include "platform/midi/backends/midi_backend.h"

#include <memory>
#include <vector>

class CompositeMidiBackend final : public MidiBackend {
public:
    explicit CompositeMidiBackend(std::vector<std::shared_ptr<MidiBackend>> parts);

    void setEvents(MidiBackendEvents* events) override;
    bool reportsPortChanges() const override;
    bool serverAvailable() override;
    unsigned inputCount() override;
    unsigned outputCount() override;
    PortKind inputKind(unsigned device) override;
    PortKind outputKind(unsigned device) override;
    MMRESULT inputCaps(unsigned device, MIDIINCAPSW& caps) override;
    MMRESULT outputCaps(unsigned device, MIDIOUTCAPSW& caps) override;
    MMRESULT openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) override;
    MMRESULT openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out) override;
    // The graph is the first part's that has one.
    bool hasGraph() override;
    MMRESULT openGraphInput(MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) override;
    MMRESULT openGraphOutput(std::unique_ptr<MidiOutputConnection>& out) override;
    std::vector<std::string> graphConnections(bool input) override;
    bool isGraphDevice(bool input, const std::string& device) override;
    MMRESULT connectGraph(bool input, const std::string& device, bool connect) override;

private:
    MidiBackend* graph();

    // Device n of the joined list: which part, and its number there.
    struct Entry {
        MidiBackend* part = nullptr;
        unsigned device = 0;
        PortKind kind = PortKind::Program;
    };

    std::vector<Entry> join(bool inputs);
    const Entry* find(const std::vector<Entry>& entries, unsigned device) const;

    std::vector<std::shared_ptr<MidiBackend>> parts_;
    std::vector<Entry> inputs_;
    std::vector<Entry> outputs_;
    bool inputsListed_ = false;
    bool outputsListed_ = false;
};
