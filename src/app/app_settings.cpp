// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_settings.h"

#include "app/settings_text.h"
#include "platform/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/stat.h>

namespace {

const QString NotesOnlyKey = QStringLiteral("MIDI/NotesOnly");
const QString InputKey = QStringLiteral("MIDI/Input");
const QString OutputKey = QStringLiteral("MIDI/Output");
const QString CurveFileKey = QStringLiteral("Curve/LastFile");
const QString DialogFolderKey = QStringLiteral("Dialogs/Folder");
const QString WindowShownKey = QStringLiteral("Window/Shown");
const QString PlayedVelocitiesKey = QStringLiteral("View/PlayedVelocities");

// The file UseFile() named; empty for the user's.
QString& ChosenFile()
{
    static QString path;
    return path;
}

// Each problem with the settings file is told once a run: the program goes
// on with what it has.
void TellOnce(const QString& text)
{
    static QSet<QString> told;
    if (told.contains(text))
        return;
    told.insert(text);
    std::fputs(QStringLiteral("Velomorph : %1\n").arg(text).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

std::pair<std::string, std::string> SectionAndName(const QString& key)
{
    const qsizetype slash = key.indexOf(u'/');
    return {key.left(slash).toStdString(), key.mid(slash + 1).toStdString()};
}

} // namespace

TAppSettings::TAppSettings()
    : TAppSettings(!ChosenFile().isEmpty() ? ChosenFile()
                                           : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                                 + QStringLiteral("/Velomorph/Velomorph.conf"))
{
}

void TAppSettings::UseFile(const QString& path)
{
    ChosenFile() = path;
}

TAppSettings::TAppSettings(QString path)
    : path(std::move(path))
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
    return Flag(NotesOnlyKey, false);
}

void TAppSettings::SetNotesOnly(bool Value)
{
    Store(NotesOnlyKey, Value ? "true" : "false");
}

bool TAppSettings::PlayedVelocities() const
{
    return Flag(PlayedVelocitiesKey, true);
}

void TAppSettings::SetPlayedVelocities(bool Value)
{
    Store(PlayedVelocitiesKey, Value ? "true" : "false");
}

bool TAppSettings::WindowShown() const
{
    return Flag(WindowShownKey, true);
}

void TAppSettings::SetWindowShown(bool Value)
{
    Store(WindowShownKey, Value ? "true" : "false");
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

std::optional<std::string> TAppSettings::Raw(const QString& key) const
{
    const QByteArray file = QFile::encodeName(path);
    // A file too large to be a settings file is set aside, once, so that the
    // next start finds the defaults at once.
    struct stat status {};
    if (::stat(file.constData(), &status) == 0 && S_ISREG(status.st_mode)
        && static_cast<std::uintmax_t>(status.st_size) > TIniFile::MaxFileSize) {
        const QString aside = path + QStringLiteral(".bad");
        QFile::remove(aside);
        if (QFile::rename(path, aside))
            TellOnce(QStringLiteral("%1 dépasse 1 Mo ; mis de côté sous %2, réglages par défaut").arg(path, aside));
        else
            TellOnce(QStringLiteral("%1 dépasse 1 Mo ; réglages par défaut").arg(path));
        return std::nullopt;
    }
    try {
        const auto [section, name] = SectionAndName(key);
        return TIniFile(file.toStdString()).ReadDocument().Find(section, name);
    } catch (const EIniFileError& error) {
        TellOnce(QStringLiteral("%1 ; réglages par défaut").arg(QString::fromStdString(error.what())));
        return std::nullopt;
    }
}

bool TAppSettings::Flag(const QString& key, bool defaultValue) const
{
    const std::optional<std::string> raw = Raw(key);
    if (!raw)
        return defaultValue;
    const std::optional<bool> value = DecodeSettingsBool(*raw);
    if (!value)
        TellOnce(QStringLiteral("%1 : valeur de %2 ignorée").arg(path, key));
    return value.value_or(defaultValue);
}

QString TAppSettings::Text(const QString& key) const
{
    const std::optional<std::string> raw = Raw(key);
    if (!raw)
        return QString();
    const std::optional<QString> text = DecodeSettingsText(*raw);
    if (!text)
        TellOnce(QStringLiteral("%1 : valeur de %2 ignorée").arg(path, key));
    return text.value_or(QString());
}

void TAppSettings::SetText(const QString& key, const QString& value)
{
    Store(key, EncodeSettingsText(value));
}

void TAppSettings::Store(const QString& key, const std::string& value)
{
    try {
        QDir().mkpath(QFileInfo(path).absolutePath());
        const auto [section, name] = SectionAndName(key);
        TIniFile(QFile::encodeName(path).toStdString()).WriteString(section, name, value);
    } catch (const EIniFileError& error) {
        TellOnce(QStringLiteral("%1 ; réglage non enregistré").arg(QString::fromStdString(error.what())));
    }
}
