#pragma once

// What the services learn of a port that a backend knows only by its name:
// the capability records, with documented fixed values for what no MIDI
// server tells (maker and product 0xFFFF, driver version 1.0, an output on
// every channel, no optional features), and its kind for the listing order.

#include "platform/midi/midi_services.h"
#include "platform/midi/port_order.h"

#include <vector>

// MMSYSERR_BADDEVICEID for a number past the list.
MMRESULT listedInputCaps(const std::vector<ListedPort>& ports, unsigned device, MIDIINCAPSW& caps);
MMRESULT listedOutputCaps(const std::vector<ListedPort>& ports, unsigned device, MIDIOUTCAPSW& caps);

// A program's port for a number past the list.
PortKind listedKind(const std::vector<ListedPort>& ports, unsigned device);
