// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One open output device of the MIDI services: the driver side of midiOut*.
//
// The main thread sends through midiOut*; a thru route sends from the thread
// that receives its input (routeMessage), or, when the input is of another
// backend, hands its messages over (handOver) to a sending thread of this
// device's own, which runs from beginHandOver to endHandOver and sends them
// in order through routeMessage: the route's thread is then that one. Unless
// the backend's connection takes sends from any thread, the main thread and
// the route's thread reach it through an OutputSender, one sender at a time
// and in order. A long message from the main thread is with the driver until
// MOM_DONE, which comes on the thread that sent it: at once, before
// midiOutLongMsg returns, unless the route's thread was sending.

#include "platform/midi/backends/midi_backend.h"
#include "platform/midi/output_sender.h"
#include "platform/midi/route_hand_over.h"

#include <atomic>
#include <memory>

class MidiOutputDevice final : private OutputSender::Listener, private RouteHandOver::Sink {
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
    // whole short message, or a system-exclusive message or a piece of one,
    // as it leaves.
    MMRESULT routeMessage(const std::uint8_t* data, std::size_t size) noexcept;
    // The same for a route from another backend: a copy for the sending
    // thread, or MIDIERR_SENDQUEUEFULL when there is no room for it. What
    // that thread cannot send, the loss listener hears of.
    MMRESULT handOver(const std::uint8_t* data, std::size_t size) noexcept;
    // Main thread: starts the sending thread before such a route is set
    // (MMSYSERR_NOMEM when it cannot), and, once the route no longer runs,
    // sends what waits and ends it.
    MMRESULT beginHandOver() noexcept;
    void endHandOver() noexcept;
    // Who hears of routed messages lost later; null while no route feeds it.
    void setLossListener(LossListener* listener) noexcept;
    // The backend's connection, for a route the backend sets itself.
    MidiOutputConnection& connection() noexcept { return *connection_; }

private:
    // OutputSender::Listener
    void longMessageDone(MIDIHDR& header) noexcept override;
    void messageLost() noexcept override;
    // RouteHandOver::Sink, on the sending thread.
    void sendHandedOver(const std::uint8_t* data, std::size_t size) noexcept override;

    const HMIDIOUT handle_;
    const MidiCallbackProc callback_;
    const DWORD_PTR instance_;
    std::unique_ptr<MidiOutputConnection> connection_;
    std::unique_ptr<OutputSender> sender_; // null when the connection takes any thread
    std::atomic<unsigned> queued_{0};
    std::atomic<LossListener*> lossListener_{nullptr};
    // Set while a route from another backend feeds the device.
    std::unique_ptr<RouteHandOver> handOver_;
};
