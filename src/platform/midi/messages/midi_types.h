// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The plain types and codes that the MIDI services, their backends and their
// clients share: handles, result codes, callback messages, the long-message
// header and the capabilities records. Nothing here runs: no threads meet.

#include <cstddef>
#include <cstdint>

using MMRESULT = std::uint32_t;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using DWORD_PTR = std::uintptr_t;
// Device handles: 0 means none. A handle is never reused while the program runs.
using HMIDIIN = std::int32_t;
using HMIDIOUT = std::int32_t;

// Result codes.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOMAP = 66;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;
constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
constexpr MMRESULT MIDIERR_BADOPENMODE = 70;
constexpr MMRESULT MIDIERR_DONT_CONTINUE = 71;

// Callback messages.
constexpr UINT MIM_OPEN = 961;
constexpr UINT MIM_CLOSE = 962;
constexpr UINT MIM_DATA = 963;
constexpr UINT MIM_LONGDATA = 964;
constexpr UINT MIM_ERROR = 965;
constexpr UINT MIM_LONGERROR = 966;
constexpr UINT MOM_OPEN = 967;
constexpr UINT MOM_CLOSE = 968;
constexpr UINT MOM_DONE = 969;
constexpr UINT MIM_MOREDATA = 972;
// Our own messages: routed messages lost after they were handed over; an
// open device's port gone (unplugged, or its server stopped), on the main
// thread.
constexpr UINT MIM_THRULOST = 973;
constexpr UINT MIM_DEVICELOST = 974;
constexpr UINT MOM_DEVICELOST = 975;

constexpr DWORD CALLBACK_FUNCTION = 0x30000;
constexpr UINT MIDI_MAPPER = 0xFFFFFFFF;
// Ours: the program's own port in a graph of ports (JACK), open whatever is
// connected to it; the devices are then its connections (midi*Graph*).
constexpr UINT MIDI_GRAPHPORT = 0xFFFFFFFE;

// MIDIHDR.dwFlags
constexpr DWORD MHDR_DONE = 0x1;
constexpr DWORD MHDR_PREPARED = 0x2;
constexpr DWORD MHDR_INQUEUE = 0x4;

// MIDIOUTCAPSW.wTechnology
constexpr WORD MOD_MIDIPORT = 1;
constexpr WORD MOD_SYNTH = 2;
constexpr WORD MOD_SQSYNTH = 3;
constexpr WORD MOD_FMSYNTH = 4;
constexpr WORD MOD_MAPPER = 5;
constexpr WORD MOD_WAVETABLE = 6;
constexpr WORD MOD_SWSYNTH = 7;

// MIDIOUTCAPSW.dwSupport
constexpr DWORD MIDICAPS_VOLUME = 0x0001;
constexpr DWORD MIDICAPS_LRVOLUME = 0x0002;
constexpr DWORD MIDICAPS_CACHE = 0x0004;
constexpr DWORD MIDICAPS_STREAM = 0x0008;

// Long enough for any port name the backends report (no cut at 32 characters):
// a full JACK port name takes up to 320 bytes.
constexpr std::size_t MAXPNAMELEN = 512;
// Size of an error text buffer, in characters.
constexpr std::size_t MAXERRORLENGTH = 128;

// Header of a long-message (system-exclusive) buffer.
struct MIDIHDR {
    char* lpData = nullptr;
    DWORD dwBufferLength = 0;
    DWORD dwBytesRecorded = 0;
    DWORD_PTR dwUser = 0;
    DWORD dwFlags = 0;
    MIDIHDR* lpNext = nullptr;
    DWORD_PTR reserved = 0;
    DWORD dwOffset = 0;
    DWORD_PTR dwReserved[8] = {};
};

struct MIDIINCAPSW {
    WORD wMid = 0;
    WORD wPid = 0;
    DWORD vDriverVersion = 0;
    char szPname[MAXPNAMELEN] = {}; // UTF-8, zero-terminated
    DWORD dwSupport = 0;
};

struct MIDIOUTCAPSW {
    WORD wMid = 0;
    WORD wPid = 0;
    DWORD vDriverVersion = 0;
    char szPname[MAXPNAMELEN] = {}; // UTF-8, zero-terminated
    WORD wTechnology = 0;
    WORD wVoices = 0;
    WORD wNotes = 0;
    WORD wChannelMask = 0;
    DWORD dwSupport = 0;
};

// The driver callback: device handle, message, instance value, two parameters.
using MidiCallbackProc = void (*)(std::intptr_t hDevice, UINT wMsg, DWORD_PTR dwInstance,
                                  DWORD_PTR dwParam1, DWORD_PTR dwParam2);
