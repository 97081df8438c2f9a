// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Name of the read-me file.
inline const QString ReadmeFileName = QStringLiteral("a_lire.txt");

// Where "Lisez-moi..." finds the read-me: beside the executable in `appDir`
// (a folder path ending with its separator; the build tree keeps it there),
// else in the documents' folder that the install rules give it,
// `docDirFromAppDir` relative to `appDir`. When neither holds the file, the
// path beside the executable, where the action then finds nothing.
QString FindReadme(const QString& appDir, const QString& docDirFromAppDir);

// The same with the documents' folder of this build's install rules.
QString FindReadme(const QString& appDir);
