#pragma once

// The real program as a process of its own, offscreen, on the JACK server
// that JACK_DEFAULT_SERVER names when it starts. What it prints goes to a
// file, so that it never waits for the test to read it.

#include <QProcess>
#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <string>

class ProgramProcess {
public:
    ProgramProcess()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtimeDir_.path());
        env.insert("XDG_CONFIG_HOME", runtimeDir_.path());
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardOutputFile(runtimeDir_.filePath("output.txt"));
        process_.start(QStringLiteral(VELOMORPH_EXECUTABLE), {});
    }

    ~ProgramProcess()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool started() { return process_.waitForStarted(10000); }
    bool running() const { return process_.state() == QProcess::Running; }

    // Resident memory in KiB, from the system's record of the process; 0 when gone.
    long residentKiB() const
    {
        std::ifstream status("/proc/" + std::to_string(process_.processId()) + "/status");
        for (std::string field; status >> field;) {
            long value = 0;
            if (field == "VmRSS:" && status >> value)
                return value;
        }
        return 0;
    }

    // Asks the program to close, as the session does, and waits for its end;
    // true when it ended by itself with exit code 0.
    bool quit()
    {
        process_.terminate();
        return process_.waitForFinished(10000) && process_.exitStatus() == QProcess::NormalExit
            && process_.exitCode() == 0;
    }

    // Everything it printed so far.
    std::string output() const
    {
        std::ifstream in(runtimeDir_.filePath("output.txt").toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    QTemporaryDir runtimeDir_;
    QProcess process_;
};
