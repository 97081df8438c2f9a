#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

ChildProcess::~ChildProcess()
{
    if (pid_ > 0)
        Stop();
}

void ChildProcess::Start(const std::string& path, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, const std::string& outputFile)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& mine : environment)
            replaced = replaced || mine.substr(0, mine.find('=')) == name;
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), environment.begin(), environment.end());

    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!outputFile.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int result = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + path + ": " + std::strerror(result));
    }
}

bool ChildProcess::Running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

bool ChildProcess::Stop(double seconds)
{
    if (pid_ <= 0)
        return true;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double ChildProcess::CpuSeconds() const
{
    // Every thread's time on a CPU, in nanoseconds (the clock-tick figures of
    // /proc/<pid>/stat are too coarse for an idle process).
    std::uint64_t total = 0;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid_) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        std::uint64_t onCpu = 0;
        if (schedstat >> onCpu)
            total += onCpu;
    }
    return static_cast<double>(total) / 1e9;
}
