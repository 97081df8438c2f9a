// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop shows of the program in-process: the caption with a file
// whose name holds "[*]", a curve file named on the command line, Qt's
// dialogs in French, the read-me found beside the program or installed.
#include "app/main_window.h"
#include "app/qt_prompts.h"
#include "app/readme_location.h"
#include "app/toolkit_translation.h"
#include "app/widgets/step_slider.h"
#include "curve/curve_file.h"
#include "platform/file_name.h"
#include "support/scripted_prompts.h"

#include <QApplication>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QWindow>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <memory>

namespace {

QString WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
    return path;
}

class CaptionTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CaptionTest, AFileNameIsShownAsItIs)
{
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    TfmMain form(prompts);
    const QString name = QString::fromUtf8(GetParam());
    form.SaveCurveFile(dir.filePath(name));
    form.winId(); // the window the desktop sees
    ASSERT_NE(form.windowHandle(), nullptr);
    EXPECT_EQ(form.windowHandle()->title(), QStringLiteral("Velomorph - ") + name);
}

INSTANTIATE_TEST_SUITE_P(Names, CaptionTest,
                         ::testing::Values("plain.dat", "a[*]b.dat", "[*].dat", "a[*][*]b.dat", "x[*"));

class CommandLineFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        form = std::make_unique<TfmMain>(prompts);
    }

    ScriptedPrompts prompts;
    QTemporaryDir dir;
    std::unique_ptr<TfmMain> form;
};

TEST_F(CommandLineFileTest, ARelativePathOpensAsOuvrirWouldWithItsFullPath)
{
    WriteFile(dir.filePath(QStringLiteral("piano.dat")), "[Points]\r\nCount=4\r\nPt01a=30\r\n");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    form->OpenCurveFileFromCommandLine(QStringLiteral("piano.dat"));
    QDir::setCurrent(previous);

    EXPECT_EQ(form->CurrentCurveFile, QFileInfo(dir.filePath(QStringLiteral("piano.dat"))).absoluteFilePath());
    EXPECT_EQ(form->tbPtsCnt->Position(), 4);
    EXPECT_EQ(form->tbPtIn[0]->Position(), 30);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velomorph - piano.dat"));
    EXPECT_FALSE(form->CurveModified);
    EXPECT_TRUE(prompts.questions.isEmpty());
}

// A name whose bytes are not UTF-8 opens, and a save goes back to that very file.
TEST_F(CommandLineFileTest, ANameThatIsNotUtf8OpensAndSavesTheSameFile)
{
    const QByteArray bytes = QFile::encodeName(dir.path()) + "/caf\xff" "e.dat";
    {
        std::ofstream out(bytes.constData(), std::ios::binary);
        out << "[Points]\r\nCount=4\r\nPt01a=30\r\n";
    }
    form->OpenCurveFileFromCommandLine(DecodeFileName(bytes));
    EXPECT_EQ(form->tbPtsCnt->Position(), 4);
    EXPECT_EQ(form->tbPtIn[0]->Position(), 30);
    EXPECT_EQ(EncodeFileName(form->CurrentCurveFile), bytes);
    form->tbPtsCnt->SetPosition(5);
    form->ActGraphSaveExecute(nullptr);
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_EQ(ReadCurvePoints(bytes.toStdString()).Count, 5);
    const std::filesystem::path folder(QFile::encodeName(dir.path()).toStdString());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

TEST_F(CommandLineFileTest, AMissingFileIsReportedAndChangesNothing)
{
    const QString path = dir.filePath(QStringLiteral("absent.dat"));
    try {
        form->OpenCurveFileFromCommandLine(path);
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), QStringLiteral("Impossible d'ouvrir %1 : fichier introuvable").arg(path));
    }
    EXPECT_TRUE(form->CurrentCurveFile.isEmpty());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velomorph"));
    EXPECT_EQ(form->tbPtsCnt->Position(), 2);
}

// Qt's own dialogs as the program shows them, with the toolkit's translation
// the program installs.
class FrenchToolkitTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InstallToolkitTranslation(translator)) << "qtbase_fr is not installed"; }
    void TearDown() override { QCoreApplication::removeTranslator(&translator); }

    // Runs `look` on the modal dialog once it is on screen.
    static void WhenShown(std::function<void(QWidget*)> look)
    {
        QTimer::singleShot(0, [look = std::move(look)] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            look(modal);
        });
    }

    QTranslator translator;
    QtPrompts prompts;
};

TEST_F(FrenchToolkitTest, TheSaveQuestionAnswersOuiNonAnnuler)
{
    WhenShown([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->button(QMessageBox::Yes)->text(), QStringLiteral("&Oui"));
        EXPECT_EQ(box->button(QMessageBox::No)->text(), QStringLiteral("&Non"));
        EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), QStringLiteral("Annuler"));
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(prompts.AskYesNoCancel(nullptr, QStringLiteral("Courbe modifiée. Enregistrer ?")),
              IPrompts::Answer::Cancel);
}

// The label of `dialog` named `name` (Qt's own names in its file dialog).
QString LabelText(QWidget* dialog, const char* name)
{
    auto* label = dialog->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

TEST_F(FrenchToolkitTest, TheFileDialogsAreFrench)
{
    QTemporaryDir dir;
    const FileDialogSpec spec{QStringLiteral("Courbe(*.dat)|*.dat"), QStringLiteral("dat"), dir.path()};
    struct Case {
        bool save;
        const char* caption;
        const char* accept;
    };
    for (const Case c : {Case{false, "Ouvrir", "&Ouvrir"}, Case{true, "Enregistrer sous", "&Enregistrer"}}) {
        WhenShown([c](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(c.caption));
            EXPECT_EQ(LabelText(dialog, "lookInLabel"), QStringLiteral("Voir dans :"));
            EXPECT_EQ(LabelText(dialog, "fileNameLabel"), QStringLiteral("&Nom de fichier :"));
            EXPECT_EQ(LabelText(dialog, "fileTypeLabel"), QStringLiteral("Fichiers de type :"));
            auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            ASSERT_NE(buttons, nullptr);
            EXPECT_EQ(buttons->button(c.save ? QDialogButtonBox::Save : QDialogButtonBox::Open)->text(),
                      QString::fromUtf8(c.accept));
            EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Annuler"));
            dialog->reject();
        });
        const std::optional<QString> chosen =
            c.save ? prompts.ChooseFileToSave(nullptr, spec) : prompts.ChooseFileToOpen(nullptr, spec);
        EXPECT_FALSE(chosen);
    }
}

// Under a locale such as C, Qt would write the file dialogs' sizes and dates
// in English; the start-up's toolkit translation makes its formats French.
TEST(FrenchFormats, TheStartUpMakesQtsFormatsFrenchUnderTheCLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    ASSERT_EQ(QLocale().formattedDataSize(211), QStringLiteral("211 bytes"));
    QTranslator translator;
    InstallToolkitTranslation(translator);
    const QLocale french;
    const QString size = french.formattedDataSize(211);
    const QString date = french.toString(QDate(2026, 3, 1), QLocale::LongFormat);
    QCoreApplication::removeTranslator(&translator);
    QLocale::setDefault(before);
    EXPECT_EQ(french.language(), QLocale::French);
    EXPECT_EQ(french.territory(), QLocale::France);
    EXPECT_EQ(size, QStringLiteral("211 octets"));
    EXPECT_EQ(date, QStringLiteral("dimanche 1 mars 2026"));
}

struct ReadmeCase {
    const char* name;
    bool beside;    // a read-me beside the executable
    bool installed; // one in the documents' folder
    const char* found;
};

void PrintTo(const ReadmeCase& c, std::ostream* out)
{
    *out << c.name;
}

class ReadmeLocationTest : public ::testing::TestWithParam<ReadmeCase> {};

TEST_P(ReadmeLocationTest, BesideTheExecutableFirstThenInstalled)
{
    const ReadmeCase& c = GetParam();
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/doc/velomorph")));
    if (c.beside)
        WriteFile(prefix.filePath(QStringLiteral("bin/a_lire.txt")), "beside");
    if (c.installed)
        WriteFile(prefix.filePath(QStringLiteral("share/doc/velomorph/a_lire.txt")), "installed");
    const QString appDir = prefix.filePath(QStringLiteral("bin")) + QLatin1Char('/');
    EXPECT_EQ(FindReadme(appDir, QStringLiteral("../share/doc/velomorph")), prefix.filePath(QString::fromUtf8(c.found)));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ReadmeLocationTest,
                         ::testing::Values(ReadmeCase{"build_tree", true, false, "bin/a_lire.txt"},
                                           ReadmeCase{"installed", false, true, "share/doc/velomorph/a_lire.txt"},
                                           ReadmeCase{"both", true, true, "bin/a_lire.txt"},
                                           ReadmeCase{"neither", false, false, "bin/a_lire.txt"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadmeLocation, TheInstalledProgramLooksInItsDocumentsFolder)
{
    // The program's own install rules: bin/velomorph and share/doc/velomorph/a_lire.txt.
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/doc/velomorph")));
    const QString installed = WriteFile(prefix.filePath(QStringLiteral("share/doc/velomorph/a_lire.txt")), "x");
    EXPECT_EQ(FindReadme(prefix.filePath(QStringLiteral("bin")) + QLatin1Char('/')), installed);
}

} // namespace
