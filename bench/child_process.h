#pragma once

// A program the benchmarks start, watch and stop, by its process id only.

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    // Stops the process when it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `path` with `args`, the environment plus `environment` ("NAME=value"
    // each, replacing a variable of the same name); stdout goes to `outputFile`
    // when given. Throws std::runtime_error when it cannot start.
    void Start(const std::string& path, const std::vector<std::string>& args,
               const std::vector<std::string>& environment = {}, const std::string& outputFile = {});
    // Asks it to end (SIGTERM), waits up to `seconds`, then kills it; false
    // when it had to be killed or did not exit with status 0.
    bool Stop(double seconds = 10);
    // Whether it still runs.
    bool Running();

    // Its process id; -1 when not running.
    pid_t Pid() const { return pid_; }
    // CPU time of its threads still running, in seconds.
    double CpuSeconds() const;

private:
    pid_t pid_ = -1;
};
