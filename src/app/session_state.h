// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a session manager's folder holds for the program: the curve,
// "courbe.dat" in the usual curve file format, and the state,
// "velomorph.conf" (the chosen devices, "Notes seulement", whether the
// window is shown) in the settings file's format. Main thread only.

#include "curve/curve_points.h"

#include <QString>

struct TSessionState {
    QString Input;  // device names; empty when none was chosen
    QString Output;
    bool NotesOnly = false;
    bool WindowShown = true;
    bool operator==(const TSessionState&) const = default;
};

QString SessionCurveFile(const QString& folder);
QString SessionStateFile(const QString& folder);

// The state of the folder; the defaults for what it does not say, and for a
// folder that does not exist yet.
TSessionState ReadSessionState(const QString& folder);
// The curve of the folder; the default curve when it has none yet. Raises
// Exception when the folder or its curve file cannot be read.
CurvePoints ReadSessionCurve(const QString& folder);
// Writes both files whole, the folder created when missing; raises
// Exception with the reason when either cannot be written.
void SaveSession(const QString& folder, const CurvePoints& points, const TSessionState& state);
// Writes the state into a settings file (the program's own while a session runs).
void WriteSessionState(const QString& settingsFile, const TSessionState& state);
