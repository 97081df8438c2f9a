// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a device named on the command line is found among the listed ones:
// its exact name first, else the one name that holds it, whatever the case.

#include <string>
#include <vector>

struct TDeviceMatch {
    enum class TKind {
        Found,     // Name is the device
        Missing,   // no name matches (yet)
        Ambiguous, // several names hold it; Candidates lists them
    };
    TKind Kind = TKind::Missing;
    std::string Name;
    std::vector<std::string> Candidates;
};

TDeviceMatch MatchDeviceName(const std::vector<std::string>& names, const std::string& wanted);
