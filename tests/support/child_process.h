// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A program that a test or a benchmark starts, watches and stops, by its
// process id only. The child dies with the thread that started it (SIGKILL
// through PR_SET_PDEATHSIG), so that nothing outlives a test that crashes,
// aborts under a sanitizer or is killed by CTest at its time limit: start
// children from the thread that lives as long as they should (the main
// thread, in tests and benchmarks).

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

class ChildProcess {
public:
    // Where the child's output goes.
    enum class Output {
        Inherited, // the caller's standard output and error
        File,      // standard output to the file, errors inherited
        FileWithErrors, // both to the file
        Discarded, // both to /dev/null
    };

    ChildProcess() = default;
    // Stops the child when it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (a path, or a name looked up in PATH) with `args` and
    // the caller's environment plus `environment` ("NAME=value" each,
    // replacing a variable of the same name; a bare "NAME" removes it), in
    // the working directory set below. Standard input is /dev/null.
    // Throws std::runtime_error when it cannot start; a child still running
    // from an earlier start is stopped first.
    void start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment = {}, Output output = Output::Inherited,
               const std::string& outputFile = {});

    // The folder the next start runs in; the caller's own when empty.
    void setWorkingDirectory(const std::string& folder) { workingDirectory_ = folder; }

    // Asks it to end (SIGTERM), waits up to `seconds`, then kills it; true
    // when it ended by itself with status 0.
    bool stop(double seconds = 10);
    // Kills it (SIGKILL) as a crash would, and waits until it is gone.
    void kill();
    // Waits up to `seconds` for it to end by itself; true when it ended with
    // status 0. Still running after the wait: false, and it keeps running.
    bool wait(double seconds);
    // Whether it still runs.
    bool running();
    // Sends it `signal` (SIGHUP, SIGINT, ...); false when it no longer runs.
    bool signal(int signal);
    // The exit code it ended with; none while it runs, when a signal ended
    // it, or before it was ever started.
    std::optional<int> exitCode();

    // Its process id; -1 when not running.
    pid_t pid() const { return pid_; }
    // CPU time of its threads still running, in seconds.
    double cpuSeconds() const;
    // Its resident memory in KiB, as the kernel counts it now; 0 when gone.
    long residentKiB() const;

private:
    // Reaps the child when it has ended; true then. Blocks when `block`.
    bool reap(bool block);

    pid_t pid_ = -1;
    int status_ = 0; // wait status of the last child reaped
    bool reaped_ = false; // a child has been started and reaped since
    std::string workingDirectory_;
};
