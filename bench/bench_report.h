// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How every benchmark prints a figure against its target, so that bench/run
// can gather them into one summary: each such line starts with "TARGET".

#include <string>

// Prints "TARGET <what>: <value> <unit> (target <= limit) met|MISSED" for an
// upper limit; `note` follows in brackets when not empty.
void ReportUpperTarget(const std::string& what, double value, double limit, const char* unit,
                       const std::string& note = {});
// The same for a figure that must reach at least `limit`.
void ReportLowerTarget(const std::string& what, double value, double limit, const char* unit,
                       const std::string& note = {});
// A yes/no target; `note` as above (the figure before a change, what stood beside it).
void ReportTarget(const std::string& what, bool met, const std::string& figure, const std::string& note = {});
