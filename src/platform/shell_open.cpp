// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <utility>

namespace {

bool OpenWithDesktop(const QString& path, int /*showCmd*/)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

DocumentOpener& Opener()
{
    static DocumentOpener opener = OpenWithDesktop;
    return opener;
}

} // namespace

void SetDocumentOpener(DocumentOpener opener)
{
    Opener() = opener ? std::move(opener) : DocumentOpener(OpenWithDesktop);
}

bool OpenDocument(const QString& Path, int ShowCmd)
{
    return Opener()(Path, ShowCmd);
}

void OpenDocumentIfExists(const QString& Path)
{
    try {
        if (QFileInfo(Path).isFile())
            OpenDocument(Path, SW_SHOWNORMAL);
    } catch (...) {
        // Opening the read-me is a courtesy: whatever goes wrong, nothing is reported.
    }
}
