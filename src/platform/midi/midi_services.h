// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Our MIDI services, in place of the platform's multimedia MIDI API.
//
// Threading contract
// ------------------
// Every function below is called on the main thread only. The callback given
// to midiInOpen / midiOutOpen is called:
//   * for input, on the driver's thread (RtMidi's input thread; for JACK the
//     real-time process thread) with MIM_DATA / MIM_LONGDATA / MIM_LONGERROR,
//     and MIM_THRULOST from whichever thread found a routed message lost;
//   * for input buffers handed back by midiInReset, on the calling (main)
//     thread before midiInReset returns, with MIM_LONGDATA;
//   * for output, with MOM_DONE once a long message has been sent: on the
//     main thread before midiOutLongMsg returns, unless a thru route's thread
//     was sending to the device at that moment and sent it afterwards;
//   * with MIM_OPEN / MOM_OPEN and MIM_CLOSE / MOM_CLOSE on the main thread,
//     inside the open and close calls;
//   * with MIM_DEVICELOST / MOM_DEVICELOST on the main thread, when the open
//     device's port has gone.
// The callback may only read the record given as its instance value, push to
// a lock-free queue and post a notification: it must not allocate, lock,
// block or call back into these functions. No callback for a device comes
// after midiInClose / midiOutClose has returned.
//
// midiInStop, midiInReset and midiInClose return only once no input callback
// is running; nothing is delivered outside midiInStart ... midiInStop.
//
// Device numbering: device n is the n-th port of the current list of the
// active backend; midi*GetNumDevs refreshes that direction's list,
// capabilities and open use it as last counted. Names are UTF-8 and never cut short, so two
// different ports never share a name because of truncation.
//
// Thru routes
// -----------
// midiConnect sets a thru route from an open input to an open output: from
// then on every message that the input receives while started leaves on the
// output at once, on the thread that receives it (the driver's thread, or
// JACK's process callback, which then writes it in the same cycle at the same
// frame), mapped through a ThruMap that the main thread keeps publishing
// without locks. The input's callback still gets every message, with what
// the route did with it: bits 24-31 of a MIM_DATA message's first parameter,
// or thruOutcomeOf() of a MIM_LONGDATA buffer, hold a ThruOutcome. A routed
// message that was handed over but could not be sent later is reported with
// MIM_THRULOST (first parameter: how many). While a route is set, the main
// thread's own sends to the output join the routed messages in order
// instead of racing them. midiDisconnect returns once the route no longer
// runs; closing either device ends its route first.

#include "platform/midi/thru_map.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// What the thru route did with an incoming message (a ThruOutcome).
constexpr std::uint8_t thruOutcomeOf(DWORD_PTR shortMessageParam) noexcept
{
    return static_cast<std::uint8_t>(shortMessageParam >> 24);
}
inline std::uint8_t thruOutcomeOf(const MIDIHDR& header) noexcept
{
    return static_cast<std::uint8_t>(header.dwReserved[0]);
}

// The driver callback: device handle, message, instance value, two parameters.
using MidiCallbackProc = void (*)(std::intptr_t hDevice, UINT wMsg, DWORD_PTR dwInstance,
                                  DWORD_PTR dwParam1, DWORD_PTR dwParam2);

// Input.
UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsW(UINT uDeviceID, MIDIINCAPSW* pmic, UINT cbmic);
// Writes a zero-terminated text for the code; MMSYSERR_BADERRNUM for an unknown code.
MMRESULT midiInGetErrorTextW(MMRESULT mmrError, char* pszText, UINT cchText);
MMRESULT midiInOpen(HMIDIIN* phmi, UINT uDeviceID, MidiCallbackProc dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT midiInClose(HMIDIIN hmi);
MMRESULT midiInPrepareHeader(HMIDIIN hmi, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiInUnprepareHeader(HMIDIIN hmi, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiInAddBuffer(HMIDIIN hmi, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiInStart(HMIDIIN hmi);
MMRESULT midiInStop(HMIDIIN hmi);
MMRESULT midiInReset(HMIDIIN hmi);

// Output.
UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsW(UINT uDeviceID, MIDIOUTCAPSW* pmoc, UINT cbmoc);
MMRESULT midiOutGetErrorTextW(MMRESULT mmrError, char* pszText, UINT cchText);
MMRESULT midiOutOpen(HMIDIOUT* phmo, UINT uDeviceID, MidiCallbackProc dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT midiOutClose(HMIDIOUT hmo);
MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg);
MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiOutLongMsg(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiOutReset(HMIDIOUT hmo);
MMRESULT midiOutCachePatches(HMIDIOUT hmo, UINT uBank, WORD* pwpa, UINT fuCache);
MMRESULT midiOutCacheDrumPatches(HMIDIOUT hmo, UINT uPatch, WORD* pwkya, UINT fuCache);
// Volume and driver messages take a device number, not a handle.
MMRESULT midiOutGetVolume(UINT uDeviceID, DWORD* pdwVolume);
MMRESULT midiOutSetVolume(UINT uDeviceID, DWORD dwVolume);
MMRESULT midiOutMessage(UINT uDeviceID, UINT uMsg, DWORD_PTR dw1, DWORD_PTR dw2);

// Thru routes (see above). One route per input and per output:
// MMSYSERR_ALLOCATED when either has one already.
MMRESULT midiConnect(HMIDIIN hmi, HMIDIOUT hmo, const ThruMap* map);
MMRESULT midiDisconnect(HMIDIIN hmi, HMIDIOUT hmo);

class MidiBackend;

// The backend behind the functions above. The real one (the ALSA sequencer
// through RtMidi, and JACK) is created on first use; tests install a virtual one before any port exists. Replacing
// the backend while a device is open is not allowed (throws Exception).
// Setting nullptr goes back to the real backend, created on next use.
void SetMidiBackend(std::shared_ptr<MidiBackend> backend);
MidiBackend& CurrentMidiBackend();

// Called on the main thread whenever ports appear, go away or are renamed,
// so that device lists can be counted again; an empty function stops it.
void SetMidiPortsChangedHandler(std::function<void()> handler);
// Whether that handler hears of every change; otherwise the lists must be
// counted again now and then (the ALSA sequencer tells RtMidi nothing).
bool MidiPortChangesReported();
// Whether any MIDI server answers (the ALSA sequencer, a JACK server).
bool MidiServerAvailable();
// Whether device n of the list last counted is a port of another copy of
// this program, which no choice made by default may take.
bool midiInIsOtherCopy(UINT uDeviceID);
bool midiOutIsOtherCopy(UINT uDeviceID);

// The name under which the program's MIDI clients appear to the MIDI servers
// ("Velomorph" unless set). Read when the real backend is created: set it
// before the first MIDI call.
void SetMidiClientName(std::string name);
const std::string& MidiClientName();
