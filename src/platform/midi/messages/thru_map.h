// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a thru route does to the messages it forwards, and the outcome it
// reports for each of them.
//
// Threading contract: the main thread writes a ThruMap at any time, one
// field at a time, without locks; the thread that receives MIDI reads it for
// every message. Each message reads each field once, so a message sees
// either the old or the new value of an entry, never a torn one. Nothing
// here allocates, locks or blocks.

#include "platform/midi/messages/midi_types.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

struct ThruMap {
    ThruMap() noexcept;

    // Incoming second data byte -> outgoing one.
    std::array<std::atomic<std::uint8_t>, 128> table;
    // While set, nothing leaves: the window is being closed.
    std::atomic<bool> held{false};
    // Single-byte messages the route drops, as the input's filter does.
    std::atomic<bool> dropActiveSensing{false};
    std::atomic<bool> dropTimingClock{false};
    // Drops every short message; system exclusive still passes.
    std::atomic<bool> sysexOnly{false};
    // Maps note messages only (Note Off, Note On, key pressure); every other
    // message leaves unchanged.
    std::atomic<bool> notesOnly{false};

    // What the route has seen, counted by the thread that receives; any
    // thread reads them.
    mutable std::atomic<std::uint64_t> received{0}; // every message that arrived
    mutable std::atomic<std::uint64_t> sent{0};     // sent on the output
    mutable std::atomic<std::uint64_t> lost{0};     // refused by the output, or no room for it
};

// Copies a transfer table into the map, entry by entry.
void publishThruTable(ThruMap& map, const std::array<std::uint8_t, 128>& table) noexcept;

// Whether the second data byte of a three-byte message with this status
// byte goes through the table: for every kind, or note messages only.
bool thruMapsSecondDataByte(const ThruMap& map, std::uint8_t status) noexcept;

// The second data byte that a three-byte message with this status byte
// leaves with. A played note is never silenced: a Note On whose velocity is
// above 0 leaves with at least 1, whatever the table says, since a velocity
// of 0 would make it a Note Off.
std::uint8_t thruSecondDataByte(const ThruMap& map, std::uint8_t status, std::uint8_t data2) noexcept;

// What a thru route did with one incoming message (a ThruOutcome). The
// services hand it to the input's callback with the message: in bits 24-31
// of a MIM_DATA message, in the header of a MIM_LONGDATA buffer.
using ThruOutcome = std::uint8_t;
constexpr ThruOutcome ThruNone = 0;      // no route: the message is the client's to send
constexpr ThruOutcome ThruSent = 1;      // sent on the route's output
constexpr ThruOutcome ThruHeld = 2;      // not sent: the map held it
constexpr ThruOutcome ThruDropped = 3;   // not sent: the map's filter, or the message's form, ruled it out
constexpr ThruOutcome ThruLost = 4;      // not sent: no room left to queue it for the output
constexpr ThruOutcome ThruFailedBit = 0x80; // not sent: the output refused it; bits 0-6 hold the result code

// What the thru route did with an incoming message: from a MIM_DATA
// message's first parameter, or from a MIM_LONGDATA buffer.
constexpr ThruOutcome thruOutcomeOf(DWORD_PTR shortMessageParam) noexcept
{
    return static_cast<std::uint8_t>(shortMessageParam >> 24);
}
inline ThruOutcome thruOutcomeOf(const MIDIHDR& header) noexcept
{
    return static_cast<std::uint8_t>(header.dwReserved[0]);
}

// Counts one message that the route dealt with, by its outcome.
void countThruOutcome(const ThruMap& map, ThruOutcome outcome) noexcept;

// Outcome for a send that the output refused with `code` (never 0).
constexpr ThruOutcome thruFailed(std::uint32_t code) noexcept
{
    return static_cast<ThruOutcome>(ThruFailedBit | (code & 0x7F));
}

// What a route carries from one event of a stream to the next: whether a
// system-exclusive message still waits for its end, so that the data bytes
// that continue it pass and stray data bytes do not. A stream of whole
// messages starts every message afresh.
struct ThruCarry {
    bool inLong = false;
};

// What leaves for one incoming event, and why.
struct ThruDecision {
    // ThruSent when bytes() leaves (the caller turns it into ThruLost or a
    // failure when the output refuses it); ThruHeld or ThruDropped otherwise.
    ThruOutcome outcome = ThruDropped;
    std::size_t size = 0;
    // What leaves: a short message as mapped, or the incoming bytes themselves.
    const std::uint8_t* bytes() const noexcept { return isShort ? shortMessage.data() : incoming; }

    // Where bytes() points, set by decideThru.
    const std::uint8_t* incoming = nullptr;
    std::array<std::uint8_t, 3> shortMessage{};
    bool isShort = false;
};

// The rule of every thru route, on every path a message takes: the form of
// the event (a whole short message, or a piece of a system-exclusive one:
// data bytes outside one and short messages of the wrong length are
// dropped), then the filter (active sensing, the timing clock, short
// messages while only system exclusive passes), then the hold, then the
// map, which replaces the second data byte of a three-byte short message.
// A real-time byte may come between the pieces of a long message. Updates
// `carry`.
ThruDecision decideThru(const ThruMap& map, const std::uint8_t* data, std::size_t size, ThruCarry& carry) noexcept;

