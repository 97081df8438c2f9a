// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reads what a backend received as one message the way a MIDI 1.0 receiver
// reads a byte stream, and hands each message in it to the sink on its own.
//
// RtMidi puts together a system-exclusive message that arrives in pieces (as
// JACK sends long ones) by adding every following event to it until one ends
// with 0xF7. A timing clock sent between two pieces, or the notes after a
// piece that never got its end, would then travel inside the system-exclusive
// bytes: the clock and the notes lost, the message spoilt. Here they come out
// again, in the order in which they arrived.

#include "platform/midi/backends/midi_backend.h"

#include <cstddef>
#include <cstdint>

// Hands the messages in `data` to `sink`, in order:
//   * a system-exclusive message runs from 0xF0 to 0xF7; any other status
//     byte but a real-time one ends it early, cut short;
//   * a short message takes its status byte and the data bytes it calls for,
//     fewer when a status byte comes first;
//   * data bytes without a status byte of their own take the last channel
//     message's (running status): "90 3C 64 3E 50" is two notes. A
//     system-exclusive or system common status byte cancels it, a real-time
//     byte does not. The backends hand over whole events, so it lasts within
//     one call: each starts without;
//   * data bytes with no running status to take (at the start, or after a
//     system common message or a stray 0xF7) go together as one message,
//     for the sink to refuse;
//   * a real-time byte (0xF8 to 0xFF) is a message of its own, also inside
//     another message: it is handed over at once and moved out of that
//     message's bytes, in place, so `data` changes.
// Driver thread: allocates nothing and never blocks.
void deliverAsMessages(std::uint8_t* data, std::size_t size, MidiInputSink& sink) noexcept;
