// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/chart_readout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace {

// "%.0f": the nearest whole number, an exact half going to the even
// neighbour as printf does. A value just below zero reads "0", not "-0".
QString Whole(double value)
{
    return QString::number(std::nearbyint(value) + 0.0, 'f', 0);
}

} // namespace

QString FreeReadout(double In, double Out)
{
    return QStringLiteral("In = %1 -> Out = %2").arg(Whole(In), Whole(Out));
}

QString PointReadout(int Point, double In, double Out)
{
    return QStringLiteral("Pt#%1 - In = %2 -> Out = %3 (Clic)").arg(QString::number(Point), Whole(In), Whole(Out));
}

int TruncatedValue(double value)
{
    constexpr double Lowest = std::numeric_limits<int>::min();
    constexpr double Highest = std::numeric_limits<int>::max();
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(value), Lowest, Highest));
}

int PointAtSeriesPosition(const CurvePoints& given, int position)
{
    const CurvePoints points = ClampCurvePoints(given);
    // (In value, point number) in the order the values were added.
    std::vector<std::pair<int, int>> order{{0, 0}};
    for (int k = 1; k <= points.Count; ++k)
        order.emplace_back(points.In[k - 1], k);
    order.emplace_back(MaxPointValue, EndPoint);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (position < 0 || position >= int(order.size()))
        return -1;
    return order[std::size_t(position)].second;
}
