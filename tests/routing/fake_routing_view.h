// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "routing/routing_view.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Records what the routing shows instead of a window. onInputLamp, when
// set, runs each time the input lamp lights, inside the input handler.
class FakeRoutingView final : public IRoutingView {
public:
    std::function<void()> onInputLamp;
    std::map<TPortSide, std::vector<std::string>> lists;
    std::map<TPortSide, std::string> selection; // as a selector shows it
    std::map<TPortSide, std::optional<bool>> colours; // true: lime; unset: never painted
    std::map<TPortSide, std::string> hints;
    std::map<TPortSide, std::vector<std::string>> connections; // as a graph selector's hint names them
    std::map<TLamp, bool> lamps;
    std::vector<std::pair<int, int>> mappings;
    std::vector<std::exception_ptr> errors; // what notification handlers reported
    int waitCursorDepth = 0;
    int playedShown = 0; // times the played velocities were said to have changed

    void ClearDeviceList(TPortSide side) override { lists[side].clear(); }
    void FillDeviceList(TPortSide side, const std::vector<std::string>& names, std::size_t chosen) override
    {
        lists[side].insert(lists[side].end(), names.begin(), names.end());
        selection[side] = chosen < names.size() ? names[chosen] : std::string();
    }
    void UpdateDeviceList(TPortSide side, const std::vector<std::string>& names) override
    {
        const std::string chosen = SelectedDevice(side);
        lists[side] = names;
        if (!chosen.empty()) {
            std::erase(lists[side], chosen);
            lists[side].insert(lists[side].begin(), chosen);
        }
        selection[side] = chosen.empty() && !lists[side].empty() ? lists[side].front() : chosen;
    }
    void ShowDeviceChoices(TPortSide side, const std::vector<std::string>& items, std::size_t chosen,
                           const std::vector<std::string>& shownConnections) override
    {
        lists[side] = items;
        selection[side] = chosen < items.size() ? items[chosen] : std::string();
        connections[side] = shownConnections;
    }
    std::string SelectedDevice(TPortSide side) const override
    {
        const auto it = selection.find(side);
        return it == selection.end() ? std::string() : it->second;
    }
    void ShowPortColour(TPortSide side, bool open) override { colours[side] = open; }
    void ShowPortHint(TPortSide side, const std::string& hint) override { hints[side] = hint; }
    void ShowWaitCursor(bool on) override { waitCursorDepth += on ? 1 : -1; }
    void SetLamp(TLamp lamp, bool on) override
    {
        lamps[lamp] = on;
        if (lamp == TLamp::MidiIn && on && onInputLamp)
            onInputLamp();
    }
    void EnableLampTimer(TLamp) override {}
    void ShowLastMapping(int in, int out) override { mappings.emplace_back(in, out); }
    void ShowPlayedVelocities() override { ++playedShown; }
    void ReportError(std::exception_ptr error) override { errors.push_back(error); }
};
