// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/headless_session.h"

#include "app/session_state.h"
#include "curve/curve_file.h"

#include <QFile>
#include <QFileInfo>

std::unique_ptr<THeadlessSession> THeadlessSession::Start(const std::string& executable, const bool& ending)
{
    std::unique_ptr<TNsmClient> client = TNsmClient::Start(NsmHeadlessCapabilities, executable, std::nullopt, ending);
    if (!client)
        return nullptr;
    return std::make_unique<THeadlessSession>(std::move(client));
}

THeadlessSession::THeadlessSession(std::unique_ptr<TNsmClient> client)
    : client(std::move(client))
{
}

QString THeadlessSession::Folder() const
{
    return QString::fromStdString(client->Session().Path);
}

TCommandLine THeadlessSession::Command(const TCommandLine& given)
{
    command = given;
    command.ClientName = QString::fromStdString(client->Session().ClientId);
    command.CurveFile.clear();
    try {
        ReadSessionCurve(Folder());
        if (QFileInfo::exists(SessionCurveFile(Folder())))
            command.CurveFile = SessionCurveFile(Folder());
    } catch (const std::exception& error) {
        openError = QString::fromStdString(error.what());
    }
    const TSessionState state = ReadSessionState(Folder());
    if (command.InputName.isEmpty())
        command.InputName = state.Input;
    if (command.OutputName.isEmpty())
        command.OutputName = state.Output;
    command.NotesOnly = command.NotesOnly || state.NotesOnly;
    windowShown = state.WindowShown;
    return command;
}

void THeadlessSession::Ready()
{
    client->SetHandlers({[this] {
                             const QString error = Save();
                             client->ReplySave(error);
                             if (error.isEmpty())
                                 client->SendClean();
                         },
                         {}});
    client->ReplyOpen(openError);
    if (!openError.isEmpty())
        Tell(openError);
}

QString THeadlessSession::Save() const
{
    try {
        // The curve in use is the file's, read again whenever it changes;
        // a session without one yet runs the default curve. A file that no
        // longer reads is left as it is, for its author to mend.
        const QString curve = SessionCurveFile(Folder());
        const CurvePoints points
            = QFileInfo::exists(curve) ? ReadCurvePoints(QFile::encodeName(curve).toStdString()) : DefaultCurvePoints;
        SaveSession(Folder(), points, {command.InputName, command.OutputName, command.NotesOnly, windowShown});
    } catch (const std::exception& error) {
        return QString::fromStdString(error.what());
    }
    return {};
}
