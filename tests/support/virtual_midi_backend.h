// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// In-process MIDI devices for tests: what a real server cannot stage
// (unreadable capabilities, refused opens and sends, exact time stamps).
//
// Threading: the set-up and fault functions and the capture readers are
// called on the main thread. inject*() may be called from any thread: each
// message is handed to the backend's own driver thread, which delivers it to
// the open device exactly as a driver would (MIM_DATA with a time stamp, or
// system exclusive through the lent buffers). waitIdle() blocks the caller
// until every message injected so far has been delivered or dropped. An
// output's send may come from any thread: each records the thread it came
// on, and a held output keeps its sends waiting until it is let go, except
// those from a thread that it refuses.
//
// Each instance is a backend of its own (its connections name it): two of
// them behind a composite backend stage a route between two backends.

#include "platform/midi/backends/midi_backend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class VirtualMidiBackend : public MidiBackend {
public:
    // A device as a test declares it. Output-only fields are ignored for inputs.
    struct DeviceSpec {
        std::string name;
        WORD mid = 0;
        WORD pid = 0;
        DWORD driverVersion = 0;
        WORD technology = MOD_MIDIPORT;
        WORD voices = 0;
        WORD notes = 0;
        WORD channelMask = 0;
        DWORD support = 0;
        PortKind kind = PortKind::Program;
    };

    VirtualMidiBackend();
    ~VirtualMidiBackend() override;

    // Declare devices; the result is the device number. It stays the
    // device's number for the functions of this class; once a device before
    // it is removed, the services number the devices after it one lower, as
    // after unplugging. A device opens once at a time (MMSYSERR_ALLOCATED).
    unsigned addInput(const DeviceSpec& spec);
    unsigned addOutput(const DeviceSpec& spec);
    // Removes a device as if it were unplugged; an open device stops delivering,
    // its later sends fail with MMSYSERR_NODRIVER, and it is reported lost.
    // Adding and removing both report that the ports changed.
    void removeInput(unsigned device);
    void removeOutput(unsigned device);

    // Faults on demand; MMSYSERR_NOERROR clears a fault. A send error of
    // MIDIERR_SENDQUEUEFULL stands for an output that has no room left.
    void setInputCapsError(unsigned device, MMRESULT code);
    void setOutputCapsError(unsigned device, MMRESULT code);
    void setInputOpenError(unsigned device, MMRESULT code);
    void setOutputOpenError(unsigned device, MMRESULT code);
    void setShortSendError(unsigned device, MMRESULT code);
    void setLongSendError(unsigned device, MMRESULT code);
    // While held, the output's sends wait (an output that is slow to take them).
    void holdSends(unsigned device, bool held);
    // Sends on that thread are refused with MMSYSERR_ERROR, at once, even
    // while held: a backend that must not run on another's thread.
    void refuseSendsFrom(unsigned device, std::thread::id thread);

    // Input as the driver delivers it. With timestampMs given, the message
    // carries that stamp; otherwise the milliseconds since midiInStart.
    void injectShort(unsigned device, DWORD packed);
    void injectShort(unsigned device, DWORD packed, DWORD timestampMs);
    void injectBytes(unsigned device, std::vector<std::uint8_t> bytes); // any message, sysex included
    void waitIdle();
    // The thread that delivers injected input.
    std::thread::id driverThread() const { return driver_.get_id(); }

    // Capture of every byte sent to an output, in order, and per message.
    std::vector<std::uint8_t> sentBytes(unsigned device) const;
    std::vector<std::vector<std::uint8_t>> sentMessages(unsigned device) const;
    // The thread of every send to an output, refused ones included, in order.
    std::vector<std::thread::id> sendThreads(unsigned device) const;
    void clearSent(unsigned device);
    // Whether the device is currently open (by this process).
    bool isInputOpen(unsigned device) const;
    bool isOutputOpen(unsigned device) const;

    // MidiBackend
    void setEvents(MidiBackendEvents* events) override;
    bool reportsPortChanges() const override { return true; }
    PortKind inputKind(unsigned device) override;
    PortKind outputKind(unsigned device) override;
    unsigned inputCount() override;
    unsigned outputCount() override;
    MMRESULT inputCaps(unsigned device, MIDIINCAPSW& caps) override;
    MMRESULT outputCaps(unsigned device, MIDIOUTCAPSW& caps) override;
    MMRESULT openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) override;
    MMRESULT openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out) override;

private:
    struct Impl;
    std::shared_ptr<Impl> d; // kept alive by open connections too
    std::thread driver_;     // delivers injected input; stops with the backend
};
