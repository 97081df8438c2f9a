// SPDX-License-Identifier: GPL-3.0-or-later
// The remapping path: every queued input message leaves on the output with
// its second data byte replaced through the transfer table. While a thru route
// is set, it has left already, from the thread that received it; the window
// then shows what the route did.
#include "routing/midi_routing.h"

#include "platform/midi/messages/midi_message.h"
#include "platform/midi/messages/midi_status.h"
#include "routing/side_ports.h"
#include "routing/waits.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

constexpr std::uint8_t TestNoteKey = 63;
constexpr std::uint8_t TestNoteVelocity = 100;

} // namespace

void TMidiRouting::PublishTransferTable(const TTransferTable& NewTable)
{
    Table = NewTable;
    Thru.PublishTable(Table);
}

void TMidiRouting::SetCloseRequested(bool Requested)
{
    Thru.SetHeld(Requested);
}

void TMidiRouting::MidiInMidiInput(TMidiIO* /*Sender*/)
{
    // A call made while the first one lets waiting events run takes the
    // queue in order and runs no event loop of its own: a burst of
    // notifications cannot nest one event loop per message, and a modal
    // dialog opened meanwhile holds nothing back.
    if (InputHandled) {
        TakeQueued();
        return;
    }
    InputHandled = true;
    const struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{InputHandled};

    const auto lightInputLamp = [this] {
        if (!ShuttingDown && View) {
            View->EnableLampTimer(TLamp::MidiIn);
            View->SetLamp(TLamp::MidiIn, true);
        }
    };
    try {
        TakeQueued();
    } catch (...) {
        // A message that could not be sent has arrived all the same.
        lightInputLamp();
        throw;
    }
    lightInputLamp();
    if (!ShuttingDown) {
        // The lamp is painted now; what came meanwhile is taken after.
        QCoreApplication::processEvents();
        TakeQueued();
    }
}

void TMidiRouting::TakeQueued()
{
    while (MidiIn && MidiIn->MessageCount() > 0) {
        const std::unique_ptr<TMyMidiEvent> event = MidiIn->GetMidiEvent();
        if (!event)
            return;
        TakeEvent(*event);
    }
}

void TMidiRouting::TakeEvent(const TMyMidiEvent& event)
{
    const bool isSysex = event.MidiMessage == midi::SysexStart;
    const bool isPlayedNote = midi::KindOf(event.MidiMessage) == midi::NoteOn && (event.Data2 & midi::DataMask) > 0;
    // What left with a played note: the route's own rule, as it applied it.
    const auto countLeaving = [&] {
        if (isPlayedNote)
            ++Played.Out[thruSecondDataByte(Thru.Map(), event.MidiMessage, event.Data2 & midi::DataMask) & midi::DataMask];
    };
    if (isPlayedNote) {
        ++Played.In[event.Data2 & midi::DataMask];
        if (View)
            View->ShowPlayedVelocities();
    }
    if (event.Thru & ThruFailedBit) {
        const MMRESULT code = event.Thru & ~ThruFailedBit;
        // The output's device went while the route sent: lost (the route
        // counted it), without a box.
        if (code == MIDIERR_NODEVICE) {
            ShowLost();
            return;
        }
        // Any other refusal: the same error as sending it here.
        if (MidiOut)
            MidiOut->CheckSent(code, isSysex);
        return;
    }
    switch (event.Thru) {
    case ThruNone:
        ++MainTraffic.In;
        // While the window is being closed nothing leaves, and nothing is lost.
        if (CloseRequested())
            break;
        if (PortIsLost(TPortSide::Output) || !MidiOut || !IsOpen(*MidiOut)) {
            // No output open to take it (its device gone, or not open yet at
            // start-up): the message is lost, without a box.
            ++MainTraffic.Lost;
            ShowLost();
        } else {
            // The route's own rule, applied here for want of a route. A
            // system-exclusive message leaves with its own bytes; one longer
            // than a buffer arrives, and leaves, in several parts.
            const std::uint8_t shortMessage[3] = {event.MidiMessage, event.Data1, event.Data2};
            const ThruDecision decision = isSysex
                ? Thru.Decide(event.Sysex.get(), event.Sysex ? event.SysexLength : 0)
                : Thru.Decide(shortMessage, shortMessageSize(event.MidiMessage));
            if (decision.outcome == ThruSent) {
                if (isSysex) {
                    SendEvent(event);
                } else {
                    SendMidiBytes(decision.bytes(), decision.size);
                    countLeaving();
                }
            }
        }
        break;
    case ThruSent:
        countLeaving();
        ShowSent();
        break;
    case ThruLost:
        ShowLost();
        break;
    default: // held while closing, or ruled out on purpose: nothing left
        break;
    }
    // The table's entry, also where a played note left with velocity 1; a
    // value that the mode leaves alone shows unchanged.
    if (!isSysex && event.Data2 > 0 && View) {
        const int in = event.Data2 & midi::DataMask;
        View->ShowLastMapping(in, thruMapsSecondDataByte(Thru.Map(), event.MidiMessage) ? Table[in] : in);
    }
}

void TMidiRouting::ResetPlayedVelocities()
{
    Played.In.fill(0);
    Played.Out.fill(0);
    if (View)
        View->ShowPlayedVelocities();
}

void TMidiRouting::SetNotesOnly(bool NotesOnly)
{
    Thru.SetNotesOnly(NotesOnly);
}

void TMidiRouting::MidiInOverflow(TMidiIO* /*Sender*/)
{
    ++MainTraffic.Lost;
    ShowLost();
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
    if (Count > 0 && Bytes[0] == midi::SysexStart) {
        event.SysexLength = static_cast<std::uint16_t>(Count);
        event.Sysex = std::make_unique<std::uint8_t[]>(Count);
        std::copy(Bytes, Bytes + Count, event.Sysex.get());
    }
    SendEvent(event);
}

void TMidiRouting::SendEvent(const TMyMidiEvent& event)
{
    if (CloseRequested())
        return;
    if (!MidiOut)
        throw EMidiOutputError("MIDI Output device not open");
    MidiOut->PutMidiEvent(event);
    ++MainTraffic.Out;
    ShowSent();
}

TMidiRouting::TTraffic TMidiRouting::Traffic() const
{
    const ThruMap& map = Thru.Map();
    TTraffic traffic = MainTraffic;
    traffic.In += map.received.load(std::memory_order_relaxed);
    traffic.Out += map.sent.load(std::memory_order_relaxed);
    traffic.Lost += map.lost.load(std::memory_order_relaxed);
    return traffic;
}

void TMidiRouting::ShowSent()
{
    if (View) {
        View->SetLamp(TLamp::MidiOut, true);
        View->EnableLampTimer(TLamp::MidiOut);
    }
}

void TMidiRouting::ShowLost()
{
    if (View)
        View->SetLamp(TLamp::MidiErr, true);
}

void TMidiRouting::SendTestNote()
{
    const std::uint8_t noteOn[3] = {midi::NoteOn, TestNoteKey, TestNoteVelocity};
    SendMidiBytes(noteOn, 3);
    PauseMs(Waits.TestNoteLengthMs);
    const std::uint8_t noteOff[3] = {midi::NoteOff, TestNoteKey, TestNoteVelocity};
    SendMidiBytes(noteOff, 3);
}
