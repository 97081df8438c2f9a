// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One open output device of the MIDI services: the driver side of midiOut*.
//
// The main thread sends through midiOut*; a thru route sends from the thread
// that receives its input (routeMessage). Unless the backend's connection
// takes sends from any thread, the two reach it through an OutputSender, one
// sender at a time and in order. A long message from the main thread is with
// the driver until MOM_DONE, which comes on the thread that sent it: at once,
// before midiOutLongMsg returns, unless the route's thread was sending.

#include "platform/midi/backends/midi_backend.h"
#include "platform/midi/output_sender.h"

#include <atomic>
#include <memory>

class MidiOutputDevice final : private OutputSender::Listener {
public:
    // Hears of the messages of a thru route that could not be sent after all.
    class LossListener {
    public:
        virtual ~LossListener() = default;
        virtual void routedMessageLost() noexcept = 0;
    };

    MidiOutputDevice(HMIDIOUT handle, MidiCallbackProc callback, DWORD_PTR instance,
                     std::unique_ptr<MidiOutputConnection> connection);
    ~MidiOutputDevice() override;
    MidiOutputDevice(const MidiOutputDevice&) = delete;
    MidiOutputDevice& operator=(const MidiOutputDevice&) = delete;

    // Calls the client's callback (MOM_OPEN, MOM_CLOSE).
    void notify(UINT message, DWORD_PTR param1 = 0) const noexcept;
    // Sends the bytes that the packed message's status byte calls for.
    MMRESULT sendShort(DWORD packed);
    // Sends a prepared buffer whole; it comes back with MOM_DONE.
    MMRESULT sendLong(MIDIHDR& header);
    // Silences the device: All Notes Off (controller 123) on all 16 channels.
    MMRESULT reset();
    // Whether a long message is still with the driver (midiOutClose refuses then).
    bool hasQueuedBuffers() const noexcept { return queued_.load(std::memory_order_acquire) != 0; }
    // Sends what waits; main thread, once no route feeds the device.
    void flush() noexcept;

    // The thru route's side, on the thread that receives its input: one
    // whole message (status first), as it leaves.
    MMRESULT routeMessage(const std::uint8_t* data, std::size_t size) noexcept;
    // Who hears of routed messages lost later; null while no route feeds it.
    void setLossListener(LossListener* listener) noexcept;
    // The backend's connection, for a route the backend sets itself.
    MidiOutputConnection& connection() noexcept { return *connection_; }

private:
    // OutputSender::Listener
    void longMessageDone(MIDIHDR& header) noexcept override;
    void messageLost() noexcept override;

    const HMIDIOUT handle_;
    const MidiCallbackProc callback_;
    const DWORD_PTR instance_;
    std::unique_ptr<MidiOutputConnection> connection_;
    std::unique_ptr<OutputSender> sender_; // null when the connection takes any thread
    std::atomic<unsigned> queued_{0};
    std::atomic<LossListener*> lossListener_{nullptr};
};
