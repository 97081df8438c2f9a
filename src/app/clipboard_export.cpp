// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/clipboard_export.h"

#include <QClipboard>
#include <QMimeData>
#include <QPointer>

namespace {

[[noreturn]] void Fail(const char* reason)
{
    throw EClipboardError(std::string("Impossible d'ouvrir le Presse-papiers : ") + reason);
}

} // namespace

void PlaceOnClipboard(QClipboard* clipboard, std::unique_ptr<QMimeData> data)
{
    if (!clipboard)
        Fail("no clipboard is available");
    // The clipboard owns the data from here on and may delete it at any time.
    const QPointer<QMimeData> placed(data.get());
    clipboard->setMimeData(data.release());
    if (!placed || clipboard->mimeData() != placed.data())
        Fail("the window system kept the clipboard for another program");
}
