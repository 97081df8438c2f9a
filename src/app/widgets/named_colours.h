// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

// The colours the windows name, each with its red, green and blue components.
namespace NamedColour {
inline const QColor Aqua{0, 255, 255};
inline const QColor Blue{0, 0, 255};
inline const QColor Green{0, 128, 0};
inline const QColor LightBlue{201, 221, 246};
inline const QColor Lime{0, 255, 0};
inline const QColor Maroon{128, 0, 0};
inline const QColor Navy{0, 0, 128};
inline const QColor Red{255, 0, 0};
inline const QColor Silver{192, 192, 192};
inline const QColor Yellow{255, 255, 0};
} // namespace NamedColour
