// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: the command line, then the window.
#include "app/app_settings.h"
#include "app/application.h"
#include "app/command_line.h"
#include "app/curve_location.h"
#include "app/error_report.h"
#include "app/headless.h"
#include "app/main_window.h"
#include "app/qt_prompts.h"
#include "app/recovery_file.h"
#include "app/toolkit_translation.h"
#include "app/window_session.h"
#include "platform/file_name.h"
#include "platform/midi/midi_services.h"
#include "platform/termination_request.h"
#include "platform/version_record.h"
#include "routing/midi_routing.h"

#include <QFile>
#include <QTranslator>

#include <cstdio>
#include <mutex>
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
    // A file name is bytes: each argument keeps its own, also those that are
    // not UTF-8, so that any file that exists can be named.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << DecodeFileName(QByteArray(argv[i]));
    command = ParseCommandLine(arguments);
    command.CurveFile = FindCurveFile(command.CurveFile, QCoreApplication::applicationDirPath());
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

// The curve as the window last showed it, kept where a thread other than
// the main one may read it: a request to end that finds the main thread held
// up still saves it. Each modified curve is recovered once.
class TUnsavedCurve {
public:
    // Main thread: after each change of the window's curve or of its state.
    void Update(const TfmMain& window)
    {
        const std::lock_guard lock(mutex);
        points = window.CurrentPoints();
        modified = window.CurveModified;
    }

    // A modified curve not yet recovered, taken: no one else recovers it.
    std::optional<CurvePoints> Take()
    {
        const std::lock_guard lock(mutex);
        if (!modified)
            return std::nullopt;
        modified = false;
        return points;
    }

private:
    std::mutex mutex;
    CurvePoints points = DefaultCurvePoints;
    bool modified = false;
};

// A modified curve goes to a recovery file whose path goes to stderr; when
// even that fails, the curve's text goes there instead.
void Recover(const CurvePoints& points)
{
    try {
        const QString path = WriteRecoveryFile(RecoveryFolder(), points);
        Print(stderr, QStringLiteral("Velomorph : courbe modifiée enregistrée dans %1\n").arg(path));
    } catch (...) {
        Print(stderr, QStringLiteral("Velomorph : %1\nVelomorph : la courbe modifiée n'a pas pu être enregistrée ; "
                                     "la voici :\n%2")
                          .arg(CurrentExceptionText(), CurveFileText(points)));
    }
}

// The session, a service manager or Ctrl-C ends the program: no question may
// wait for a person. Nothing is sent any more, and a modified curve is recovered.
void EndWithoutQuestion(TfmMain& window, TUnsavedCurve& unsaved)
{
    window.SetCloseRequested(true);
    unsaved.Update(window);
    if (const std::optional<CurvePoints> points = unsaved.Take())
        Recover(*points);
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
    // Never destroyed: the fallback's thread may read it while the program ends.
    TUnsavedCurve& unsaved = *new TUnsavedCurve;
    InstallTerminationRequestHandler([&] {
        ending = true;
        // Under a session manager, the manager saved what it wanted.
        if (window && session)
            window->SetCloseRequested(true);
        else if (window)
            EndWithoutQuestion(*window, unsaved);
        // Every event loop ends, those of open dialogs too.
        TApplication::exit(0);
    });
    // A main thread held up past its time: the curve it last showed is recovered all the same.
    SetTerminationFallback([&unsaved] {
        if (const std::optional<CurvePoints> points = unsaved.Take())
            Recover(*points);
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
    routing.StartUpTestNote = !command.NoTestNote;
    RunGuarded([&] { routing.CreateMidiPorts(); });
    int result = 0;
    {
        TfmMain fmMain(prompts, &routing);
        reportParent = &fmMain;
        window = &fmMain;
        // Under a session manager no recovery file is written: nothing is published for it.
        if (!session) {
            fmMain.OnCurveStateChange = [&] { unsaved.Update(fmMain); };
            unsaved.Update(fmMain);
        }
        if (session)
            session->Attach(fmMain, prompts);
        else if (!ending && !command.CurveFile.isEmpty())
            RunGuarded([&] { fmMain.OpenCurveFileFromCommandLine(command.CurveFile); });
        if (!ending) {
            if (!session)
                fmMain.show();
            result = TApplication::exec();
        }
        // What the user chose to leave unsaved is nobody's to recover.
        fmMain.OnCurveStateChange = nullptr;
        static_cast<void>(unsaved.Take());
        window = nullptr;
        reportParent = nullptr;
        routing.FreeMidiPorts();
    }
    // The MIDI clients go while the application object still runs their notifications.
    SetMidiBackend(nullptr);
    SetErrorSink({});
    return result;
}
