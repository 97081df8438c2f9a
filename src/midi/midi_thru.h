// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The thru route from an input port to an output port: while it is
// connected, the MIDI services forward every message from the input's device
// to the output's device on the thread that receives it, mapped through the
// table and flags published here.
//
// Threading contract: every member runs on the main thread. The receiving
// thread reads only the map, entry by entry, without locks: a new table or
// flag is in force from the next message on. Disconnect returns once the
// route no longer runs.
//
// The input's filter is the route's: from the first Connect on, the input
// writes every change of it into the map, so that the route, the window and
// Decide drop the same messages.

#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "platform/midi/messages/thru_map.h"

#include <array>
#include <cstdint>

class TMidiThru {
public:
    TMidiThru() = default;
    // Disconnects first: the map must outlive the route.
    ~TMidiThru();
    TMidiThru(const TMidiThru&) = delete;
    TMidiThru& operator=(const TMidiThru&) = delete;

    // Connects the two ports' devices when both are open; true once connected.
    // The route drops what the input's filter drops, now and after any change
    // of it: the input keeps the map's filter in step with its own.
    bool Connect(TMidiInput& In, const TMidiOutput& Out);
    // Ends the route; nothing when none is connected.
    void Disconnect();
    // Whether the route is connected.
    bool Connected() const { return FIn != 0; }

    // The table through which second data bytes leave.
    void PublishTable(const std::array<std::uint8_t, 128>& Table);
    // While held, the route sends nothing.
    void SetHeld(bool Held);
    // Maps note messages only; every other message leaves unchanged.
    void SetNotesOnly(bool NotesOnly);
    bool NotesOnly() const { return FMap.notesOnly.load(std::memory_order_relaxed); }
    bool Held() const { return FMap.held.load(std::memory_order_relaxed); }
    // The map as the route reads it.
    const ThruMap& Map() const { return FMap; }
    // The route's rule for a message that no route has seen, on the main
    // thread: what leaves, and whether it does. Keeps its own carry, since
    // the main thread takes its messages in order too.
    ThruDecision Decide(const std::uint8_t* Data, std::size_t Size);

private:
    ThruMap FMap;
    ThruCarry FMainCarry;
    HMIDIIN FIn = 0;
    HMIDIOUT FOut = 0;
};
