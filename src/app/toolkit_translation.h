// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QTranslator;

// Qt's own texts (the buttons of a message box, the file dialogs, the
// command line's usage) in French whatever the user's locale, since the whole
// interface is French: loads qtbase_fr from Qt's translations folder into
// `translator` and installs it in the application object, which must exist
// and outlives neither. False when the translation is not installed (Debian
// package qt6-translations-l10n); Qt's texts then stay English.
bool InstallToolkitTranslation(QTranslator& translator);
