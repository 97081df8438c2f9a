// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/chart_series.h"

#include <QWidget>
#include <algorithm>
#include <cmath>
#include <stdexcept>

TChartSeries::TChartSeries(Kind kind, QWidget* owner)
    : FKind(kind)
    , FOwner(owner)
{
}

void TChartSeries::Changed()
{
    if (FOwner)
        FOwner->update();
}

void TChartSeries::Clear()
{
    if (FValues.empty())
        return;
    FValues.clear();
    Changed();
}

int TChartSeries::Add(double x, double y, std::optional<QColor> color)
{
    // A NaN would break the ordering and an infinity cannot be drawn.
    if (!std::isfinite(x) || !std::isfinite(y))
        throw std::invalid_argument("Chart value is not a finite number");
    const auto at = std::upper_bound(FValues.begin(), FValues.end(), x,
                                     [](double key, const TChartValue& v) { return key < v.X; });
    const auto inserted = FValues.insert(at, TChartValue{x, y, std::move(color)});
    Changed();
    return int(inserted - FValues.begin());
}

const TChartValue& TChartSeries::Value(int index) const
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("Chart value index out of range");
    return FValues[std::size_t(index)];
}

void TChartSeries::SetColor(const QColor& c)
{
    if (c == FColor)
        return;
    FColor = c;
    Changed();
}
