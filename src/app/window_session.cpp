// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_session.h"

#include "app/app_settings.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "curve/curve_file.h"
#include "platform/exception.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFile>

std::unique_ptr<TWindowSession> TWindowSession::Start(const std::string& executable, const bool& ending)
{
    // Until the session opens there is no window to show.
    std::unique_ptr<TNsmClient> client = TNsmClient::Start(NsmWindowCapabilities, executable, false, ending);
    if (!client)
        return nullptr;
    return std::make_unique<TWindowSession>(std::move(client));
}

TWindowSession::TWindowSession(std::unique_ptr<TNsmClient> client)
    : client(std::move(client))
{
    const QString settings = settingsFolder.filePath(QStringLiteral("Velomorph.conf"));
    WriteSessionState(settings, ReadSessionState(Folder()));
    TAppSettings::UseFile(settings);
}

TWindowSession::~TWindowSession()
{
    TAppSettings::UseFile({});
}

QString TWindowSession::Folder() const
{
    return QString::fromStdString(client->Session().Path);
}

void TWindowSession::Attach(TfmMain& window, IPrompts& prompts)
{
    this->window = &window;
    this->prompts = &prompts;
    QString openError;
    try {
        // Read whole first: a curve that does not load leaves the default one.
        ReadSessionCurve(Folder());
        window.OpenCurveFile(SessionCurveFile(Folder()));
    } catch (const std::exception& error) {
        openError = QString::fromStdString(error.what());
    }
    window.CurveModified = false;
    savedPoints = window.CurrentPoints();
    savedNotesOnly = window.ActMidiNotesOnly->isChecked();
    window.Session = this;
    // Only the manager ends the program: a box closed while the window is
    // hidden must not end it as the last window closed.
    QApplication::setQuitOnLastWindowClosed(false);

    window.ActGraphOpen->setText(QStringLiteral("Importer dans la session…"));
    window.ActGraphSaveAs->setText(QStringLiteral("Exporter…"));
    ShowCaption();
    connect(window.ActMidiNotesOnly, &QAction::toggled, this, [this] { UpdateDirty(); });
    window.installEventFilter(this);

    client->SetHandlers({
        [this] {
            const QString error = Save();
            client->ReplySave(error);
        },
        [this](bool show) { this->window->setVisible(show); },
    });
    client->ReplyOpen(openError);
    if (!openError.isEmpty())
        Tell(openError);
    window.setVisible(ReadSessionState(Folder()).WindowShown);
    client->SendGuiShown(window.isVisible());
}

void TWindowSession::ShowCaption()
{
    window->setWindowTitle(
        QStringLiteral("Velomorph - %1").arg(QString::fromStdString(client->Session().DisplayName)));
}

QString TWindowSession::Save()
{
    const TSessionState state{TAppSettings().LastInput(), TAppSettings().LastOutput(),
                              window->ActMidiNotesOnly->isChecked(), window->isVisible()};
    const CurvePoints points = window->CurrentPoints();
    try {
        ::SaveSession(Folder(), points, state);
    } catch (const std::exception& error) {
        return QString::fromStdString(error.what());
    }
    savedPoints = points;
    savedNotesOnly = state.NotesOnly;
    window->CurveModified = false;
    client->SendClean();
    return {};
}

void TWindowSession::UpdateDirty()
{
    if (window->CurrentPoints() != savedPoints || window->ActMidiNotesOnly->isChecked() != savedNotesOnly)
        client->SendDirty();
}

void TWindowSession::ImportIntoSession()
{
    const std::optional<QString> path = prompts->ChooseFileToOpen(window, window->OpenDialog1);
    if (!path)
        return;
    // Read whole first: a file that does not load leaves the curve as it was.
    ReadCurvePoints(QFile::encodeName(*path).toStdString());
    window->OpenCurveFile(*path);
    ShowCaption();
    UpdateDirty();
}

void TWindowSession::SaveSession()
{
    if (const QString error = Save(); !error.isEmpty())
        throw Exception(error.toStdString());
}

void TWindowSession::ExportCurve()
{
    if (const std::optional<QString> path = prompts->ChooseFileToSave(window, window->SaveDialog1))
        WriteCurveFile(QFile::encodeName(*path).toStdString(), window->CurrentPoints());
}

void TWindowSession::CloseWindow()
{
    window->hide();
}

void TWindowSession::CurveChanged()
{
    UpdateDirty();
}

bool TWindowSession::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        client->SendGuiShown(event->type() == QEvent::Show);
    return QObject::eventFilter(watched, event);
}
