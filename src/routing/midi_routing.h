// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's two MIDI ports and the path between them: every message from
// the chosen input leaves at once on the chosen output with its second data
// byte remapped through the transfer table.
//
// Threading: everything here runs on the main thread. While both ports are
// open, a thru route forwards every message on the thread that receives it,
// through the table and the close flag published here; the main thread then
// only shows what happened (lamps, last mapping, errors). Without a route
// the main thread sends what arrives, as the route would; what arrives while
// no output is open (at start-up, before it opens) is counted lost. The
// driver's thread reaches this class only through the input port's ring
// buffer and notifications.

#include "curve/transfer_table.h"
#include "curve/velocity_counts.h"
#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "midi/midi_thru.h"
#include "routing/routing_view.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;

// The waits of the start-up sequence, in milliseconds; tests may change them.
struct TMidiRoutingWaits {
    std::uint32_t OpenSettleMs = 200;     // after each port is opened
    std::uint32_t TestNoteLengthMs = 300; // from the test note's Note On to its Note Off
};

class TMidiRouting {
public:
    TMidiRouting();
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
    // Fills a side's selector and selects its first device.
    void FillDeviceList(TPortSide Side);
    // Product names of a side's devices; an unreadable input is left out, an
    // unreadable output ends the output listing with its error. The ports of
    // another copy of the program among them are noted: no choice made by
    // default takes one, since two copies on each other's ports loop.
    void GetDeviceNames(TPortSide Side, std::vector<std::string>& List);
    // Opens or closes a side's port and shows its state; raises nothing.
    // Opened runs once the port is open, before the wait that follows.
    void SetPortOpen(TPortSide Side, bool Open, const std::function<void()>& Opened = {});
    // Chooses a side's device by product name; false, the port keeping its
    // device, when no device has that name.
    bool SelectDeviceByName(TPortSide Side, const std::string& Name);
    // The device shown in a side's selector becomes its choice: close, select
    // by name, reopen. A device that has gone leaves its port closed, never
    // another device opened in its place; it opens once it is back.
    //
    // In a graph of ports (JACK) the port is the program's own, open for as
    // long as the server runs and carrying whatever anyone connects to it;
    // the selector shows and sets its connections. Choosing a device makes
    // it the port's only connection, NoDeviceEntry takes them all away; the
    // first choice, as the port opens, only adds its device. A device that
    // has gone is connected again once it is back, beside whatever else is
    // connected by then.
    void ChooseDevice(TPortSide Side);
    // The same, but in a graph the device is only added to what is
    // connected: the mode without a window never takes away a connection
    // made by hand.
    void AddChosenDevice(TPortSide Side);
    // The first entry of a selector in a graph of ports: no connection.
    static constexpr const char* NoDeviceEntry = "(aucun)";

    // Live device lists.

    // Counts the devices again and refreshes both selectors, each keeping
    // its choice by name; runs no change handler. A chosen device that has
    // gone counts as lost; a lost one that is back opens again.
    void RefreshDeviceLists();
    // Whether the chosen device of a side has gone (its port closed, waiting).
    bool PortIsLost(TPortSide Side) const { return Sides[Index(Side)].Lost; }
    // The device chosen for a side, by name, present or not.
    const std::string& ChosenDevice(TPortSide Side) const { return Sides[Index(Side)].Wanted; }

    // The remapping path.

    // The table through which second data bytes leave, from now on.
    void PublishTransferTable(const TTransferTable& Table);
    // While the window is being closed, nothing is sent.
    void SetCloseRequested(bool Requested);
    bool CloseRequested() const { return Thru.Held(); }
    // Maps note messages only; every other message leaves unchanged. In force
    // from the next message on, on the route too.
    void SetNotesOnly(bool NotesOnly);
    bool NotesOnly() const { return Thru.NotesOnly(); }

    // Messages counted since the ports were created: arrived, sent, lost.
    struct TTraffic {
        std::uint64_t In = 0;
        std::uint64_t Out = 0;
        std::uint64_t Lost = 0;
    };
    // By the route and by the main thread's own path.
    TTraffic Traffic() const;

    // Velocities of the Note Ons that arrived, and of those that left, since
    // the ports were created or the last reset. Counted here, on the main
    // thread, from the messages the window sees anyway: the thread that
    // receives MIDI does no more work for them.
    const VelocityCounts& PlayedIn() const { return Played.In; }
    const VelocityCounts& PlayedOut() const { return Played.Out; }
    void ResetPlayedVelocities();

    // Shows every queued message (lamps, last mapping) and sends those that
    // no route sent; lets waiting events run once, then deals with what came
    // meanwhile.
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
    TMidiThru Thru;                       // the route between them while both are open
    TMidiRoutingWaits Waits;
    bool StartUpTestNote = true;          // whether the start-up plays the test note

private:
    // Takes every queued message in turn.
    void TakeQueued();
    void TakeEvent(const TMyMidiEvent& event);
    // Sends a built message through MidiOut and lights the output lamp.
    void SendEvent(const TMyMidiEvent& event);
    // Lights the output lamp for a message that has left.
    void ShowSent();
    // Lights the error lamp for a message that was lost.
    void ShowLost();
    // What each side wants and whether its device has gone.
    struct TSideState {
        std::string Wanted;
        bool Lost = false;
        bool LostPending = false; // heard while a port was being opened
        bool OnGraph = false;     // the port is our own port in the graph
        bool GraphLost = false;   // that port went with its server: open it again with the next
        std::string ManyEntry;    // the entry shown for several connections, if any
    };
    static std::size_t Index(TPortSide Side) { return Side == TPortSide::Input ? 0 : 1; }
    // A side's port as the base both ports share; null when its creation failed.
    TMidiIO* Port(TPortSide Side) const;
    // Calls f with a side's port as its own class, for what only the port
    // classes offer (see routing/side_ports.h); the port must exist.
    template <class F>
    decltype(auto) WithPort(TPortSide Side, F&& f)
    {
        return Side == TPortSide::Input ? f(*MidiIn) : f(*MidiOut);
    }
    // The input's notifications reach the remapping path.
    void ListenToInput();
    // Where a side's selector stands after filling: the first device that is
    // not another copy's port; Names.size() when there is none.
    std::size_t DefaultChoice(TPortSide Side, const std::vector<std::string>& Names) const;
    // Closes, selects by name and reopens a side's port; in a graph, see
    // ChooseOnGraph.
    void ChoosePort(TPortSide Side, const std::string& Name, bool Only);
    // Whether a choice of that name puts a side on the graph's own port.
    bool ChoosesGraph(TPortSide Side, const std::string& Name) const;
    // Opens our own port in the graph when it is not, then connects the
    // device (the only connection when Only), or none for NoDeviceEntry.
    void ChooseOnGraph(TPortSide Side, const std::string& Name, bool Only);
    // The selector, shape and hint of a side on the graph, from its connections now.
    void ShowConnections(TPortSide Side, const std::vector<std::string>& Names);
    // Looks at the graph's sides again after the lists or connections changed.
    void RefreshGraphSides(const std::vector<std::string> (&Names)[2]);
    // A side's chosen device has gone: its port closes, its shape turns red.
    void PortLost(TPortSide Side);
    // Hears of port changes (and counts again where nothing tells of them).
    void WatchDevices(bool On);
    void PortsChanged();
    // Ends a stretch in which ports were being opened: what was heard meanwhile is dealt with now.
    void EndBusy();
    // Sets the route once both ports are open; takes it away before either closes.
    void ConnectThru();
    void DisconnectThru();

    IRoutingView* View = nullptr;
    TTransferTable Table;     // as published; the route reads its own copy
    bool InputHandled = false; // MidiInMidiInput is running
    std::array<TSideState, 2> Sides;
    std::array<std::vector<std::string>, 2> OtherCopies; // by side, as last listed
    TTraffic MainTraffic; // what the main thread took and sent itself
    struct {
        VelocityCounts In{};
        VelocityCounts Out{};
    } Played;
    int Busy = 0;                  // ports are being chosen: lists and losses wait
    bool RefreshPending = false;   // heard while busy
    bool RefreshScheduled = false; // a burst of port changes counts once
    std::unique_ptr<QTimer> PollTimer;
};
