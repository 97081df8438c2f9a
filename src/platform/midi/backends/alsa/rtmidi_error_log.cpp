// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/alsa/rtmidi_error_log.h"

void RtErrorLog::clear() noexcept
{
    warned_.store(false, std::memory_order_relaxed);
    failed_.store(false, std::memory_order_relaxed);
}

bool RtErrorLog::openFailed() const noexcept
{
    return failed_.load(std::memory_order_relaxed);
}

MMRESULT RtErrorLog::sendResult() const noexcept
{
    const bool refused = warned_.load(std::memory_order_relaxed) || failed_.load(std::memory_order_relaxed);
    return refused ? MIDIERR_NOTREADY : MMSYSERR_NOERROR;
}

void RtErrorLog::report(RtMidiError::Type type, const std::string&, void* log)
{
    auto* self = static_cast<RtErrorLog*>(log);
    if (type == RtMidiError::WARNING)
        self->warned_.store(true, std::memory_order_relaxed);
    else if (type != RtMidiError::DEBUG_WARNING)
        self->failed_.store(true, std::memory_order_relaxed);
}
