// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where an RtMidi object reports, instead of printing or throwing, and what
// its reports mean for the operation that raised them.
//
// Threading: RtMidi may report from its own threads, hence the atomics; the
// operation that reads the outcome runs on the thread that cleared the log.

#include "platform/midi/messages/midi_types.h"

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <string>

class RtErrorLog {
public:
    // Forgets what was reported before an operation.
    void clear() noexcept;

    // Whether opening a port failed: an error other than a warning was
    // reported since clear(). A warning while opening (a port already open,
    // say) leaves the port usable.
    bool openFailed() const noexcept;

    // The result of a send: RtMidi's ALSA output gives up on a message with a
    // mere warning (an event it cannot encode, a sequencer that refuses it),
    // so anything but a debugging note means the message did not leave, as
    // when the device is busy. MMSYSERR_NOERROR otherwise.
    MMRESULT sendResult() const noexcept;

    // RtMidi's error callback; `log` is the RtErrorLog.
    static void report(RtMidiError::Type type, const std::string& text, void* log);

private:
    std::atomic<bool> warned_{false}; // a warning was reported
    std::atomic<bool> failed_{false}; // an error other than a warning was reported
};
