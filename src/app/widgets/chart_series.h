// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <optional>
#include <vector>

class QWidget;

// One value of a series; no colour means the series colour.
struct TChartValue {
    double X;
    double Y;
    std::optional<QColor> Color;
};

// The values of one chart series, kept in ascending order of X. Every change
// repaints the chart that owns the series.
class TChartSeries {
public:
    // How the series is drawn: a line through its values, or square markers.
    enum class Kind { Line, Points };

    // A red series of the given kind, repainting `owner` on every change.
    TChartSeries(Kind kind, QWidget* owner);
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    // Line or points.
    Kind GetKind() const { return FKind; }
    // Removes every value.
    void Clear();
    // Inserts a value in X order, after any value with the same X, and returns
    // its position. A value that is not a finite number is refused with
    // std::invalid_argument and the series is left as it was.
    int Add(double x, double y, std::optional<QColor> color = std::nullopt);
    // Number of values.
    int Count() const { return int(FValues.size()); }
    // The value at a position; std::out_of_range outside 0 to Count() - 1.
    const TChartValue& Value(int index) const;
    // Colour of the line, and of the markers that have none of their own.
    QColor Color() const { return FColor; }
    void SetColor(const QColor& c);
    // Half the side of a marker: squares reach this far to each side of the
    // point (3 for points, 0 for a line).
    int MarkerHalfSize() const { return FKind == Kind::Points ? 3 : 0; }

private:
    void Changed();

    Kind FKind;
    QWidget* FOwner;
    QColor FColor = Qt::red;
    std::vector<TChartValue> FValues;
};
