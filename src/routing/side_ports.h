// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the input port and the output port do differently, one overload per
// port class, so that a routine serving both sides through
// TMidiRouting::WithPort is written once. Main thread only.

#include "midi/midi_input.h"
#include "midi/midi_output.h"

#include <cstdint>

// Opens the selected device, an input also starting its delivery; true when
// it is open. An input that fails raises; an output returns false.
inline bool OpenDevice(TMidiInput& Port)
{
    Port.OpenAndStart();
    return true;
}
inline bool OpenDevice(TMidiOutput& Port)
{
    return Port.Open();
}

// Closes the device, an input first stopping its delivery.
inline void CloseDevice(TMidiInput& Port)
{
    Port.StopAndClose();
}
inline void CloseDevice(TMidiOutput& Port)
{
    Port.Close();
}

inline bool IsOpen(const TMidiInput& Port)
{
    return Port.State() == misOpen;
}
inline bool IsOpen(const TMidiOutput& Port)
{
    return Port.State() == mosOpen;
}

// Whether device number Device of the port's direction belongs to another
// copy of the program.
inline bool IsOtherCopy(const TMidiInput&, std::uint32_t Device)
{
    return midiInIsOtherCopy(Device);
}
inline bool IsOtherCopy(const TMidiOutput&, std::uint32_t Device)
{
    return midiOutIsOtherCopy(Device);
}
