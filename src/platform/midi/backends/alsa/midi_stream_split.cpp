// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/alsa/midi_stream_split.h"

#include "platform/midi/messages/midi_message.h"
#include "platform/midi/messages/midi_status.h"

namespace {

using midi::IsChannelStatus;
using midi::IsRealTime;
using midi::IsStatus;
using midi::SysexEnd;
using midi::SysexStart;

// Where a message's gathering stopped: its length and the next unread byte.
struct Gathered {
    std::size_t length;
    std::size_t next;
};

// Gathers into `message`, after its first `length` bytes, the data bytes that
// follow data[next], up to `wanted` bytes in all (0: up to the next status
// byte; for system exclusive, up to and with its end). Real-time bytes met on
// the way are handed over at once. `message` may be data itself, a little
// behind `next`: it is filled in place, and never overtakes what is read.
Gathered gather(const std::uint8_t* data, std::size_t size, std::size_t next, std::uint8_t* message,
                std::size_t length, std::size_t wanted, MidiInputSink& sink) noexcept
{
    const bool sysex = message[0] == SysexStart;
    while (next < size && (wanted == 0 || length < wanted)) {
        const std::uint8_t byte = data[next];
        if (IsRealTime(byte)) {
            sink.onMessage(data + next, 1);
            ++next;
            continue;
        }
        const bool ends = sysex && byte == SysexEnd;
        if (IsStatus(byte) && !ends)
            break;
        message[length++] = byte;
        ++next;
        if (ends)
            break;
    }
    return {length, next};
}

} // namespace

void deliverAsMessages(std::uint8_t* data, std::size_t size, MidiInputSink& sink) noexcept
{
    // The status byte that data bytes without one of their own take: the
    // last channel message's, until a system-exclusive or system common
    // byte cancels it. Real-time bytes leave it as it is.
    std::uint8_t runningStatus = 0;
    std::size_t begin = 0;
    while (begin < size) {
        const std::uint8_t first = data[begin];
        if (!IsStatus(first) && runningStatus != 0) {
            std::uint8_t message[3] = {runningStatus, 0, 0};
            const Gathered got = gather(data, size, begin, message, 1, shortMessageSize(runningStatus), sink);
            sink.onMessage(message, got.length);
            begin = got.next;
            continue;
        }
        if (IsChannelStatus(first))
            runningStatus = first;
        else if (IsStatus(first) && !IsRealTime(first))
            runningStatus = 0;
        // 0: up to the next status byte (system exclusive, or no status at all).
        const std::size_t wanted = first == SysexStart ? 0 : shortMessageSize(first);
        const Gathered got = gather(data, size, begin + 1, data + begin, 1, wanted, sink);
        sink.onMessage(data + begin, got.length);
        begin = got.next;
    }
}
