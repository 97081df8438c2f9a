// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/session_state.h"

#include "app/app_settings.h"
#include "curve/curve_file.h"
#include "platform/exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

TSessionState ReadState(const TAppSettings& settings)
{
    return {settings.LastInput(), settings.LastOutput(), settings.NotesOnly(), settings.WindowShown()};
}

} // namespace

QString SessionCurveFile(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("courbe.dat"));
}

QString SessionStateFile(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("velomorph.conf"));
}

TSessionState ReadSessionState(const QString& folder)
{
    return ReadState(TAppSettings(SessionStateFile(folder)));
}

CurvePoints ReadSessionCurve(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        throw Exception(QStringLiteral("%1 n'est pas un dossier").arg(folder).toStdString());
    const QString curve = SessionCurveFile(folder);
    if (!QFileInfo::exists(curve))
        return DefaultCurvePoints;
    return ReadCurvePoints(NativePath(curve));
}

void WriteSessionState(const QString& settingsFile, const TSessionState& state)
{
    TAppSettings settings(settingsFile);
    settings.SetLastInput(state.Input);
    settings.SetLastOutput(state.Output);
    settings.SetNotesOnly(state.NotesOnly);
    settings.SetWindowShown(state.WindowShown);
}

void SaveSession(const QString& folder, const CurvePoints& points, const TSessionState& state)
{
    if (!QDir().mkpath(folder))
        throw Exception(QStringLiteral("Impossible de créer le dossier %1").arg(folder).toStdString());
    WriteCurveFile(NativePath(SessionCurveFile(folder)), points);
    // The settings file tells its own problems and goes on; what it holds
    // afterwards says whether the state was written.
    const QString file = SessionStateFile(folder);
    WriteSessionState(file, state);
    if (ReadState(TAppSettings(file)) != state)
        throw Exception(QStringLiteral("Impossible d'écrire dans %1").arg(file).toStdString());
}
