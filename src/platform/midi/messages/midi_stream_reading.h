// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reads what a backend received as one event the way a MIDI 1.0 receiver
// reads a byte stream, and hands each message in it on by itself.
//
// Some clients and drivers put several messages in one event: running status
// ("90 3C 64 3E 50" is two notes), a timing clock inside a note, notes after
// a system-exclusive piece that never got its end. Forwarded as one event,
// those messages would be dropped as malformed, or travel inside another.
//
// The rule:
//   * a system-exclusive message runs from 0xF0 to 0xF7; any other status
//     byte but a real-time one ends it early, cut short;
//   * a short message takes its status byte and the data bytes it calls for,
//     fewer when a status byte comes first;
//   * data bytes without a status byte of their own take the last channel
//     message's (running status). A system-exclusive or system common status
//     byte cancels it, a real-time byte does not. The backends hand over
//     whole events, so it lasts within one call: each starts without;
//   * data bytes with no running status to take (at the start, or after a
//     system common message or a stray 0xF7) go together as one message,
//     for the receiver to refuse;
//   * a real-time byte (0xF8 to 0xFF) is a message of its own, also inside
//     another message, handed on at once.
//
// A real-time byte inside a system-exclusive message (or inside stray data
// bytes) is taken out in one of two ways, chosen by `compacted`:
//   * `compacted` is `data` itself: the message's other bytes are moved
//     together in place, so `data` changes, and the message is handed on
//     whole after the real-time bytes;
//   * `compacted` is null: `data` is only read (JACK hands its readers the
//     writer's own buffer), and the message is handed on in pieces around
//     the real-time bytes, in arrival order, as JACK carries long messages.
//
// `deliver(const std::uint8_t* bytes, std::size_t size)` is called once per
// message or piece, in order. Nothing here allocates or blocks, so that a
// driver's thread and JACK's process callback may read with it.

#include "platform/midi/messages/midi_message.h"
#include "platform/midi/messages/midi_status.h"

#include <cstddef>
#include <cstdint>

namespace midi_stream_detail {

// Hands on the message that starts at data[begin] and runs up to the next
// status byte (system exclusive: up to and with its end); returns the index
// of the next unread byte.
template <class Deliver>
std::size_t readUnbounded(const std::uint8_t* data, std::size_t size, std::size_t begin, std::uint8_t* compacted,
                          Deliver& deliver) noexcept
{
    const bool sysex = data[begin] == midi::SysexStart;
    std::size_t length = 1;          // compacted: bytes gathered at compacted + begin
    std::size_t pieceBegin = begin;  // in pieces: where the piece being read begins
    std::size_t next = begin + 1;
    bool ended = false;
    while (next < size && !ended) {
        const std::uint8_t byte = data[next];
        if (midi::IsRealTime(byte)) {
            if (!compacted && next > pieceBegin)
                deliver(data + pieceBegin, next - pieceBegin);
            deliver(data + next, std::size_t{1});
            pieceBegin = ++next;
            continue;
        }
        ended = sysex && byte == midi::SysexEnd;
        if (midi::IsStatus(byte) && !ended)
            break;
        if (compacted)
            compacted[begin + length] = byte;
        ++length;
        ++next;
    }
    if (compacted)
        deliver(compacted + begin, length);
    else if (next > pieceBegin)
        deliver(data + pieceBegin, next - pieceBegin);
    return next;
}

} // namespace midi_stream_detail

template <class Deliver>
void readAsMessages(const std::uint8_t* data, std::size_t size, std::uint8_t* compacted, Deliver&& deliver) noexcept
{
    std::uint8_t runningStatus = 0;
    std::size_t next = 0;
    while (next < size) {
        const std::uint8_t first = data[next];
        std::uint8_t message[3] = {first, 0, 0};
        if (!midi::IsStatus(first) && runningStatus != 0) {
            message[0] = runningStatus;
        } else {
            if (midi::IsChannelStatus(first))
                runningStatus = first;
            else if (midi::IsStatus(first) && !midi::IsRealTime(first))
                runningStatus = 0;
            // System exclusive, a stray end of it, or data bytes alone.
            if (shortMessageSize(first) == 0) {
                next = midi_stream_detail::readUnbounded(data, size, next, compacted, deliver);
                continue;
            }
            ++next;
        }
        // A short message, gathered aside: at most three bytes.
        const std::size_t wanted = shortMessageSize(message[0]);
        std::size_t length = 1;
        while (next < size && length < wanted) {
            const std::uint8_t byte = data[next];
            if (midi::IsRealTime(byte)) {
                deliver(data + next, std::size_t{1});
                ++next;
                continue;
            }
            if (midi::IsStatus(byte))
                break;
            message[length++] = byte;
            ++next;
        }
        deliver(static_cast<const std::uint8_t*>(message), length);
    }
}
