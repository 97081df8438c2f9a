// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The MIDI 1.0 status bytes and masks that the program reads and writes, by
// name. Every layer that looks at a message's bytes takes them from here.

#include <cstdint>

namespace midi {

// The top bit marks a status byte; data bytes are 0x00-0x7F.
constexpr std::uint8_t StatusBit = 0x80;
constexpr std::uint8_t DataMask = 0x7F;
// A channel message's kind sits in the high nibble, its channel in the low one.
constexpr std::uint8_t KindMask = 0xF0;
constexpr std::uint8_t ChannelMask = 0x0F;

// Channel messages (kind, channel 0).
constexpr std::uint8_t NoteOff = 0x80;
constexpr std::uint8_t NoteOn = 0x90;
constexpr std::uint8_t PolyPressure = 0xA0;
constexpr std::uint8_t ControlChange = 0xB0;
constexpr std::uint8_t ProgramChange = 0xC0;
constexpr std::uint8_t ChannelPressure = 0xD0;
constexpr std::uint8_t PitchBend = 0xE0;

// System common messages; every status from SysexStart on is a system one.
constexpr std::uint8_t SysexStart = 0xF0;
constexpr std::uint8_t TimeCodeQuarterFrame = 0xF1;
constexpr std::uint8_t SongPosition = 0xF2;
constexpr std::uint8_t SongSelect = 0xF3;
constexpr std::uint8_t SysexEnd = 0xF7;

// System real-time messages: one byte each, allowed anywhere, also inside
// a system-exclusive message.
constexpr std::uint8_t FirstRealTime = 0xF8;
constexpr std::uint8_t TimingClock = 0xF8;
constexpr std::uint8_t ActiveSensing = 0xFE;

// Controller 123, All Notes Off.
constexpr std::uint8_t AllNotesOffController = 123;

constexpr bool IsStatus(std::uint8_t byte) noexcept { return (byte & StatusBit) != 0; }
constexpr bool IsRealTime(std::uint8_t byte) noexcept { return byte >= FirstRealTime; }
// A channel message's status: 0x80-0xEF.
constexpr bool IsChannelStatus(std::uint8_t byte) noexcept { return IsStatus(byte) && byte < SysexStart; }
constexpr std::uint8_t KindOf(std::uint8_t status) noexcept { return status & KindMask; }

} // namespace midi
