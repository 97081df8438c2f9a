// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One MIDI message as the application receives or sends it.

#include "platform/midi/messages/thru_map.h"

#include <cstdint>
#include <memory>

class TMyMidiEvent {
public:
    std::uint8_t MidiMessage = 0;           // status byte; 0xF0 for system exclusive
    std::uint8_t Data1 = 0;                 // first data byte; 0 for system exclusive
    std::uint8_t Data2 = 0;                 // second data byte; 0 for system exclusive
    std::uint32_t Time = 0;                 // the driver's time stamp
    std::uint16_t SysexLength = 0;          // number of bytes at Sysex
    std::unique_ptr<std::uint8_t[]> Sysex;  // owned copy of system-exclusive bytes; null for a short message
    ThruOutcome Thru = ThruNone;            // what the thru route did with an incoming message
};
