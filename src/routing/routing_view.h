// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the MIDI routing shows on the main window. The main window implements
// it; tests use a fake.

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

// Which port a selector, status shape or hint belongs to.
enum class TPortSide { Input, Output };

// The three lamps of the window.
enum class TLamp { MidiIn, MidiOut, MidiErr };

class IRoutingView {
public:
    virtual ~IRoutingView() = default;

    // Empties a device selector.
    virtual void ClearDeviceList(TPortSide side) = 0;
    // Adds names to a device selector and selects names[chosen], none when
    // `chosen` is past the end, without running the selector's change handler.
    virtual void FillDeviceList(TPortSide side, const std::vector<std::string>& names, std::size_t chosen) = 0;
    // Replaces a selector's names, keeping its current choice by name (also
    // one no longer listed, which stays shown), without running the
    // selector's change handler.
    virtual void UpdateDeviceList(TPortSide side, const std::vector<std::string>& names) = 0;
    // A selector that shows the connections of a port in a graph of ports
    // (JACK): its items become `items`, items[chosen] is shown, and its hint
    // names the ports connected now; no change handler runs.
    virtual void ShowDeviceChoices(TPortSide side, const std::vector<std::string>& items, std::size_t chosen,
                                   const std::vector<std::string>& connected) = 0;
    // The selector's current text; empty when it holds nothing.
    virtual std::string SelectedDevice(TPortSide side) const = 0;

    // Status shape: lime when open is true, red otherwise.
    virtual void ShowPortColour(TPortSide side, bool open) = 0;
    // Status shape's hint.
    virtual void ShowPortHint(TPortSide side, const std::string& hint) = 0;
    // The hourglass for the whole application while devices are listed.
    virtual void ShowWaitCursor(bool on) = 0;

    // Switches a lamp on or off.
    virtual void SetLamp(TLamp lamp, bool on) = 0;
    // Enables the timer that puts an activity lamp out; an enabled timer keeps its interval.
    virtual void EnableLampTimer(TLamp lamp) = 0;
    // "In = %d -> Out = %d" under the lamps.
    virtual void ShowLastMapping(int in, int out) = 0;

    // The counts of played velocities have changed (see
    // TMidiRouting::PlayedIn); the view shows them at its own pace.
    virtual void ShowPlayedVelocities() = 0;
    // An error of a MIDI notification's handler, shown as the default error
    // report shows errors. Handed over rather than thrown: it would cross
    // the toolkit's signal code, which exceptions must not.
    virtual void ReportError(std::exception_ptr error) = 0;
};
