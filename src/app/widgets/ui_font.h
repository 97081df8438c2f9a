#pragma once

#include <QFont>

// The program's font: Tahoma 8 pt (11 px) where installed, else the system
// sans-serif at 11 px; bold for the captions that ask for it.
QFont UiFont(bool bold = false);
