// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/midi_error_text.h"

const char* midiErrorText(MMRESULT code) noexcept
{
    switch (code) {
    case MMSYSERR_NOERROR: return "The operation completed without error.";
    case MMSYSERR_ERROR: return "An unspecified error occurred in the MIDI services.";
    case MMSYSERR_BADDEVICEID: return "The MIDI device number is out of range.";
    case MMSYSERR_NOTENABLED: return "The MIDI driver is not enabled.";
    case MMSYSERR_ALLOCATED: return "The MIDI device is already in use.";
    case MMSYSERR_INVALHANDLE: return "The MIDI device handle is invalid.";
    case MMSYSERR_NODRIVER: return "No MIDI driver is present for the device.";
    case MMSYSERR_NOMEM: return "Not enough memory for the MIDI operation.";
    case MMSYSERR_NOTSUPPORTED: return "The MIDI device does not support this function.";
    case MMSYSERR_BADERRNUM: return "The error number is out of range.";
    case MMSYSERR_INVALFLAG: return "An invalid flag was passed to the MIDI services.";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to the MIDI services.";
    case MMSYSERR_HANDLEBUSY: return "The MIDI device handle is busy on another thread.";
    case MIDIERR_UNPREPARED: return "The MIDI buffer has not been prepared.";
    case MIDIERR_STILLPLAYING: return "MIDI buffers are still with the device.";
    case MIDIERR_NOMAP: return "No MIDI map is set up.";
    case MIDIERR_NOTREADY: return "The MIDI device is busy with other data.";
    case MIDIERR_NODEVICE: return "The MIDI device is no longer connected.";
    case MIDIERR_INVALIDSETUP: return "The MIDI setup is damaged.";
    case MIDIERR_BADOPENMODE: return "The operation is not allowed in the mode the MIDI device was opened in.";
    case MIDIERR_DONT_CONTINUE: return "The MIDI driver stopped at the callback's request.";
    default: return nullptr;
    }
}
