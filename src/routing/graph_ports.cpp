// SPDX-License-Identifier: GPL-3.0-or-later
// The ports in a graph of ports (JACK, PipeWire's JACK): our own input and
// output are open for as long as the server runs and carry whatever any
// client connects to them (a patchbay, a session manager, a script, our
// own selectors). The selectors show and set the connections; they never
// gate the traffic. Nothing here shows a box: the shapes say what is
// connected.
#include "routing/midi_routing.h"

#include "platform/midi/midi_services.h"
#include "routing/port_errors.h"
#include "routing/port_hints.h"
#include "routing/side_ports.h"

#include <algorithm>
#include <string>
#include <type_traits>

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

bool TMidiRouting::ChoosesGraph(TPortSide Side, const std::string& Name) const
{
    if (!MidiGraphAvailable())
        return false;
    if (Name.empty() || Name == NoDeviceEntry || midiIsGraphDevice(Side == TPortSide::Input, Name))
        return true;
    // A device that is not there now is waited for on our own port, which
    // carries what is connected meanwhile; a device of another server (the
    // ALSA sequencer) is opened as such.
    const std::vector<std::string> names =
        Side == TPortSide::Input ? TMidiInput::DeviceNames() : TMidiOutput::DeviceNames();
    return !Contains(names, Name);
}

void TMidiRouting::ChooseOnGraph(TPortSide Side, const std::string& Name, bool Only)
{
    TSideState& state = Sides[Index(Side)];
    const bool input = Side == TPortSide::Input;
    ++Busy;
    state.Wanted = Name == NoDeviceEntry ? std::string() : Name;
    state.Lost = false;
    state.LostPending = false;
    state.GraphLost = false;
    const auto connect = [&] {
        if (Only) {
            for (const std::string& connected : midiGraphConnections(input)) {
                if (connected != state.Wanted)
                    midiConnectGraph(input, connected, false);
            }
        }
        if (!state.Wanted.empty()) {
            if (midiIsGraphDevice(input, state.Wanted))
                midiConnectGraph(input, state.Wanted, true);
            else
                state.Lost = true;
        }
    };
    if (state.OnGraph) {
        connect();
    } else {
        SetPortOpen(Side, false);
        IgnoringPortErrors([&] { WithPort(Side, [](auto& port) { port.SetDeviceID(MIDI_GRAPHPORT); }); });
        // The device is connected as the port opens, before its wait, as
        // a device is opened.
        SetPortOpen(Side, true, [&] {
            state.OnGraph = true;
            connect();
        });
    }
    ShowConnections(Side, WithPort(Side, [](auto& port) { return std::remove_cvref_t<decltype(port)>::DeviceNames(); }));
    EndBusy();
}

void TMidiRouting::ShowConnections(TPortSide Side, const std::vector<std::string>& Names)
{
    TSideState& state = Sides[Index(Side)];
    if (ShuttingDown || !View || !state.OnGraph)
        return;
    const std::vector<std::string> connected = midiGraphConnections(Side == TPortSide::Input);
    std::vector<std::string> items{NoDeviceEntry};
    items.insert(items.end(), Names.begin(), Names.end());
    std::size_t chosen = 0;
    state.ManyEntry.clear();
    if (connected.size() == 1) {
        // A port that is not in the list (one of our own) is shown all the same.
        const auto found = std::find(items.begin(), items.end(), connected.front());
        if (found == items.end())
            items.push_back(connected.front());
        chosen = found == items.end() ? items.size() - 1 : static_cast<std::size_t>(found - items.begin());
    } else if (connected.size() > 1) {
        state.ManyEntry = std::to_string(connected.size()) + " appareils";
        items.push_back(state.ManyEntry);
        chosen = items.size() - 1;
    }
    View->ShowDeviceChoices(Side, items, chosen, connected);
    View->ShowPortColour(Side, !connected.empty());
    // With nothing connected, a chosen device that has gone is what the hint tells.
    const char* const hint = !connected.empty() ? OpenHints[Index(Side)]
        : state.Lost                            ? LostHints[Index(Side)]
                                                : UnconnectedHints[Index(Side)];
    View->ShowPortHint(Side, hint);
}

void TMidiRouting::RefreshGraphSides(const std::vector<std::string> (&Names)[2])
{
    for (const TPortSide side : {TPortSide::Input, TPortSide::Output}) {
        TSideState& state = Sides[Index(side)];
        if (!state.OnGraph)
            continue;
        const bool listed = Contains(Names[Index(side)], state.Wanted);
        if (!state.Wanted.empty() && !listed) {
            state.Lost = true;
        } else if (state.Lost && listed) {
            // The chosen device is back: connected again beside whatever is
            // connected by then; one of another server is opened instead.
            state.Lost = false;
            if (midiIsGraphDevice(side == TPortSide::Input, state.Wanted))
                midiConnectGraph(side == TPortSide::Input, state.Wanted, true);
            else
                ChoosePort(side, state.Wanted, false);
        }
        ShowConnections(side, Names[Index(side)]);
    }
}
