// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The curve file a command line names. A name that exists, or that holds a
// folder, is taken as it stands. A bare name that does not exist is looked
// for among the ready-made curves: in "courbes" beside the executable in
// `appDir` (the build tree keeps them there), else in the folder the install
// rules give them, `presetDirFromAppDir` relative to `appDir`. When none has
// it, the name as given, whose opening then says that it is missing.
QString FindCurveFile(const QString& name, const QString& appDir, const QString& presetDirFromAppDir);

// The same with the ready-made curves' folder of this build's install rules.
QString FindCurveFile(const QString& name, const QString& appDir);
