// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Blocks of memory that the MIDI driver callback may touch: zero-filled, at a
// fixed address until released, reachable from any thread, and released
// through a 32-bit handle. They are allocated and released on the main thread
// (tests may use other threads: the handle registry is locked), never by the
// driver callback.

#include <cstddef>
#include <cstdint>
#include <optional>

// Allocates a zero-filled block of Size bytes. On success Handle names the
// block and the result is its address; on failure (no memory, or Size 0)
// Handle is 0 and the result is null.
void* AllocSharedBlock(std::uint32_t Size, std::uint32_t& Handle);

// Releases the block named by Handle. The pointer is not looked at; a zero or
// unknown handle does nothing.
void FreeSharedBlock(std::uint32_t Handle, void* Block);

// Number of blocks currently allocated (to check that owners release theirs).
std::size_t SharedBlockCount();

// Fault injection: with a value, only that many further allocations succeed
// and every later one fails as if memory were exhausted; no value lifts it.
void SetSharedBlockAllocationBudget(std::optional<std::size_t> Budget);
