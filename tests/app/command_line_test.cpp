// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as the parser reads it, and as the real program answers
// it without a display.
#include "app/command_line.h"
#include "platform/version_record.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>

namespace {

using Action = TCommandLine::TAction;

struct ParseCase {
    const char* name;
    QStringList arguments; // after the program's path
    Action action;
    QString curveFile;
    QString clientName;
};

void PrintTo(const ParseCase& c, std::ostream* out)
{
    *out << c.name;
}

class CommandLineParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParse, ReadsWhatWasAskedFor)
{
    const ParseCase& c = GetParam();
    const TCommandLine command = ParseCommandLine(QStringList{QStringLiteral("velomorph")} + c.arguments);
    EXPECT_EQ(command.Action, c.action) << command.Text.toStdString();
    if (c.action == Action::Run) {
        EXPECT_EQ(command.CurveFile, c.curveFile);
        EXPECT_EQ(command.ClientName, c.clientName);
    }
    if (c.action == Action::ShowHelp || c.action == Action::Fail) {
        // The usage names every option and the file argument.
        for (const char* part : {"--help", "--version", "--client-name", "fichier"})
            EXPECT_TRUE(command.Text.contains(QLatin1String(part))) << part;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineParse,
    ::testing::Values(
        ParseCase{"nothing", {}, Action::Run, {}, "Velomorph"},
        ParseCase{"a_curve_file", {"piano.dat"}, Action::Run, "piano.dat", "Velomorph"},
        ParseCase{"a_file_named_like_an_option", {"--", "-x.dat"}, Action::Run, "-x.dat", "Velomorph"},
        ParseCase{"client_name", {"--client-name", "Piano"}, Action::Run, {}, "Piano"},
        ParseCase{"client_name_with_equals", {"--client-name=Orgue", "o.dat"}, Action::Run, "o.dat", "Orgue"},
        ParseCase{"help", {"--help"}, Action::ShowHelp, {}, {}},
        ParseCase{"short_help", {"-h"}, Action::ShowHelp, {}, {}},
        ParseCase{"version", {"--version"}, Action::ShowVersion, {}, {}},
        ParseCase{"unknown_option", {"--bogus"}, Action::Fail, {}, {}},
        ParseCase{"unknown_option_beside_help", {"--help", "--bogus"}, Action::Fail, {}, {}},
        ParseCase{"qt_window_title", {"-qwindowtitle", "Bonjour"}, Action::Fail, {}, {}},
        ParseCase{"qt_platform", {"-platform", "xcb"}, Action::Fail, {}, {}},
        ParseCase{"qt_style", {"-style=fusion"}, Action::Fail, {}, {}},
        ParseCase{"two_files", {"a.dat", "b.dat"}, Action::Fail, {}, {}},
        ParseCase{"client_name_without_value", {"--client-name"}, Action::Fail, {}, {}},
        ParseCase{"empty_client_name", {"--client-name", ""}, Action::Fail, {}, {}},
        ParseCase{"client_name_with_colon", {"--client-name", "a:b"}, Action::Fail, {}, {}},
        ParseCase{"client_name_too_long", {"--client-name", QString(49, QLatin1Char('x'))}, Action::Fail, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, AFailureSaysWhatWasWrongBeforeTheUsage)
{
    const TCommandLine command = ParseCommandLine({QStringLiteral("velomorph"), QStringLiteral("a.dat"),
                                                   QStringLiteral("b.dat")});
    ASSERT_EQ(command.Action, Action::Fail);
    EXPECT_TRUE(command.Text.startsWith(QStringLiteral("velomorph : un seul fichier de courbe"))) << command.Text.toStdString();
}

TEST(CommandLine, TheVersionIsTheOneOfTheRecordTheAboutBoxShows)
{
    EXPECT_EQ(VersionLine(ReadVersionRecord(VELOMORPH_PROGRAM_EXE)), QStringLiteral("velomorph 1.0.0.0\n"));
    EXPECT_EQ(VersionLine(ReadVersionRecord(VELOMORPH_NO_RECORD_EXE)), QStringLiteral("velomorph\n"));
}

// The real program, with no display at all: what it prints, where, and its exit code.
struct ProgramCase {
    const char* name;
    QStringList arguments;
    int exitCode;
    const char* stdoutHas; // empty: nothing on stdout
    const char* stderrHas; // empty: nothing on stderr
};

void PrintTo(const ProgramCase& c, std::ostream* out)
{
    *out << c.name;
}

class ProgramCommandLine : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramCommandLine, AnswersWithoutADisplay)
{
    const ProgramCase& c = GetParam();
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("LANG", "C"); // French all the same
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VELOMORPH_PROGRAM_EXE), c.arguments);
    ASSERT_TRUE(program.waitForFinished(20000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), c.exitCode) << err.toStdString();
    if (*c.stdoutHas)
        EXPECT_TRUE(out.contains(QString::fromUtf8(c.stdoutHas))) << out.toStdString();
    else
        EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    if (*c.stderrHas)
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.stderrHas))) << err.toStdString();
    else
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramCommandLine,
    ::testing::Values(
        ProgramCase{"version", {"--version"}, 0, "velomorph 1.0.0.0\n", ""},
        ProgramCase{"help_in_french", {"--help"}, 0, "Options :\n  -h, --help           Affiche cette aide et quitte.", ""},
        ProgramCase{"unknown_option", {"--bogus"}, 2, "", "velomorph : Option inconnue"},
        ProgramCase{"qt_option", {"-qwindowtitle", "Bonjour"}, 2, "", "--client-name <nom>"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

TEST(CommandLine, TheModeWithoutAWindowReadsItsOwnOptions)
{
    const TCommandLine command = ParseCommandLine(
        {QStringLiteral("velomorph"), QStringLiteral("--headless"), QStringLiteral("--curve"), QStringLiteral("piano.dat"),
         QStringLiteral("--input"), QStringLiteral("keys"), QStringLiteral("--output=Synth:in"),
         QStringLiteral("--notes-only"), QStringLiteral("--verbose"), QStringLiteral("--client-name"),
         QStringLiteral("Scène")});
    ASSERT_EQ(command.Action, TCommandLine::TAction::Run) << command.Text.toStdString();
    EXPECT_TRUE(command.Headless);
    EXPECT_EQ(command.CurveFile, "piano.dat");
    EXPECT_EQ(command.InputName, "keys");
    EXPECT_EQ(command.OutputName, "Synth:in");
    EXPECT_TRUE(command.NotesOnly);
    EXPECT_TRUE(command.Verbose);
    EXPECT_EQ(command.ClientName, QStringLiteral("Scène"));

    const TCommandLine bare = ParseCommandLine({QStringLiteral("velomorph"), QStringLiteral("--headless")});
    EXPECT_EQ(bare.Action, TCommandLine::TAction::Run);
    EXPECT_TRUE(bare.InputName.isEmpty() && bare.OutputName.isEmpty() && bare.CurveFile.isEmpty());
}

// Either mode may start silent.
TEST(CommandLine, NoTestNoteHoldsInBothModes)
{
    for (const QStringList& arguments : {QStringList{"--no-test-note"}, QStringList{"--headless", "--no-test-note"}}) {
        const TCommandLine command = ParseCommandLine(QStringList{QStringLiteral("velomorph")} + arguments);
        ASSERT_EQ(command.Action, TCommandLine::TAction::Run) << command.Text.toStdString();
        EXPECT_TRUE(command.NoTestNote) << arguments.join(' ').toStdString();
    }
    EXPECT_FALSE(ParseCommandLine({QStringLiteral("velomorph")}).NoTestNote);
}

TEST(CommandLine, TheWindowsModeRefusesTheOptionsOfTheModeWithoutAWindow)
{
    for (const QStringList& arguments :
         {QStringList{"--curve", "a.dat"}, QStringList{"--input", "k"}, QStringList{"--notes-only"},
          QStringList{"--verbose"}, QStringList{"--headless", "a.dat"}}) {
        const TCommandLine command = ParseCommandLine(QStringList{QStringLiteral("velomorph")} + arguments);
        EXPECT_EQ(command.Action, TCommandLine::TAction::Fail) << arguments.join(' ').toStdString();
        EXPECT_EQ(command.Text.count(QStringLiteral("--headless")) > 0, true);
    }
}

} // namespace
