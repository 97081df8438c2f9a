// SPDX-License-Identifier: GPL-3.0-or-later
// What RtMidi's reports mean for the operation that raised them: a send that
// RtMidi's ALSA output only warns about did not leave.
#include "platform/midi/backends/alsa/rtmidi_error_log.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

TEST(RtErrorLog, ReportsDecideTheOutcomeOfASendAndOfAnOpening)
{
    const struct {
        const char* name;
        std::initializer_list<RtMidiError::Type> reports;
        MMRESULT send;
        bool openFailed;
    } cases[] = {
        {"nothing", {}, MMSYSERR_NOERROR, false},
        {"a debugging note", {RtMidiError::DEBUG_WARNING}, MMSYSERR_NOERROR, false},
        {"a warning", {RtMidiError::WARNING}, MIDIERR_NOTREADY, false},
        {"a driver error", {RtMidiError::DRIVER_ERROR}, MIDIERR_NOTREADY, true},
        {"an invalid use", {RtMidiError::INVALID_USE}, MIDIERR_NOTREADY, true},
        {"a warning, then a debugging note", {RtMidiError::WARNING, RtMidiError::DEBUG_WARNING}, MIDIERR_NOTREADY,
         false},
        {"an error, then a warning", {RtMidiError::SYSTEM_ERROR, RtMidiError::WARNING}, MIDIERR_NOTREADY, true},
    };
    RtErrorLog log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RtErrorLog::report(RtMidiError::DRIVER_ERROR, "before", &log);
        log.clear();
        for (const RtMidiError::Type type : c.reports)
            RtErrorLog::report(type, "MidiOutAlsa::sendMessage: error sending MIDI message to port.", &log);
        EXPECT_EQ(log.sendResult(), c.send);
        EXPECT_EQ(log.openFailed(), c.openFailed);
    }
}

} // namespace
