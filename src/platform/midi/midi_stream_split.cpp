#include "platform/midi/midi_stream_split.h"

#include "platform/midi/midi_message.h"

namespace {

constexpr std::uint8_t SysexStart = 0xF0;
constexpr std::uint8_t SysexEnd = 0xF7;

bool isStatus(std::uint8_t byte) noexcept
{
    return byte >= 0x80;
}

bool isRealTime(std::uint8_t byte) noexcept
{
    return byte >= 0xF8;
}

} // namespace

void deliverAsMessages(std::uint8_t* data, std::size_t size, MidiInputSink& sink) noexcept
{
    std::size_t begin = 0;
    while (begin < size) {
        std::uint8_t* message = data + begin;
        const bool sysex = message[0] == SysexStart;
        // 0: up to the next status byte (system exclusive, or no status at all).
        const std::size_t wanted = sysex ? 0 : shortMessageSize(message[0]);
        std::size_t kept = 1;
        std::size_t next = begin + 1;
        while (next < size && (wanted == 0 || kept < wanted)) {
            const std::uint8_t byte = data[next];
            if (isRealTime(byte)) {
                sink.onMessage(data + next, 1);
                ++next;
                continue;
            }
            const bool ends = sysex && byte == SysexEnd;
            if (isStatus(byte) && !ends)
                break;
            message[kept++] = byte;
            ++next;
            if (ends)
                break;
        }
        sink.onMessage(message, kept);
        begin = next;
    }
}
