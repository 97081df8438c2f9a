// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/messages/thru_map.h"

#include "platform/midi/messages/midi_message.h"
#include "platform/midi/messages/midi_status.h"

ThruMap::ThruMap() noexcept
{
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i].store(static_cast<std::uint8_t>(i), std::memory_order_relaxed);
}

namespace {

// How a thru route takes one event of a stream in which every event is one
// whole message or one piece of a long one (as JACK carries them).
enum class EventKind {
    Short,     // a short message whole: its second data byte is mapped
    LongPiece, // a system-exclusive message, or a piece of one: it leaves as it came
    Refused,   // data bytes outside a long message, a short message of the wrong length
};

EventKind classifyEvent(const std::uint8_t* data, std::size_t size, bool& inLong) noexcept
{
    if (size == 0)
        return EventKind::Refused;
    const std::uint8_t status = data[0];
    const bool ends = data[size - 1] == midi::SysexEnd;
    if (status == midi::SysexStart) {
        inLong = !ends;
        return EventKind::LongPiece;
    }
    if (!midi::IsStatus(status) || status == midi::SysexEnd) {
        if (!inLong)
            return EventKind::Refused;
        inLong = !ends;
        return EventKind::LongPiece;
    }
    // A real-time byte may come between the pieces of a long message.
    if (midi::IsRealTime(status))
        return size == 1 ? EventKind::Short : EventKind::Refused;
    inLong = false;
    return size == shortMessageSize(status) ? EventKind::Short : EventKind::Refused;
}

// Whether the input's filter lets a whole short message through.
bool filterPasses(const ThruMap& map, const std::uint8_t* data, std::size_t size) noexcept
{
    const std::uint8_t status = data[0];
    if (map.sysexOnly.load(std::memory_order_relaxed))
        return false;
    if (size == 1 && status == midi::ActiveSensing)
        return !map.dropActiveSensing.load(std::memory_order_relaxed);
    if (size == 1 && status == midi::TimingClock)
        return !map.dropTimingClock.load(std::memory_order_relaxed);
    return true;
}

} // namespace

void publishThruTable(ThruMap& map, const std::array<std::uint8_t, 128>& table) noexcept
{
    for (std::size_t i = 0; i < table.size(); ++i)
        map.table[i].store(table[i] & midi::DataMask, std::memory_order_relaxed);
}

bool thruMapsSecondDataByte(const ThruMap& map, std::uint8_t status) noexcept
{
    if (!map.notesOnly.load(std::memory_order_relaxed))
        return true;
    const std::uint8_t kind = midi::KindOf(status);
    return kind == midi::NoteOff || kind == midi::NoteOn || kind == midi::PolyPressure;
}

std::uint8_t thruSecondDataByte(const ThruMap& map, std::uint8_t status, std::uint8_t data2) noexcept
{
    if (!thruMapsSecondDataByte(map, status))
        return data2;
    const std::uint8_t mapped = map.table[data2 & midi::DataMask].load(std::memory_order_relaxed);
    const bool noteOn = midi::KindOf(status) == midi::NoteOn;
    return noteOn && data2 > 0 && mapped == 0 ? 1 : mapped;
}

void countThruOutcome(const ThruMap& map, ThruOutcome outcome) noexcept
{
    map.received.fetch_add(1, std::memory_order_relaxed);
    if (outcome == ThruSent)
        map.sent.fetch_add(1, std::memory_order_relaxed);
    else if (outcome == ThruLost || (outcome & ThruFailedBit))
        map.lost.fetch_add(1, std::memory_order_relaxed);
}

ThruDecision decideThru(const ThruMap& map, const std::uint8_t* data, std::size_t size, ThruCarry& carry) noexcept
{
    ThruDecision decision;
    decision.incoming = data;
    decision.size = size;
    const EventKind kind = classifyEvent(data, size, carry.inLong);
    if (kind == EventKind::Refused || (kind == EventKind::Short && !filterPasses(map, data, size)))
        return decision;
    if (map.held.load(std::memory_order_relaxed)) {
        decision.outcome = ThruHeld;
        return decision;
    }
    decision.outcome = ThruSent;
    if (kind == EventKind::Short) {
        decision.isShort = true;
        for (std::size_t i = 0; i < size; ++i)
            decision.shortMessage[i] = data[i];
        if (size == 3)
            decision.shortMessage[2] = thruSecondDataByte(map, data[0], data[2]);
    }
    return decision;
}

