#include "platform/midi/midi_output_device.h"

#include "platform/midi/midi_header_flags.h"
#include "platform/midi/midi_message.h"

#include <array>
#include <cstdint>

MidiOutputDevice::MidiOutputDevice(HMIDIOUT handle, MidiCallbackProc callback, DWORD_PTR instance,
                                   std::unique_ptr<MidiOutputConnection> connection)
    : handle_(handle), callback_(callback), instance_(instance), connection_(std::move(connection))
{
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
    return connection_->send(bytes.data(), size, false);
}

MMRESULT MidiOutputDevice::sendLong(MIDIHDR& header)
{
    const DWORD flags = loadHeaderFlags(header);
    if (!(flags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (flags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    if (!header.lpData || header.dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;

    storeHeaderFlags(header, (flags | MHDR_INQUEUE) & ~MHDR_DONE);
    ++queued_;
    const MMRESULT result = connection_->send(reinterpret_cast<const std::uint8_t*>(header.lpData),
                                              header.dwBufferLength, true);
    --queued_;
    if (result != MMSYSERR_NOERROR) {
        // Not sent: the buffer stays with its owner, prepared, and no MOM_DONE comes.
        storeHeaderFlags(header, flags & ~MHDR_DONE);
        return result;
    }
    storeHeaderFlags(header, (flags & ~MHDR_INQUEUE) | MHDR_DONE);
    notify(MOM_DONE, reinterpret_cast<DWORD_PTR>(&header));
    return MMSYSERR_NOERROR;
}

MMRESULT MidiOutputDevice::reset()
{
    // Nothing is ever queued (sends are synchronous), so there is no buffer
    // to hand back; only sounding notes are stopped.
    MMRESULT first = MMSYSERR_NOERROR;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const std::array<std::uint8_t, 3> allNotesOff{static_cast<std::uint8_t>(0xB0 | channel), 123, 0};
        const MMRESULT result = connection_->send(allNotesOff.data(), allNotesOff.size(), false);
        if (first == MMSYSERR_NOERROR)
            first = result;
    }
    return first;
}
