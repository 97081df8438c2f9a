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

#include "platform/midi/messages/midi_types.h"
#include "platform/midi/messages/thru_map.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// A graph of ports (JACK, PipeWire's JACK). The program's own input and
// output ports then carry whatever any client connects to them: they open
// as device MIDI_GRAPHPORT, and their connections take the place of a
// device. A change of the connections reaches the handler of
// SetMidiPortsChangedHandler. `input` picks our input port (its connections
// are devices of the input list) or our output port.
//
// Whether there is such a graph now (a JACK server runs).
bool MidiGraphAvailable();
// The full names of the ports connected to ours; empty without a graph.
std::vector<std::string> midiGraphConnections(bool input);
// Whether the listed device of that name is a port of the graph.
bool midiIsGraphDevice(bool input, const std::string& name);
// Connects that device's port to ours (connect true) or takes the connection
// away; done already when it is so.
MMRESULT midiConnectGraph(bool input, const std::string& name, bool connect);
