// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/preset_curves.h"

#include "curve/curve_fit.h"

#include <algorithm>
#include <cmath>

CurvePoints PresetCurvePoints(const PresetCurve& preset)
{
    if (preset.Exponent == 1.0) {
        CurvePoints line{};
        for (std::size_t k = 0; k < line.In.size(); ++k)
            line.In[k] = line.Out[k] = std::min(MaxPointValue, 16 * static_cast<int>(k + 1));
        return line;
    }
    TargetCurve target{};
    for (std::size_t x = 0; x < target.size(); ++x)
        target[x] = MaxPointValue * std::pow(static_cast<double>(x) / MaxPointValue, preset.Exponent);
    return FitCurvePoints(target, 1, MaxPointValue);
}

CurvePoints FixedVelocityPoints(int velocity)
{
    const int v = std::clamp(velocity, 1, MaxPointValue);
    // From the origin straight up to (1, v), then level to the end.
    CurvePoints points{};
    points.Count = 1;
    points.In.fill(MaxPointValue);
    points.Out.fill(v);
    points.In[0] = 1;
    return points;
}
