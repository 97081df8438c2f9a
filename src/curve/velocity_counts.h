// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

// How many Note Ons came with each velocity; index 0 is never counted (a
// Note On with velocity 0 is a Note Off).
using VelocityCounts = std::array<std::uint64_t, 128>;

// Where the counted velocities lie; all zero when nothing was counted.
struct VelocitySummary {
    std::uint64_t Notes = 0; // velocities counted
    int Lowest = 0;
    int P15 = 0;     // 15th percentile
    int Median = 0;
    int P85 = 0;     // 85th percentile
    int Highest = 0;

    // Same figures.
    bool operator==(const VelocitySummary&) const = default;
};

// Total, extremes and percentiles (nearest rank: the lowest velocity with at
// least that share of the notes at or below it).
VelocitySummary SummariseVelocities(const VelocityCounts& counts);

// "Joué : 412 notes, de 23 à 105, médiane 64"; "Joué : aucune note" before
// the first one.
std::string PlayedSummaryText(const VelocitySummary& summary);

// The counts as tab-separated text: the header "Vélocité\tEntrée\tSortie",
// then one line per velocity 1 to 127; every line ends with LF.
std::string PlayedVelocitiesText(const VelocityCounts& in, const VelocityCounts& out);
