// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <exception>

// Waits more than Milliseconds (32-bit tick arithmetic, wrapping). With
// HandleMessages, the main thread's waiting events are handled meanwhile, in
// the event loop rather than by spinning; an error handed over by
// PassErrorToDelay ends the wait at once and comes out of it.
void DelayMs(std::uint32_t Milliseconds, bool HandleMessages);

// For a handler that may run nested inside a DelayMs: hands the error it
// raised to the innermost DelayMs that handles events, which ends and raises
// it in place of the handler (the first error, when several come). False when
// no such wait is running: the error is then the caller's to raise.
bool PassErrorToDelay(std::exception_ptr error) noexcept;

// Waits at least Milliseconds while handling the main thread's events.
void PauseMs(std::uint32_t Milliseconds);
