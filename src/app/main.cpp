// Program entry: no command line is read.
#include "app/application.h"
#include "app/error_report.h"
#include "app/main_window.h"
#include "app/qt_prompts.h"

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Velomorph"));
    TApplication::setApplicationDisplayName(QStringLiteral("Velomorph"));

    QtPrompts prompts;
    QWidget* reportParent = nullptr;
    SetErrorSink([&](const QString& text) { prompts.ShowError(reportParent, text); });

    TfmMain fmMain(prompts);
    reportParent = &fmMain;
    fmMain.show();
    return TApplication::exec();
}
