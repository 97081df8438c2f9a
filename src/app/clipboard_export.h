// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/exception.h"

#include <memory>

class QClipboard;
class QMimeData;

// The clipboard could not take the data.
class EClipboardError : public Exception {
public:
    using Exception::Exception;
};

// Puts `data` on `clipboard` in place of what it held. Qt reports no failure
// itself, so the clipboard is asked afterwards whether it holds our data; a
// missing clipboard, or one that the window system kept for another program,
// raises EClipboardError "Impossible d'ouvrir le Presse-papiers : <reason>"
// and leaves the clipboard as it was.
void PlaceOnClipboard(QClipboard* clipboard, std::unique_ptr<QMimeData> data);
