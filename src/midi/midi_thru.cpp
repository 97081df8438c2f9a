// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_thru.h"

TMidiThru::~TMidiThru()
{
    Disconnect();
}

bool TMidiThru::Connect(const TMidiInput& In, const TMidiOutput& Out)
{
    if (Connected())
        return true;
    if (In.State() != misOpen || Out.State() != mosOpen)
        return false;
    const TMidiMsgFilter filter = In.FilteredMessages();
    FMap.dropActiveSensing.store(filter.contains(msgActiveSensing), std::memory_order_relaxed);
    FMap.dropTimingClock.store(filter.contains(msgMidiTimeCode), std::memory_order_relaxed);
    FMap.sysexOnly.store(In.SysexOnly(), std::memory_order_relaxed);
    if (midiConnect(In.MIDIHandle(), Out.MIDIHandle(), &FMap) != MMSYSERR_NOERROR)
        return false;
    FIn = In.MIDIHandle();
    FOut = Out.MIDIHandle();
    return true;
}

void TMidiThru::Disconnect()
{
    if (!Connected())
        return;
    midiDisconnect(FIn, FOut);
    FIn = 0;
    FOut = 0;
}

void TMidiThru::PublishTable(const std::array<std::uint8_t, 128>& Table)
{
    publishThruTable(FMap, Table);
}

void TMidiThru::SetHeld(bool Held)
{
    FMap.held.store(Held, std::memory_order_relaxed);
}

void TMidiThru::SetNotesOnly(bool NotesOnly)
{
    FMap.notesOnly.store(NotesOnly, std::memory_order_relaxed);
}
