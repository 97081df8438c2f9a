// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's one settings file, in the user's configuration folder:
// Velomorph/Velomorph.conf (on Linux ~/.config/Velomorph/Velomorph.conf), an
// INI file in the form Qt's INI settings give it. Curve files are files of
// their own. Main thread only.
//
// Settings are a convenience: nothing here may stop the window. The file is
// read and written through TIniFile, whose lock is tried for a few hundred
// milliseconds at most; a write that cannot be done is given up. Only the
// kinds of value the program writes (texts, yes or no) are read: another
// kind is ignored. A file larger than TIniFile::MaxFileSize is set aside as
// "Velomorph.conf.bad" and the defaults hold. Each such problem is told once
// on stderr.

#include <QString>

#include <optional>
#include <string>

class TAppSettings {
public:
    // The settings file of the user, or the one UseFile() named.
    TAppSettings();
    // The settings file at `path`: a session's state, tests.
    explicit TAppSettings(QString path);

    // From now on the program's settings are those of `path` instead of the
    // user's file: under a session manager nothing of the session goes to
    // the user's file, nor comes from it.
    static void UseFile(const QString& path);

    // Qt's file dialogs keep a history of their own in QtProject.conf;
    // from now on the toolkit's settings go to a folder that lives only as
    // long as the program, so that ours stays the only settings file.
    static void ConfineToolkitSettings();

    // The file's path.
    const QString& FileName() const { return path; }

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
    // Whether the window is shown ("Window/Shown"), kept in a session's
    // state; shown when never said.
    bool WindowShown() const;
    void SetWindowShown(bool Value);
    // The folder the file dialogs open in ("Dialogs/Folder"); empty before
    // the first file was chosen.
    QString DialogFolder() const;
    void SetDialogFolder(const QString& Folder);

private:
    // The value stored under `key` ("Section/Name") as it stands in the file.
    std::optional<std::string> Raw(const QString& key) const;
    bool Flag(const QString& key, bool defaultValue) const;
    QString Text(const QString& key) const;
    void SetText(const QString& key, const QString& value);
    void Store(const QString& key, const std::string& value);

    QString path;
};
