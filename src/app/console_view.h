// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The MIDI routing without a window: what the window would show goes to
// stderr as short French lines, and the devices are the ones the command
// line names (see MatchDeviceName), waited for when they are not there yet.
// Main thread only.

#include "routing/routing_view.h"

#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TConsoleView final : public IRoutingView {
public:
    // wanted: the names given for the input and the output (empty for the
    // first device); chooseAgain: asks the routing to choose a side's device
    // again, once a name that waited finds its device.
    TConsoleView(std::array<std::string, 2> wanted, std::function<void(TPortSide)> chooseAgain);

    // The last mapping shown; none before the first.
    std::optional<std::pair<int, int>> LastMapping() const { return lastMapping; }

    // IRoutingView
    void ClearDeviceList(TPortSide side) override;
    void FillDeviceList(TPortSide side, const std::vector<std::string>& names, std::size_t chosen) override;
    void UpdateDeviceList(TPortSide side, const std::vector<std::string>& names) override;
    void ShowDeviceChoices(TPortSide side, const std::vector<std::string>& items, std::size_t chosen,
                           const std::vector<std::string>& connected) override;
    std::string SelectedDevice(TPortSide side) const override;
    void ShowPortColour(TPortSide, bool) override {}
    void ShowPortHint(TPortSide side, const std::string& hint) override;
    void ShowWaitCursor(bool) override {}
    void SetLamp(TLamp, bool) override {}
    void EnableLampTimer(TLamp) override {}
    void ShowLastMapping(int in, int out) override { lastMapping = {in, out}; }
    void ShowPlayedVelocities() override {}
    void ReportError(std::exception_ptr error) override;

private:
    struct TSide {
        std::string wanted;                 // as given; empty for the first device
        std::vector<std::string> listed;
        std::string fallback;               // the device chosen when none is named
        std::string resolved;               // the device the name found
        bool reported = false;              // its absence has been told once
        std::optional<std::vector<std::string>> connected; // in a graph: what is connected to the port
        std::string hint;                   // the port's state, as last shown
        std::string printedHint;            // and as last printed
        std::unique_ptr<QTimer> settle;     // prints a state once it has held a moment
    };

    // Looks the wanted name up; true when it finds another device than before.
    bool Resolve(TPortSide side);
    TSide& Of(TPortSide side) { return sides[side == TPortSide::Input ? 0 : 1]; }
    const TSide& Of(TPortSide side) const { return sides[side == TPortSide::Input ? 0 : 1]; }

    std::array<TSide, 2> sides;
    std::function<void(TPortSide)> chooseAgain;
    std::optional<std::pair<int, int>> lastMapping;
};

// Writes one line to stderr, prefixed with the program's name.
void PrintConsoleLine(const QString& text);
