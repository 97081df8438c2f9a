// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/midi_output_device.h"

#include "platform/midi/messages/midi_message.h"
#include "platform/midi/messages/midi_status.h"
#include "platform/midi/midi_header_flags.h"

#include <array>
#include <cstdint>

MidiOutputDevice::MidiOutputDevice(HMIDIOUT handle, MidiCallbackProc callback, DWORD_PTR instance,
                                   std::unique_ptr<MidiOutputConnection> connection)
    : handle_(handle), callback_(callback), instance_(instance), connection_(std::move(connection))
{
    if (!connection_->sendsFromAnyThread())
        sender_ = std::make_unique<OutputSender>(*connection_, static_cast<OutputSender::Listener&>(*this));
}

MidiOutputDevice::~MidiOutputDevice()
{
    endHandOver();
    flush();
}

void MidiOutputDevice::notify(UINT message, DWORD_PTR param1) const noexcept
{
    if (callback_)
        callback_(handle_, message, instance_, param1, 0);
}

MMRESULT MidiOutputDevice::sendShort(DWORD packed)
{
    const std::array<std::uint8_t, 3> bytes{static_cast<std::uint8_t>(packed),
                                            static_cast<std::uint8_t>(packed >> 8),
                                            static_cast<std::uint8_t>(packed >> 16)};
    const std::size_t size = shortMessageSize(bytes[0]);
    if (size == 0)
        return MMSYSERR_INVALPARAM;
    const MMRESULT result = sender_ ? sender_->sendShort(bytes.data(), size)
                                    : connection_->send(bytes.data(), size, false);
    return result == MIDIERR_SENDQUEUEFULL ? MIDIERR_NOTREADY : result;
}

MMRESULT MidiOutputDevice::sendLong(MIDIHDR& header)
{
    const DWORD flags = loadHeaderFlags(header);
    if (const MMRESULT refused = checkHeaderToLend(header, flags))
        return refused;

    storeHeaderFlags(header, (flags | MHDR_INQUEUE) & ~MHDR_DONE);
    queued_.fetch_add(1, std::memory_order_acq_rel);
    MMRESULT result = MMSYSERR_NOERROR;
    if (sender_) {
        result = sender_->sendLong(header);
    } else {
        // The connection copies what it takes: the buffer is done at once.
        result = connection_->send(reinterpret_cast<const std::uint8_t*>(header.lpData),
                                   header.dwBufferLength, true);
        if (result == MMSYSERR_NOERROR)
            longMessageDone(header);
    }
    if (result != MMSYSERR_NOERROR) {
        // Not sent: the buffer stays with its owner, prepared, and no MOM_DONE comes.
        queued_.fetch_sub(1, std::memory_order_acq_rel);
        storeHeaderFlags(header, flags & ~MHDR_DONE);
    }
    return result == MIDIERR_SENDQUEUEFULL ? MIDIERR_NOTREADY : result;
}

MMRESULT MidiOutputDevice::reset()
{
    MMRESULT first = MMSYSERR_NOERROR;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const DWORD allNotesOff = static_cast<DWORD>(midi::ControlChange | channel) | (DWORD{midi::AllNotesOffController} << 8);
        const MMRESULT result = sendShort(allNotesOff);
        if (first == MMSYSERR_NOERROR)
            first = result;
    }
    return first;
}

void MidiOutputDevice::flush() noexcept
{
    if (sender_)
        sender_->flush();
}

MMRESULT MidiOutputDevice::routeMessage(const std::uint8_t* data, std::size_t size) noexcept
{
    // A short message starts with its status; everything else is a
    // system-exclusive message or a piece of one.
    const std::uint8_t first = data[0];
    const bool isLong = !midi::IsStatus(first) || first == midi::SysexStart || first == midi::SysexEnd;
    if (sender_)
        return isLong ? sender_->routeLong(data, size) : sender_->routeShort(data, size);
    try {
        return connection_->send(data, size, isLong);
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

MMRESULT MidiOutputDevice::handOver(const std::uint8_t* data, std::size_t size) noexcept
{
    return handOver_->handOver(data, size) ? MMSYSERR_NOERROR : MIDIERR_SENDQUEUEFULL;
}

MMRESULT MidiOutputDevice::beginHandOver() noexcept
{
    try {
        handOver_ = std::make_unique<RouteHandOver>(static_cast<RouteHandOver::Sink&>(*this));
    } catch (...) {
        return MMSYSERR_NOMEM;
    }
    return MMSYSERR_NOERROR;
}

void MidiOutputDevice::endHandOver() noexcept
{
    handOver_.reset();
}

void MidiOutputDevice::sendHandedOver(const std::uint8_t* data, std::size_t size) noexcept
{
    if (routeMessage(data, size) != MMSYSERR_NOERROR)
        messageLost();
}

void MidiOutputDevice::setLossListener(LossListener* listener) noexcept
{
    lossListener_.store(listener, std::memory_order_release);
}

void MidiOutputDevice::longMessageDone(MIDIHDR& header) noexcept
{
    storeHeaderFlags(header, (loadHeaderFlags(header) & ~MHDR_INQUEUE) | MHDR_DONE);
    queued_.fetch_sub(1, std::memory_order_acq_rel);
    notify(MOM_DONE, reinterpret_cast<DWORD_PTR>(&header));
}

void MidiOutputDevice::messageLost() noexcept
{
    if (LossListener* listener = lossListener_.load(std::memory_order_acquire))
        listener->routedMessageLost();
}
