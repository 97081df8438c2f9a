// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

class TVersionRecord;

// The program's command line, read before any window exists and without a
// display, so that --help and --version answer anywhere (a terminal over
// SSH, a packaging check). Qt's own options (-platform, -qwindowtitle, ...)
// are not among them: the GUI application is given the program's name alone.
//
// Each option is declared once in command_line.cpp, with its French help
// text, and read into a field of TCommandLine; a new option adds one of each.

// Name of the MIDI client when --client-name is not given.
inline const QString DefaultMidiClientName = QStringLiteral("Velomorph");

// Exit code of a command line that could not be read (the usage goes to stderr).
inline constexpr int ExitUsage = 2;
// Exit codes of the mode without a window: a curve file that cannot be read,
// and no MIDI server at all (neither the ALSA sequencer nor a JACK server).
inline constexpr int ExitCurveFile = 3;
inline constexpr int ExitNoMidiServer = 4;

// What the command line asks for.
struct TCommandLine {
    enum class TAction {
        Run,         // start the program
        ShowHelp,    // print Text on stdout and exit 0
        ShowVersion, // print the version on stdout and exit 0
        Fail,        // print Text on stderr and exit ExitUsage
    };

    TAction Action = TAction::Run;
    QString CurveFile;                          // curve file to open at start-up; empty for none
    QString ClientName = DefaultMidiClientName; // name of the program's MIDI client
    bool NoTestNote = false;                    // --no-test-note: no test note at start-up, in either mode
    QString Text;                               // the help, or the error followed by the usage
    // Without a window (--headless, with --curve for CurveFile).
    bool Headless = false;
    QString InputName;       // --input: the input device's name or part of it; empty for the first (on
                             // JACK, none: whatever the graph connects)
    QString OutputName;      // --output: the same for the output
    bool NotesOnly = false;  // --notes-only: only note messages go through the curve
    bool Verbose = false;    // --verbose: a line of counts every second
};

// Reads `arguments`, the program's path first, as QCoreApplication gives them.
// The usage's headings come from Qt's translation, when one is installed.
TCommandLine ParseCommandLine(const QStringList& arguments);

// The line that --version prints: "velomorph " and the version record's
// FileVersion, the value the About box shows.
QString VersionLine(const std::optional<TVersionRecord>& record);
