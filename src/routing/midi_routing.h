#pragma once

// The program's two MIDI ports and the path between them: every message from
// the chosen input leaves at once on the chosen output with its second data
// byte remapped through the transfer table. Everything here runs on the main
// thread; the driver's thread reaches it only through the input port's ring
// buffer and notifications.

#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "routing/routing_view.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The waits of the start-up sequence, in milliseconds; tests may change them.
struct TMidiRoutingWaits {
    std::uint32_t OpenSettleMs = 200;     // after each port is opened
    std::uint32_t TestNoteLengthMs = 300; // from the test note's Note On to its Note Off
};

class TMidiRouting {
public:
    TMidiRouting() = default;
    ~TMidiRouting();
    TMidiRouting(const TMidiRouting&) = delete;
    TMidiRouting& operator=(const TMidiRouting&) = delete;

    // Port management.

    // Creates and configures MidiIn, then creates MidiOut; a port whose
    // creation fails stays absent for the whole run.
    void CreateMidiPorts();
    // Marks the shut-down, then closes and destroys the input port and the output port.
    void FreeMidiPorts();
    // The window that shows the ports' state and lamps; null detaches it.
    void AttachView(IRoutingView* view);

    // Fills both device selectors and selects their first device.
    void FillDeviceLists();
    void FillInputList();
    void FillOutputList();
    // Product names of the devices; an unreadable input is left out, an
    // unreadable output ends the output listing with its error.
    void GetInputNames(std::vector<std::string>& List);
    void GetOutputNames(std::vector<std::string>& List);
    // Open or close a port and show its state; they raise nothing.
    void SetInputOpen(bool Open);
    void SetOutputOpen(bool Open);
    // Choose a port's device by product name; errors leave the previous device.
    void SelectInputByName(const std::string& Name);
    void SelectOutputByName(const std::string& Name);
    // The selectors' change handlers: close, select by name, reopen.
    void cbMIDIInChange();
    void cbMIDIOutChange();

    // The remapping path.

    // Forwards every queued message, lights the input lamp, lets waiting
    // events run, then forwards what came meanwhile.
    void MidiInMidiInput(TMidiIO* Sender);
    // A message was lost because the input queue was full.
    void MidiInOverflow(TMidiIO* Sender);
    // The output finished a long message: nothing to do.
    void MidiOutMidiOutput(TMidiIO* Sender);
    // The one routine through which every outgoing message passes: byte 0
    // status, 1 and 2 data; a message starting with 0xF0 is sent whole as a
    // system-exclusive message. Nothing is sent while the window is closing.
    void SendMidiBytes(const std::uint8_t* Bytes, std::size_t Count);
    // Note On key 63 velocity 100 on the first channel, Waits.TestNoteLengthMs
    // (300 ms), then its Note Off.
    void SendTestNote();

    std::unique_ptr<TMidiInput> MidiIn;   // absent when its creation failed
    std::unique_ptr<TMidiOutput> MidiOut; // absent when its creation failed
    bool ShuttingDown = false;            // set once, when the ports are freed at exit
    TMidiRoutingWaits Waits;

private:
    void ForwardEvent(const TMyMidiEvent& event);
    // Sends a built message through MidiOut and lights the output lamp.
    void SendEvent(const TMyMidiEvent& event);
    // Ends a MidiInMidiInput call, handing back the notifications it deferred.
    void EndForwarding() noexcept;

    IRoutingView* View = nullptr;
    bool Forwarding = false;  // MidiInMidiInput is running
    unsigned DeferredCalls = 0; // calls left to the running MidiInMidiInput
};
