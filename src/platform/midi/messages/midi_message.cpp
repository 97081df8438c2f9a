// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/messages/midi_message.h"

std::size_t shortMessageSize(std::uint8_t status) noexcept
{
    if (status < 0x80)
        return 0;
    if (status < 0xF0) {
        // Program change and channel pressure carry one data byte.
        const std::uint8_t kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    }
    switch (status) {
    case 0xF0: // start and end of system exclusive: long messages only
    case 0xF7:
        return 0;
    case 0xF1: // time-code quarter frame
    case 0xF3: // song select
        return 2;
    case 0xF2: // song position
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
