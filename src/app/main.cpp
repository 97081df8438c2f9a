// Program entry: no command line is read.
#include "app/application.h"
#include "app/error_report.h"
#include "app/main_window.h"
#include "app/qt_prompts.h"
#include "platform/termination_request.h"
#include "routing/midi_routing.h"

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Velomorph"));
    TApplication::setApplicationDisplayName(QStringLiteral("Velomorph"));

    QtPrompts prompts;
    QWidget* reportParent = nullptr;
    SetErrorSink([&](const QString& text) { prompts.ShowError(reportParent, text); });

    // The ports exist before the window and are freed after the loop has ended.
    TMidiRouting routing;
    routing.CreateMidiPorts();
    int result = 0;
    {
        TfmMain fmMain(prompts, &routing);
        reportParent = &fmMain;
        InstallTerminationRequestHandler([&fmMain] { fmMain.close(); });
        fmMain.show();
        result = TApplication::exec();
        reportParent = nullptr;
        routing.FreeMidiPorts();
    }
    SetErrorSink({});
    return result;
}
