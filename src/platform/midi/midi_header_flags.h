// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// MIDIHDR.dwFlags is the one header field that the main thread may read while
// the driver thread owns the header (to refuse unpreparing a lent buffer), so
// every access from the services goes through an atomic reference.

#include "platform/midi/messages/midi_types.h"

#include <atomic>

// Reads the flags; acquire pairs with the release of storeHeaderFlags.
inline DWORD loadHeaderFlags(MIDIHDR& header) noexcept
{
    return std::atomic_ref<DWORD>(header.dwFlags).load(std::memory_order_acquire);
}

// Whether a header with these flags may go to the driver: prepared, not with
// it already, and holding a buffer.
inline MMRESULT checkHeaderToLend(const MIDIHDR& header, DWORD flags) noexcept
{
    if (!(flags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (flags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    if (!header.lpData || header.dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

// Writes the flags after the header's other fields (release).
inline void storeHeaderFlags(MIDIHDR& header, DWORD flags) noexcept
{
    std::atomic_ref<DWORD>(header.dwFlags).store(flags, std::memory_order_release);
}
