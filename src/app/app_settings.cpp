#include "app/app_settings.h"

namespace {

const QString NotesOnlyKey = QStringLiteral("MIDI/NotesOnly");

} // namespace

TAppSettings::TAppSettings()
    : settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velomorph"), QStringLiteral("Velomorph"))
{
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
