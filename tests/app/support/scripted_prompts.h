// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/prompts.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <deque>

// Plays the user: answers questions and file dialogs from queues filled by
// the test (an empty file name cancels the dialog), and records what was asked. A prompt with no scripted answer
// fails the test and is answered with Cancel.
class ScriptedPrompts final : public IPrompts {
public:
    std::deque<Answer> answers;
    std::deque<QString> filesToOpen;
    std::deque<QString> filesToSave;
    std::deque<std::optional<int>> numbers; // nothing: the user cancels

    QStringList questions;
    QStringList errors;
    QStringList messages;
    std::vector<FileDialogSpec> openDialogs;
    std::vector<FileDialogSpec> saveDialogs;

    Answer AskYesNoCancel(QWidget*, const QString& text) override
    {
        questions << text;
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return Answer::Cancel;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::optional<QString> ChooseFileToOpen(QWidget*, const FileDialogSpec& spec) override
    {
        openDialogs.push_back(spec);
        return Next(filesToOpen, "open");
    }

    std::optional<QString> ChooseFileToSave(QWidget*, const FileDialogSpec& spec) override
    {
        saveDialogs.push_back(spec);
        return Next(filesToSave, "save");
    }

    void ShowError(QWidget*, const QString& text) override { errors << text; }
    void ShowMessage(QWidget*, const QString& text) override { messages << text; }

    std::optional<int> AskNumber(QWidget*, const QString& text, int, int, int) override
    {
        questions << text;
        if (numbers.empty()) {
            ADD_FAILURE() << "unexpected number asked: " << text.toStdString();
            return std::nullopt;
        }
        const std::optional<int> number = numbers.front();
        numbers.pop_front();
        return number;
    }

private:
    static std::optional<QString> Next(std::deque<QString>& queue, const char* what)
    {
        if (queue.empty()) {
            ADD_FAILURE() << "unexpected " << what << " dialog";
            return std::nullopt;
        }
        const QString name = queue.front();
        queue.pop_front();
        if (name.isEmpty())
            return std::nullopt;
        return name;
    }
};
