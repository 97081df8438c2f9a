// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

class QWidget;

// What a file dialog needs: the filter in "Name(*.ext)|*.ext" form, the
// extension added to a name typed without one, and the folder to start in.
struct FileDialogSpec {
    QString Filter;
    QString DefaultExt;
    QString InitialDir;
};

// The main window's questions and dialogs, behind an interface so that tests
// can script the user's answers.
class IPrompts {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~IPrompts() = default;
    // A modal question with Yes, No and Cancel; closing the box counts as Cancel.
    virtual Answer AskYesNoCancel(QWidget* parent, const QString& text) = 0;
    // The chosen existing file, or nothing when the user cancelled.
    virtual std::optional<QString> ChooseFileToOpen(QWidget* parent, const FileDialogSpec& spec) = 0;
    // The chosen file name (default extension added, overwrite confirmed), or nothing.
    virtual std::optional<QString> ChooseFileToSave(QWidget* parent, const FileDialogSpec& spec) = 0;
    // A modal message box with an error text.
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // A modal message box with a piece of information.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // A whole number from `min` to `max`, offered at `value`; nothing when cancelled.
    virtual std::optional<int> AskNumber(QWidget* parent, const QString& text, int min, int max, int value) = 0;
};
