// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_thru.h"

TMidiThru::~TMidiThru()
{
    Disconnect();
}

bool TMidiThru::Connect(TMidiInput& In, const TMidiOutput& Out)
{
    if (Connected())
        return true;
    if (In.State() != misOpen || Out.State() != mosOpen)
        return false;
    In.SetRouteMap(&FMap);
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

ThruDecision TMidiThru::Decide(const std::uint8_t* Data, std::size_t Size)
{
    return decideThru(FMap, Data, Size, FMainCarry);
}

