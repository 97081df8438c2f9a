// SPDX-License-Identifier: GPL-3.0-or-later
// The "Aide" menu: the read-me and the About box.
#include "app/main_window.h"

#include "app/about_box.h"
#include "platform/shell_open.h"

#include <QPointer>
#include <QScopeGuard>

void TfmMain::ActAppReadmeExecute(QObject* /*Sender*/)
{
    OpenDocumentIfExists(ReadmePath);
}

void TfmMain::ActAppAboutExecute(QObject* /*Sender*/)
{
    // A fresh box each time, gone once it has closed, also when showing it
    // failed; the guard copes with a box that its owner already deleted.
    const QPointer<TfmAbout> box = new TfmAbout(this);
    const auto release = qScopeGuard([&box] { delete box.data(); });
    box->exec();
}
