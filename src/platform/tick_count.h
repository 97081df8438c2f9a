// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Milliseconds of a steady clock, 32 bits, wrapping about every 49.7 days.
// Only differences computed modulo 2^32 are meaningful.
std::uint32_t GetTickCount() noexcept;

// Where GetTickCount reads its milliseconds. Tests set a clock of their own
// (one about to wrap, say); nullptr restores the steady clock.
using TickSource = std::uint32_t (*)() noexcept;
void SetTickSource(TickSource source) noexcept;
