#pragma once

// The program's one settings file: QSettings in its native format under the
// organisation and application name "Velomorph" (on Linux
// ~/.config/Velomorph/Velomorph.conf). Curve files are files of their own.
// Main thread only.

#include <QSettings>
#include <QString>

class TAppSettings {
public:
    TAppSettings();

    // Whether only note messages go through the curve ("MIDI/NotesOnly").
    bool NotesOnly() const;
    void SetNotesOnly(bool Value);

private:
    QSettings settings;
};
