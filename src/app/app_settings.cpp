// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_settings.h"

#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QString NotesOnlyKey = QStringLiteral("MIDI/NotesOnly");
const QString PlayedVelocitiesKey = QStringLiteral("View/PlayedVelocities");
const QString InputKey = QStringLiteral("MIDI/Input");
const QString OutputKey = QStringLiteral("MIDI/Output");
const QString CurveFileKey = QStringLiteral("Curve/LastFile");
const QString DialogFolderKey = QStringLiteral("Dialogs/Folder");

} // namespace

TAppSettings::TAppSettings()
    : settings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                   + QStringLiteral("/Velomorph/Velomorph.conf"),
               QSettings::IniFormat)
{
}

void TAppSettings::ConfineToolkitSettings()
{
    static const QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
}

bool TAppSettings::NotesOnly() const
{
    return settings.value(NotesOnlyKey, false).toBool();
}

void TAppSettings::SetNotesOnly(bool Value)
{
    settings.setValue(NotesOnlyKey, Value);
    settings.sync();
}

bool TAppSettings::PlayedVelocities() const
{
    return settings.value(PlayedVelocitiesKey, true).toBool();
}

void TAppSettings::SetPlayedVelocities(bool Value)
{
    settings.setValue(PlayedVelocitiesKey, Value);
    settings.sync();
}

QString TAppSettings::LastInput() const
{
    return Text(InputKey);
}

void TAppSettings::SetLastInput(const QString& Name)
{
    SetText(InputKey, Name);
}

QString TAppSettings::LastOutput() const
{
    return Text(OutputKey);
}

void TAppSettings::SetLastOutput(const QString& Name)
{
    SetText(OutputKey, Name);
}

QString TAppSettings::LastCurveFile() const
{
    return Text(CurveFileKey);
}

void TAppSettings::SetLastCurveFile(const QString& Path)
{
    SetText(CurveFileKey, Path);
}

QString TAppSettings::DialogFolder() const
{
    return Text(DialogFolderKey);
}

void TAppSettings::SetDialogFolder(const QString& Folder)
{
    SetText(DialogFolderKey, Folder);
}

QString TAppSettings::Text(const QString& key) const
{
    return settings.value(key).toString();
}

void TAppSettings::SetText(const QString& key, const QString& value)
{
    settings.setValue(key, value);
    settings.sync();
}
