// The remapping path: every queued input message leaves on the output with
// its second data byte replaced through the transfer table.
#include "routing/midi_routing.h"

#include "midi/driver_callback.h"
#include "platform/notification_window.h"
#include "routing/waits.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

constexpr std::uint8_t SysexStatus = 0xF0;
constexpr std::uint8_t TestNoteKey = 63;
constexpr std::uint8_t TestNoteVelocity = 100;

// The table used when no window is attached: values pass unchanged.
const TTransferTable& IdentityTable()
{
    static const TTransferTable identity = [] {
        TTransferTable table{};
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = static_cast<std::uint8_t>(i);
        return table;
    }();
    return identity;
}

} // namespace

void TMidiRouting::MidiInMidiInput(TMidiIO* /*Sender*/)
{
    // A call for a later notification, made while this one lets waiting
    // events run, leaves the queue to this one: the order is the same as if
    // it drained first, and a burst of notifications cannot nest one event
    // loop per message.
    if (Forwarding) {
        ++DeferredCalls;
        return;
    }
    Forwarding = true;
    DeferredCalls = 0;
    const struct Reset {
        TMidiRouting& routing;
        ~Reset() { routing.EndForwarding(); }
    } reset{*this};

    const auto forwardQueued = [this] {
        while (MidiIn && MidiIn->MessageCount() > 0) {
            const std::unique_ptr<TMyMidiEvent> event = MidiIn->GetMidiEvent();
            if (!event)
                return;
            ForwardEvent(*event);
        }
    };
    const auto lightInputLamp = [this] {
        if (!ShuttingDown && View) {
            View->EnableLampTimer(TLamp::MidiIn);
            View->SetLamp(TLamp::MidiIn, true);
        }
    };
    // What is queued leaves first: the lamp's repaint (which paints whatever
    // else is waiting to be painted) and the events waiting in the loop would
    // only delay it.
    try {
        forwardQueued();
    } catch (...) {
        // A message that could not be sent has arrived all the same.
        lightInputLamp();
        throw;
    }
    lightInputLamp();
    if (!ShuttingDown) {
        QCoreApplication::processEvents();
        // What came meanwhile: its calls were deferred to this one.
        forwardQueued();
    }
}

void TMidiRouting::EndForwarding() noexcept
{
    Forwarding = false;
    // Ended by an error with messages left: each deferred notification comes
    // again, as it would have without the deferral, so they are not stranded.
    if (MidiIn && MidiIn->MessageCount() > 0) {
        for (; DeferredCalls > 0; --DeferredCalls)
            PostMessageW(MidiIn->Handle(), NotifyDataQueued, 0, 0);
    }
    DeferredCalls = 0;
}

void TMidiRouting::ForwardEvent(const TMyMidiEvent& event)
{
    if (event.MidiMessage == SysexStatus) {
        // A system-exclusive message leaves with its own bytes, unchanged;
        // one longer than a buffer arrives, and leaves, in several parts.
        if (event.Sysex && event.SysexLength > 0)
            SendEvent(event);
        return;
    }
    const TTransferTable& table = View ? View->CurrentTransferTable() : IdentityTable();
    const std::uint8_t mapped = event.Data2 < table.size() ? table[event.Data2] : event.Data2;
    const std::uint8_t bytes[3] = {event.MidiMessage, event.Data1, mapped};
    SendMidiBytes(bytes, 3);
    if (event.Data2 > 0 && View)
        View->ShowLastMapping(event.Data2, mapped);
}

void TMidiRouting::MidiInOverflow(TMidiIO* /*Sender*/)
{
    if (View)
        View->SetLamp(TLamp::MidiErr, true);
}

void TMidiRouting::MidiOutMidiOutput(TMidiIO* /*Sender*/)
{
}

void TMidiRouting::SendMidiBytes(const std::uint8_t* Bytes, std::size_t Count)
{
    if (Count > UINT16_MAX)
        throw EMidiOutputError("(Long Msg) The message is too long.");
    TMyMidiEvent event;
    if (Count > 0)
        event.MidiMessage = Bytes[0];
    if (Count > 1)
        event.Data1 = Bytes[1];
    if (Count > 2)
        event.Data2 = Bytes[2];
    if (Count > 0 && Bytes[0] == SysexStatus) {
        event.SysexLength = static_cast<std::uint16_t>(Count);
        event.Sysex = std::make_unique<std::uint8_t[]>(Count);
        std::copy(Bytes, Bytes + Count, event.Sysex.get());
    }
    SendEvent(event);
}

void TMidiRouting::SendEvent(const TMyMidiEvent& event)
{
    if (View && View->IsCloseRequested())
        return;
    if (!MidiOut)
        throw EMidiOutputError("MIDI Output device not open");
    MidiOut->PutMidiEvent(event);
    if (View) {
        View->SetLamp(TLamp::MidiOut, true);
        View->EnableLampTimer(TLamp::MidiOut);
    }
}

void TMidiRouting::SendTestNote()
{
    const std::uint8_t noteOn[3] = {0x90, TestNoteKey, TestNoteVelocity};
    SendMidiBytes(noteOn, 3);
    PauseMs(Waits.TestNoteLengthMs);
    const std::uint8_t noteOff[3] = {0x80, TestNoteKey, TestNoteVelocity};
    SendMidiBytes(noteOff, 3);
}
