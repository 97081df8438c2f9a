// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A backend whose devices are ports it knows by name (the JACK server's, the
// ALSA sequencer's): each direction's list is counted on its own, and a
// device number means a port of that list as last counted. What no MIDI
// server tells has documented fixed values in the capability records: maker
// and product 0xFFFF, driver version 1.0, an output on every channel, no
// optional features. Main thread only.

#include "platform/midi/backends/midi_backend.h"
#include "platform/midi/backends/port_order.h"

#include <optional>
#include <string>
#include <vector>

class ListedPortsBackend : public MidiBackend {
public:
    unsigned inputCount() final;
    unsigned outputCount() final;
    PortKind inputKind(unsigned device) final;
    PortKind outputKind(unsigned device) final;
    MMRESULT inputCaps(unsigned device, MIDIINCAPSW& caps) final;
    MMRESULT outputCaps(unsigned device, MIDIOUTCAPSW& caps) final;

protected:
    // The ports of one direction as they are now, in listing order; for
    // inputs, the ports we can read from.
    virtual std::vector<ListedPort> listPorts(bool inputs) = 0;
    // The port that device n stands for; null past the end of the list.
    const ListedPort* listedInput(unsigned device);
    const ListedPort* listedOutput(unsigned device);
    // The full name of our own port of a direction, when the backend has a
    // graph (device MIDI_GRAPHPORT).
    virtual std::string graphPortName(bool input)
    {
        static_cast<void>(input);
        return {};
    }

private:
    std::optional<ListedPort> graphPort(bool input);
    const std::vector<ListedPort>& current(bool inputs);
    unsigned count(bool inputs);

    std::vector<ListedPort> inputs_;
    std::vector<ListedPort> outputs_;
    bool inputsListed_ = false;
    bool outputsListed_ = false;
};
