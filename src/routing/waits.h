#pragma once

#include <cstdint>

// Waits more than Milliseconds (32-bit tick arithmetic, wrapping). With
// HandleMessages, the main thread's waiting events are handled meanwhile, in
// the event loop rather than by spinning.
void DelayMs(std::uint32_t Milliseconds, bool HandleMessages);

// Waits at least Milliseconds while handling the main thread's events.
void PauseMs(std::uint32_t Milliseconds);
