// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small facts about MIDI byte streams that the services and the backends share.

#include "platform/midi/messages/midi_types.h"

#include <cstddef>
#include <cstdint>

// Bytes that a short message with this status byte takes, status included:
// 3, 2 or 1; 0 when the byte cannot start a short message (a data byte, or
// the system-exclusive bytes 0xF0 and 0xF7, which only long messages carry).
std::size_t shortMessageSize(std::uint8_t status) noexcept;

// Packs up to three bytes as a short message travels: first byte in bits 0-7,
// then 8-15, then 16-23.
DWORD packShortMessage(const std::uint8_t* data, std::size_t size) noexcept;
