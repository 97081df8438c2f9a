#pragma once

// The real MIDI backend, over RtMidi: the ports of the ALSA sequencer (when
// it can be opened) and of the running JACK server (when one runs), without
// our own ports; hardware ports first, then other programs' ports, ALSA's
// "Midi Through" ports last. Every RtMidi, libjack and alsa-lib message is
// kept off the console; failures become result codes. RtMidi never starts a
// JACK server.
//
// Enumeration keeps one RtMidi object per direction on the ALSA sequencer and
// one plain libjack client for JACK (which also tells physical ports and a
// server's shutdown). Each open port has an RtMidi object of its own, found
// again by its full name when it is opened. A port whose JACK server has gone
// away is left unclosed (libjack would crash), so that closing never crashes.
// ALSA output to the "Midi Through" port that an open input listens to is
// refused with MMSYSERR_ALLOCATED (it would loop forever). What RtMidi hands
// over as one incoming message is split the way a MIDI receiver reads bytes
// (see deliverAsMessages); a long message goes to a JACK port in pieces.
//
// Threading: main thread only, except the input callback, which RtMidi calls
// on its input thread (ALSA) or the JACK process thread and which only hands
// the message to the services' sink.

#include "platform/midi/midi_backend.h"

#include <memory>
#include <string>

class RtMidiBackend final : public MidiBackend {
public:
    RtMidiBackend();
    ~RtMidiBackend() override;
    RtMidiBackend(const RtMidiBackend&) = delete;
    RtMidiBackend& operator=(const RtMidiBackend&) = delete;

    // Name of every ALSA and JACK client of ours: MidiClientName() + "-<pid>".
    const std::string& clientName() const;

    // MidiBackend
    unsigned inputCount() override;
    unsigned outputCount() override;
    MMRESULT inputCaps(unsigned device, MIDIINCAPSW& caps) override;
    MMRESULT outputCaps(unsigned device, MIDIOUTCAPSW& caps) override;
    MMRESULT openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out) override;
    MMRESULT openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
