// SPDX-License-Identifier: GPL-3.0-or-later
#include "latency_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double NearestRank(const std::vector<double>& sorted, double fraction)
{
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

} // namespace

LatencySummary Summarize(std::vector<double>& values)
{
    LatencySummary s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.p50 = NearestRank(values, 0.50);
    s.p90 = NearestRank(values, 0.90);
    s.p99 = NearestRank(values, 0.99);
    s.p999 = NearestRank(values, 0.999);
    s.max = values.back();
    return s;
}

std::string FormatSummary(const LatencySummary& s, const char* unit, int decimals)
{
    char text[256];
    std::snprintf(text, sizeof text, "p50 %.*f %s  p90 %.*f %s  p99 %.*f %s  p99.9 %.*f %s  max %.*f %s", decimals,
                  s.p50, unit, decimals, s.p90, unit, decimals, s.p99, unit, decimals, s.p999, unit, decimals, s.max,
                  unit);
    return text;
}
