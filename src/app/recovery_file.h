// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"

#include <QString>

// Where a modified curve goes when the program must end without asking
// (logout, service stop, Ctrl-C): a curve file in the user's data folder.

// Name of the first recovery file; the next ones are velomorph-recovered-2.dat, -3, ...
inline const QString RecoveryFileName = QStringLiteral("velomorph-recovered.dat");

// The user's data folder for this program (QStandardPaths::AppLocalDataLocation).
QString RecoveryFolder();

// Writes `points` as a curve file into `folder` (created when missing) under
// the first recovery name that no file has yet, so that an earlier recovery,
// or another copy of the program ending at the same moment, is never
// overwritten. The file is created exclusively, never through a link, and
// written and flushed through the descriptor that created it. Returns the
// path of the file written; raises "Impossible d'écrire dans <path>" when
// it cannot be written.
QString WriteRecoveryFile(const QString& folder, const CurvePoints& points);

// The curve file's text for `points`, for when no file can be written.
QString CurveFileText(const CurvePoints& points);
