// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/thru_map.h"

#include "platform/midi/midi_message.h"

ThruMap::ThruMap() noexcept
{
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i].store(static_cast<std::uint8_t>(i), std::memory_order_relaxed);
}

void publishThruTable(ThruMap& map, const std::array<std::uint8_t, 128>& table) noexcept
{
    for (std::size_t i = 0; i < table.size(); ++i)
        map.table[i].store(table[i] & 0x7F, std::memory_order_relaxed);
}

bool thruPasses(const ThruMap& map, const std::uint8_t* data, std::size_t size) noexcept
{
    if (size == 0)
        return false;
    const std::uint8_t status = data[0];
    // A long message, or a piece of one that carries no status byte.
    if (status == 0xF0 || status < 0x80)
        return true;
    if (map.sysexOnly.load(std::memory_order_relaxed))
        return false;
    if (size == 1 && status == 0xFE)
        return !map.dropActiveSensing.load(std::memory_order_relaxed);
    if (size == 1 && status == 0xF8)
        return !map.dropTimingClock.load(std::memory_order_relaxed);
    return true;
}

bool thruMapsSecondDataByte(const ThruMap& map, std::uint8_t status) noexcept
{
    if (!map.notesOnly.load(std::memory_order_relaxed))
        return true;
    const std::uint8_t kind = status & 0xF0;
    return kind == 0x80 || kind == 0x90 || kind == 0xA0;
}

std::uint8_t thruSecondDataByte(const ThruMap& map, std::uint8_t status, std::uint8_t data2) noexcept
{
    if (!thruMapsSecondDataByte(map, status))
        return data2;
    const std::uint8_t mapped = map.table[data2 & 0x7F].load(std::memory_order_relaxed);
    const bool noteOn = (status & 0xF0) == 0x90;
    return noteOn && data2 > 0 && mapped == 0 ? 1 : mapped;
}

ThruEventKind classifyThruEvent(const std::uint8_t* data, std::size_t size, bool& inLong) noexcept
{
    if (size == 0)
        return ThruEventKind::Refused;
    const std::uint8_t status = data[0];
    const bool ends = data[size - 1] == 0xF7;
    if (status == 0xF0) {
        inLong = !ends;
        return ThruEventKind::LongPiece;
    }
    if (status < 0x80 || status == 0xF7) {
        if (!inLong)
            return ThruEventKind::Refused;
        inLong = !ends;
        return ThruEventKind::LongPiece;
    }
    // A real-time byte may come between the pieces of a long message.
    if (status >= 0xF8)
        return size == 1 ? ThruEventKind::Short : ThruEventKind::Refused;
    inLong = false;
    return size == shortMessageSize(status) ? ThruEventKind::Short : ThruEventKind::Refused;
}

void countThruOutcome(const ThruMap& map, ThruOutcome outcome) noexcept
{
    map.received.fetch_add(1, std::memory_order_relaxed);
    if (outcome == ThruSent)
        map.sent.fetch_add(1, std::memory_order_relaxed);
    else if (outcome == ThruLost || (outcome & ThruFailedBit))
        map.lost.fetch_add(1, std::memory_order_relaxed);
}
