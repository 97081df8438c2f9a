// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The real program as a process of its own, offscreen, on the JACK server
// that JACK_DEFAULT_SERVER names when it starts. What it prints goes to a
// file, so that it never waits for the test to read it. It dies with the
// test, also when the test aborts.

#include "child_process.h"

#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <string>

class ProgramProcess {
public:
    // Its settings file lives under `configHome` (XDG_CONFIG_HOME) when
    // given, else in a folder that goes with it.
    explicit ProgramProcess(const QString& configHome = {})
    {
        const std::string config = (configHome.isEmpty() ? runtimeDir_.path() : configHome).toStdString();
        program_.start(VELOMORPH_EXECUTABLE, {},
                       {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtimeDir_.path().toStdString(),
                        "XDG_CONFIG_HOME=" + config},
                       ChildProcess::Output::FileWithErrors, outputPath());
    }

    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool running() { return program_.running(); }

    // Resident memory in KiB, from the system's record of the process; 0 when gone.
    long residentKiB() const { return program_.residentKiB(); }

    // Asks the program to close, as the session does, and waits for its end;
    // true when it ended by itself with exit code 0.
    bool quit() { return program_.stop(10); }

    // Everything it printed so far.
    std::string output() const
    {
        std::ifstream in(outputPath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string outputPath() const { return runtimeDir_.filePath("output.txt").toStdString(); }

    QTemporaryDir runtimeDir_;
    ChildProcess program_;
};
