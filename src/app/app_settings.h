// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's one settings file, in the user's configuration folder:
// Velomorph/Velomorph.conf (on Linux ~/.config/Velomorph/Velomorph.conf), in
// the format QSettings gives organisation and application "Velomorph" there.
// Curve files are files of their own. Main thread only.

#include <QSettings>
#include <QString>

class TAppSettings {
public:
    TAppSettings();

    // Qt's file dialogs keep a history of their own in QtProject.conf;
    // from now on the toolkit's settings go to a folder that lives only as
    // long as the program, so that ours stays the only settings file.
    static void ConfineToolkitSettings();

    // Whether only note messages go through the curve ("MIDI/NotesOnly").
    bool NotesOnly() const;
    void SetNotesOnly(bool Value);
    // Whether the chart shows the played velocities ("View/PlayedVelocities").
    bool PlayedVelocities() const;
    void SetPlayedVelocities(bool Value);
    // The devices the user chose last ("MIDI/Input", "MIDI/Output"); empty
    // when none was chosen yet.
    QString LastInput() const;
    void SetLastInput(const QString& Name);
    QString LastOutput() const;
    void SetLastOutput(const QString& Name);
    // The curve file opened or saved last ("Curve/LastFile").
    QString LastCurveFile() const;
    void SetLastCurveFile(const QString& Path);
    // The folder the file dialogs open in ("Dialogs/Folder"); empty before
    // the first file was chosen.
    QString DialogFolder() const;
    void SetDialogFolder(const QString& Folder);

private:
    QString Text(const QString& key) const;
    void SetText(const QString& key, const QString& value);

    QSettings settings;
};
