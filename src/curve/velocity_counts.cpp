// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/velocity_counts.h"

namespace {

// The lowest velocity with at least `share` of `total` notes at or below it.
int Percentile(const VelocityCounts& counts, std::uint64_t total, double share)
{
    // Rank 1 to total; (total * share) rounded up, at least the first note.
    std::uint64_t rank = static_cast<std::uint64_t>(static_cast<double>(total) * share);
    if (static_cast<double>(rank) < static_cast<double>(total) * share)
        ++rank;
    if (rank == 0)
        rank = 1;
    std::uint64_t seen = 0;
    for (int v = 1; v < 128; ++v) {
        seen += counts[static_cast<std::size_t>(v)];
        if (seen >= rank)
            return v;
    }
    return 127;
}

} // namespace

VelocitySummary SummariseVelocities(const VelocityCounts& counts)
{
    VelocitySummary summary;
    for (int v = 1; v < 128; ++v) {
        const std::uint64_t n = counts[static_cast<std::size_t>(v)];
        if (n == 0)
            continue;
        if (summary.Notes == 0)
            summary.Lowest = v;
        summary.Highest = v;
        summary.Notes += n;
    }
    if (summary.Notes == 0)
        return summary;
    summary.P15 = Percentile(counts, summary.Notes, 0.15);
    summary.Median = Percentile(counts, summary.Notes, 0.5);
    summary.P85 = Percentile(counts, summary.Notes, 0.85);
    return summary;
}

std::string PlayedSummaryText(const VelocitySummary& summary)
{
    if (summary.Notes == 0)
        return "Joué : aucune note";
    return "Joué : " + std::to_string(summary.Notes) + (summary.Notes == 1 ? " note" : " notes") + ", de "
           + std::to_string(summary.Lowest) + " à " + std::to_string(summary.Highest) + ", médiane "
           + std::to_string(summary.Median);
}

std::string PlayedVelocitiesText(const VelocityCounts& in, const VelocityCounts& out)
{
    std::string text = "Vélocité\tEntrée\tSortie\n";
    for (std::size_t v = 1; v < 128; ++v)
        text += std::to_string(v) + '\t' + std::to_string(in[v]) + '\t' + std::to_string(out[v]) + '\n';
    return text;
}
