#pragma once

// One open output device of the MIDI services: the driver side of midiOut*.
// Main thread only. Sends are synchronous: a long message is with the driver
// only during midiOutLongMsg, which hands it back (MOM_DONE) before it returns.

#include "platform/midi/midi_backend.h"

#include <memory>

class MidiOutputDevice {
public:
    MidiOutputDevice(HMIDIOUT handle, MidiCallbackProc callback, DWORD_PTR instance,
                     std::unique_ptr<MidiOutputConnection> connection);

    // Calls the client's callback (MOM_OPEN, MOM_CLOSE).
    void notify(UINT message, DWORD_PTR param1 = 0) const noexcept;
    // Sends the bytes that the packed message's status byte calls for.
    MMRESULT sendShort(DWORD packed);
    // Sends a prepared buffer whole and hands it back with MOM_DONE.
    MMRESULT sendLong(MIDIHDR& header);
    // Silences the device: All Notes Off (controller 123) on all 16 channels.
    MMRESULT reset();
    // Whether a long message is being sent (midiOutClose refuses then).
    bool hasQueuedBuffers() const noexcept { return queued_ != 0; }

private:
    const HMIDIOUT handle_;
    const MidiCallbackProc callback_;
    const DWORD_PTR instance_;
    std::unique_ptr<MidiOutputConnection> connection_;
    unsigned queued_ = 0;
};
