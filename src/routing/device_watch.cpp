// SPDX-License-Identifier: GPL-3.0-or-later
// Live device lists: the selectors follow the devices that come and go, a
// choice is always a name, and a chosen device that goes away is waited for
// and opened again once it is back. Nothing here shows a box: the user did
// nothing; the status shapes and their hints say what happened.
#include "routing/midi_routing.h"

#include "routing/port_hints.h"
#include "routing/side_ports.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <type_traits>

namespace {

// Where nothing tells of new ports (the ALSA sequencer, or JACK before a
// server runs), the lists are counted again this often.
constexpr std::chrono::milliseconds PollInterval{2000};

bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

void TMidiRouting::WatchDevices(bool On)
{
    if (!On) {
        SetMidiPortsChangedHandler({});
        PollTimer.reset();
        return;
    }
    SetMidiPortsChangedHandler([this] { PortsChanged(); });
    PollTimer = std::make_unique<QTimer>();
    PollTimer->setInterval(PollInterval);
    QObject::connect(PollTimer.get(), &QTimer::timeout, [this] {
        if (!MidiPortChangesReported())
            RefreshDeviceLists();
    });
    PollTimer->start();
}

void TMidiRouting::PortsChanged()
{
    // A burst of changes (a program registering its ports) counts once,
    // from the event loop.
    if (RefreshScheduled)
        return;
    RefreshScheduled = true;
    QTimer::singleShot(0, PollTimer.get(), [this] {
        RefreshScheduled = false;
        RefreshDeviceLists();
    });
}

void TMidiRouting::RefreshDeviceLists()
{
    if (ShuttingDown || !View)
        return;
    // Never while a port is being chosen: its wait runs the event loop.
    if (Busy > 0) {
        RefreshPending = true;
        return;
    }
    std::vector<std::string> names[2];
    for (const TPortSide side : {TPortSide::Input, TPortSide::Output}) {
        if (!Port(side))
            continue;
        names[Index(side)] =
            WithPort(side, [](auto& port) { return std::remove_cvref_t<decltype(port)>::DeviceNames(); });
        if (!Sides[Index(side)].OnGraph)
            View->UpdateDeviceList(side, names[Index(side)]);
    }
    for (const TPortSide side : {TPortSide::Input, TPortSide::Output}) {
        TSideState& state = Sides[Index(side)];
        if (state.OnGraph || !Port(side))
            continue;
        const bool open = WithPort(side, [](auto& port) { return IsOpen(port); });
        const bool listed = Contains(names[Index(side)], state.Wanted);
        // Our own port went with its server: it opens again with the next.
        if (state.GraphLost) {
            if (MidiGraphAvailable())
                ChoosePort(side, state.Wanted, false);
        }
        // Some servers tell nothing of a device that goes: its name leaving
        // the list says it.
        else if (open && !state.Wanted.empty() && !listed)
            PortLost(side);
        else if (state.Lost && listed)
            ChoosePort(side, state.Wanted, false);
    }
    RefreshGraphSides(names);
}

void TMidiRouting::ChoosePort(TPortSide Side, const std::string& Name, bool Only)
{
    if (ChoosesGraph(Side, Name)) {
        ChooseOnGraph(Side, Name, Only);
        return;
    }
    TSideState& state = Sides[Index(Side)];
    ++Busy;
    state.Wanted = Name;
    state.Lost = false;
    state.LostPending = false;
    state.GraphLost = false;
    SetPortOpen(Side, false);
    state.OnGraph = false;
    // A device chosen from a list that changed meanwhile is looked up by
    // name: when it has gone, no other device opens in its place.
    const bool found = Name.empty() || SelectDeviceByName(Side, Name);
    // Nothing chosen among ports that are all another copy's: the port
    // stays closed rather than take one.
    const bool onlyOtherCopies = Name.empty() && !OtherCopies[Index(Side)].empty();
    if (found && !onlyOtherCopies)
        SetPortOpen(Side, true);
    else if (!found)
        state.LostPending = true;
    EndBusy();
}

void TMidiRouting::PortLost(TPortSide Side)
{
    if (ShuttingDown)
        return;
    TSideState& state = Sides[Index(Side)];
    if (Busy > 0) {
        state.LostPending = true;
        return;
    }
    state.Lost = true;
    // Our own port in the graph goes only with its server.
    if (state.OnGraph) {
        state.OnGraph = false;
        state.GraphLost = true;
    }
    ++Busy;
    DisconnectThru();
    // The port closes; what the device held goes with it.
    if (Port(Side)) {
        try {
            WithPort(Side, [](auto& port) { CloseDevice(port); });
        } catch (const Exception&) {
        }
    }
    if (View) {
        View->ShowPortColour(Side, false);
        View->ShowPortHint(Side, LostHints[Index(Side)]);
    }
    EndBusy();
}

void TMidiRouting::EndBusy()
{
    if (--Busy > 0)
        return;
    for (const TPortSide side : {TPortSide::Input, TPortSide::Output}) {
        if (Sides[Index(side)].LostPending) {
            Sides[Index(side)].LostPending = false;
            PortLost(side);
        }
    }
    if (RefreshPending) {
        RefreshPending = false;
        RefreshDeviceLists();
    }
}
