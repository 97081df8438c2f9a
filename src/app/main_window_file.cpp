// SPDX-License-Identifier: GPL-3.0-or-later
// The curve file and the file actions of the main window.
#include "app/main_window.h"

#include "app/app_settings.h"
#include "app/widgets/step_slider.h"
#include "curve/curve_file.h"
#include "platform/exception.h"
#include "platform/file_name.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>

namespace {

std::string NativePath(const QString& path)
{
    return EncodeFileName(path).toStdString();
}

// Asked of the system by the file's own bytes, which Qt's file functions would change.
bool IsFile(const QString& path)
{
    struct stat status {};
    return ::stat(NativePath(path).c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace

void TfmMain::ActGraphOpenExecute(QObject* /*Sender*/)
{
    if (Session)
        return Session->ImportIntoSession();
    if (!ConfirmSaveIfModified())
        return;
    const std::optional<QString> path = prompts.ChooseFileToOpen(this, OpenDialog1);
    if (!path)
        return;
    RememberDialogFolder(*path);
    OpenCurveFile(*path);
}

void TfmMain::OpenCurveFile(const QString& Path)
{
    LoadCurveFile(Path);
    RecomputeCurve();
}

void TfmMain::OpenCurveFileFromCommandLine(const QString& Path)
{
    const QFileInfo file(Path);
    if (!IsFile(Path))
        throw Exception(QStringLiteral("Impossible d'ouvrir %1 : fichier introuvable").arg(Path).toStdString());
    OpenCurveFile(file.absoluteFilePath());
}

void TfmMain::ActGraphSaveExecute(QObject* /*Sender*/)
{
    if (Session)
        return Session->SaveSession();
    if (!CurrentCurveFile.isEmpty() && IsFile(CurrentCurveFile))
        SaveCurveFile(CurrentCurveFile);
    else
        ActGraphSaveAsExecute(nullptr);
}

void TfmMain::ActGraphSaveAsExecute(QObject* /*Sender*/)
{
    if (Session)
        return Session->ExportCurve();
    if (const std::optional<QString> path = prompts.ChooseFileToSave(this, SaveDialog1)) {
        RememberDialogFolder(*path);
        SaveCurveFile(*path);
    }
}

void TfmMain::ReopenLastCurveFile()
{
    const QString path = TAppSettings().LastCurveFile();
    if (path.isEmpty() || !IsFile(path))
        return;
    // Read once for nothing first: a file that no longer loads whole
    // changes no slider.
    try {
        ReadCurveFile(NativePath(path), [](CurveKey, int) {});
    } catch (const std::exception&) {
        return;
    }
    OpenCurveFile(path);
}

QString TfmMain::InitialDialogFolder() const
{
    const QString remembered = TAppSettings().DialogFolder();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    if (QFileInfo(AppDir).isWritable())
        return AppDir;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void TfmMain::RememberDialogFolder(const QString& Path)
{
    const QString folder = QFileInfo(Path).absolutePath();
    TAppSettings().SetDialogFolder(folder);
    OpenDialog1.InitialDir = folder;
    SaveDialog1.InitialDir = folder;
}

void TfmMain::SaveCurveFile(const QString& Path)
{
    WriteCurveFile(NativePath(Path), CurrentPoints());
    SetCurrentCurveFile(Path);
}

void TfmMain::SetPointSlidersSilent(bool silent)
{
    const auto handler = [this](TStepSlider* sender) { tbPt01aChange(sender); };
    for (int k = 0; k < 9; ++k) {
        tbPtIn[k]->OnChange = silent ? nullptr : std::function<void(TStepSlider*)>(handler);
        tbPtOut[k]->OnChange = silent ? nullptr : std::function<void(TStepSlider*)>(handler);
    }
}

void TfmMain::LoadCurveFile(const QString& Path)
{
    if (!IsFile(Path))
        return;

    // The sliders stay silent while the values arrive, so the curve is
    // rebuilt once, by the count handler, whatever happens while reading.
    tbPtsCnt->OnChange = nullptr;
    SetPointSlidersSilent(true);
    const auto restore = [this] {
        tbPtsCnt->OnChange = [this](TStepSlider* sender) { tbPtsCntChange(sender); };
        tbPtsCntChange(nullptr);
        SetPointSlidersSilent(false);
    };
    try {
        ReadCurveFile(NativePath(Path), [this](CurveKey key, int value) {
            if (key.Point == 0)
                tbPtsCnt->SetPosition(value);
            else if (key.Axis == PointAxis::In)
                tbPtIn[key.Point - 1]->SetPosition(value);
            else
                tbPtOut[key.Point - 1]->SetPosition(value);
        });
    } catch (...) {
        restore();
        throw;
    }
    restore();
    SetCurrentCurveFile(Path);
}
