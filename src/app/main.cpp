// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: the command line, then the window.
#include "app/app_settings.h"
#include "app/application.h"
#include "app/command_line.h"
#include "app/error_report.h"
#include "app/headless.h"
#include "app/main_window.h"
#include "app/qt_prompts.h"
#include "app/recovery_file.h"
#include "app/toolkit_translation.h"
#include "app/window_session.h"
#include "platform/midi/midi_services.h"
#include "platform/termination_request.h"
#include "platform/version_record.h"
#include "routing/midi_routing.h"

#include <QFile>
#include <QTranslator>

#include <cstdio>
#include <optional>

namespace {

void Print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

// Reads the command line under a console application object, before any
// display is needed. Nothing when the program goes on; else its exit code,
// once the help, the version or the error has been printed.
std::optional<int> ReadCommandLine(int argc, char** argv, TCommandLine& command)
{
    QCoreApplication console(argc, argv);
    QTranslator toolkit;
    InstallToolkitTranslation(toolkit);
    command = ParseCommandLine(QCoreApplication::arguments());
    switch (command.Action) {
    case TCommandLine::TAction::Run:
        return std::nullopt;
    case TCommandLine::TAction::ShowHelp:
        Print(stdout, command.Text);
        return 0;
    case TCommandLine::TAction::ShowVersion:
        Print(stdout, VersionLine(ReadVersionRecord(QFile::encodeName(QCoreApplication::applicationFilePath())
                                                        .toStdString())));
        return 0;
    case TCommandLine::TAction::Fail:
        Print(stderr, command.Text);
        return ExitUsage;
    }
    return ExitUsage;
}

// The session, a service manager or Ctrl-C ends the program: no question may
// wait for a person. Nothing is sent any more, and a modified curve is
// written to a recovery file whose path goes to stderr; when even that
// fails, the curve's text goes there instead.
void EndWithoutQuestion(TfmMain& window)
{
    window.SetCloseRequested(true);
    if (!window.CurveModified)
        return;
    try {
        const QString path = WriteRecoveryFile(RecoveryFolder(), window.CurrentPoints());
        Print(stderr, QStringLiteral("Velomorph : courbe modifiée enregistrée dans %1\n").arg(path));
    } catch (...) {
        Print(stderr, QStringLiteral("Velomorph : %1\nVelomorph : la courbe modifiée n'a pas pu être enregistrée ; "
                                     "la voici :\n%2")
                          .arg(CurrentExceptionText(), CurveFileText(window.CurrentPoints())));
    }
}

} // namespace

int main(int argc, char** argv)
{
    TCommandLine command;
    if (const std::optional<int> exitCode = ReadCommandLine(argc, argv, command))
        return *exitCode;
    if (command.Headless)
        return RunHeadless(argv[0], command);

    // Qt's own options are not the user's: the GUI application sees the program's name alone.
    int guiArgc = 1;
    char* guiArgv[] = {argv[0], nullptr};
    TApplication app(guiArgc, guiArgv);
    TApplication::setApplicationName(QStringLiteral("Velomorph"));
    TApplication::setDesktopFileName(QStringLiteral("velomorph"));
    QTranslator toolkit;
    InstallToolkitTranslation(toolkit);
    TAppSettings::ConfineToolkitSettings();

    QtPrompts prompts;
    QWidget* reportParent = nullptr;
    std::unique_ptr<TWindowSession> session;
    SetErrorSink([&](const QString& text) {
        if (session)
            session->Tell(text);
        prompts.ShowError(reportParent, text);
    });

    // A request to end that comes while the window is still being built ends
    // the program as soon as it is.
    TfmMain* window = nullptr;
    bool ending = false;
    InstallTerminationRequestHandler([&] {
        ending = true;
        // Under a session manager, the manager saved what it wanted.
        if (window && session)
            window->SetCloseRequested(true);
        else if (window)
            EndWithoutQuestion(*window);
        // Every event loop ends, those of open dialogs too.
        TApplication::exit(0);
    });

    // Under a session manager nothing joins the MIDI server before the
    // session is open, and the client takes the name the manager gives.
    session = TWindowSession::Start(argv[0], ending);
    if (ending) {
        SetErrorSink({});
        return 0;
    }
    // The ports exist before the window and are freed after the loop has ended.
    SetMidiClientName(session ? session->ClientId() : command.ClientName.toStdString());
    TMidiRouting routing;
    RunGuarded([&] { routing.CreateMidiPorts(); });
    int result = 0;
    {
        TfmMain fmMain(prompts, &routing);
        reportParent = &fmMain;
        window = &fmMain;
        if (session)
            session->Attach(fmMain, prompts);
        else if (!ending && !command.CurveFile.isEmpty())
            RunGuarded([&] { fmMain.OpenCurveFileFromCommandLine(command.CurveFile); });
        if (!ending) {
            if (!session)
                fmMain.show();
            result = TApplication::exec();
        }
        window = nullptr;
        reportParent = nullptr;
        routing.FreeMidiPorts();
    }
    // The MIDI clients go while the application object still runs their notifications.
    SetMidiBackend(nullptr);
    SetErrorSink({});
    return result;
}
