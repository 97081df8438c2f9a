// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// Opening a document with the application that the desktop associates with
// it, as a double click in the file manager would.

// Show command asking for a normally sized window.
inline constexpr int SW_SHOWNORMAL = 1;

// What asks the desktop to open a document: the path and the show command,
// true when the desktop accepted. The default hands the file's URL to
// QDesktopServices::openUrl.
using DocumentOpener = std::function<bool(const QString& path, int showCmd)>;

// Replaces the opener (tests watch what the shell is asked); an empty one
// restores the default.
void SetDocumentOpener(DocumentOpener opener);

// Asks the desktop to open the document at Path; true when it accepted. The
// desktop chooses the window's state itself, so ShowCmd only reaches the
// opener.
bool OpenDocument(const QString& Path, int ShowCmd);

// Opens the file at Path normally when a file exists there. A missing file,
// a refusal or any error on the way is dropped without a word.
void OpenDocumentIfExists(const QString& Path);
