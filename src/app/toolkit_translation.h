// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QTranslator;

// Qt's own texts (the buttons of a message box, the file dialogs, the
// command line's usage) in French whatever the user's locale, since the whole
// interface is French: makes French (France) the default locale, for the
// sizes, dates and numbers Qt formats itself, then loads qtbase_fr from Qt's
// translations folder into `translator` and installs it in the application
// object, which must exist and outlives neither. False when the translation
// is not installed (Debian package qt6-translations-l10n); Qt's texts then
// stay English, its formats French all the same. The default locale outlasts
// the application object: run once before any window or dialog, it holds
// for the whole run.
bool InstallToolkitTranslation(QTranslator& translator);
