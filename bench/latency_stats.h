// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Order statistics of a set of latencies, as the benchmarks report them.

#include <cstddef>
#include <string>
#include <vector>

struct LatencySummary {
    std::size_t count = 0;
    double p50 = 0;
    double p90 = 0;
    double p99 = 0;
    double p999 = 0;
    double max = 0;
};

// Percentiles by the nearest-rank rule; all zero for an empty set. Sorts `values`.
LatencySummary Summarize(std::vector<double>& values);

// "p50 12.3  p90 ...  max ..." with the unit after each figure.
std::string FormatSummary(const LatencySummary& s, const char* unit, int decimals = 1);
