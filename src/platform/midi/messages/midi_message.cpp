// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/messages/midi_message.h"

#include "platform/midi/messages/midi_status.h"

std::size_t shortMessageSize(std::uint8_t status) noexcept
{
    if (!midi::IsStatus(status))
        return 0;
    if (midi::IsChannelStatus(status)) {
        // Program change and channel pressure carry one data byte.
        const std::uint8_t kind = midi::KindOf(status);
        return kind == midi::ProgramChange || kind == midi::ChannelPressure ? 2 : 3;
    }
    switch (status) {
    case midi::SysexStart: // long messages only
    case midi::SysexEnd:
        return 0;
    case midi::TimeCodeQuarterFrame:
    case midi::SongSelect:
        return 2;
    case midi::SongPosition:
        return 3;
    default:
        return 1;
    }
}

DWORD packShortMessage(const std::uint8_t* data, std::size_t size) noexcept
{
    DWORD packed = 0;
    for (std::size_t i = 0; i < size && i < 3; ++i)
        packed |= static_cast<DWORD>(data[i]) << (8 * i);
    return packed;
}
