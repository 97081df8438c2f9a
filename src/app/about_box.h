// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class TCreditsStrip;

// The About box: the program's icon, title and subtitle, the version,
// copyright and comments of the executable's version record, and a strip of
// thanks rolling while the box is open. Modal, fixed size, centred on the
// screen; Enter presses "OK".
class TfmAbout : public QDialog {
    Q_OBJECT

public:
    // The labels' text when the executable carries no version record.
    static inline const QString NoRecordText = QStringLiteral("Updated at run-time");

    // A box owned by `owner`; its values come from the version record of the
    // executable file at `executable`, the running program's by default.
    explicit TfmAbout(QWidget* owner, const QString& executable = QCoreApplication::applicationFilePath());

    // Items, named as on the form, in drawing order from the bottom.
    QLabel* lblThanks = nullptr;
    QLabel* ProgramIcon = nullptr;
    QFrame* Bevel2 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image3 = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Title = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QLabel* lblComments = nullptr;
    QPushButton* btnOK = nullptr;
    TCreditsStrip* Credits = nullptr;

    // Starts the credits, shows the icon and the version record's strings.
    void FormCreate();
    // Stops the credits.
    void FormClose();

    // Every way of closing the box (OK, Enter, Escape, the close box) ends here.
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateItems();
    void CentreOnScreen(QWidget* owner);

    QString FExecutable;
};
