// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

// Qt reads the patterns from the parentheses of a name filter, so a display
// name without them gets the pattern appended.
QString QtNameFilter(const QString& display, const QString& pattern)
{
    if (display.contains(QLatin1Char('(')))
        return display;
    return QStringLiteral("%1 (%2)").arg(display, pattern);
}

std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogSpec& spec, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(QtNameFilters(spec.Filter));
    dialog.setDefaultSuffix(spec.DefaultExt);
    dialog.setDirectory(spec.InitialDir);
    dialog.setSizeGripEnabled(true);
    // Qt's own dialog, whose texts are French like the rest of the program;
    // a desktop's dialog would speak the user's language.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

QStringList QtNameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        result << QtNameFilter(parts[i], parts[i + 1]);
    return result;
}

IPrompts::Answer QtPrompts::AskYesNoCancel(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

std::optional<QString> QtPrompts::ChooseFileToOpen(QWidget* parent, const FileDialogSpec& spec)
{
    return RunFileDialog(parent, spec, QFileDialog::AcceptOpen);
}

std::optional<QString> QtPrompts::ChooseFileToSave(QWidget* parent, const FileDialogSpec& spec)
{
    return RunFileDialog(parent, spec, QFileDialog::AcceptSave);
}

void QtPrompts::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), text);
}

void QtPrompts::ShowMessage(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, QApplication::applicationDisplayName(), text);
}

std::optional<int> QtPrompts::AskNumber(QWidget* parent, const QString& text, int min, int max, int value)
{
    bool ok = false;
    const int number = QInputDialog::getInt(parent, QApplication::applicationDisplayName(), text, value, min, max, 1, &ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}
