// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/prompts.h"

// The real dialogs: QMessageBox and QFileDialog.
class QtPrompts final : public IPrompts {
public:
    Answer AskYesNoCancel(QWidget* parent, const QString& text) override;
    std::optional<QString> ChooseFileToOpen(QWidget* parent, const FileDialogSpec& spec) override;
    std::optional<QString> ChooseFileToSave(QWidget* parent, const FileDialogSpec& spec) override;
    void ShowError(QWidget* parent, const QString& text) override;
    void ShowMessage(QWidget* parent, const QString& text) override;
    std::optional<int> AskNumber(QWidget* parent, const QString& text, int min, int max, int value) override;
};

// "Courbe(*.dat)|*.dat|..." pairs turned into Qt name filters ("Courbe(*.dat)").
QStringList QtNameFilters(const QString& filter);
