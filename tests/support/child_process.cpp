// SPDX-License-Identifier: GPL-3.0-or-later
#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// `program` itself when it names a path, else the first executable of that name in PATH.
std::string Resolve(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return program;
}

// The caller's environment with `mine` added, each replacing a variable of
// its name; an entry without "=" only removes its variable.
std::vector<std::string> Environment(const std::vector<std::string>& mine)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& m : mine)
            replaced = replaced || m.substr(0, m.find('=')) == name;
        if (!replaced)
            env.push_back(entry);
    }
    for (const std::string& m : mine) {
        if (m.find('=') != std::string::npos)
            env.push_back(m);
    }
    return env;
}

// A descriptor closed on exec, closed again when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

int OpenOrThrow(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    return fd;
}

} // namespace

ChildProcess::~ChildProcess()
{
    if (pid_ > 0)
        stop();
}

void ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, Output output, const std::string& outputFile)
{
    if (pid_ > 0)
        stop();

    // Everything the child needs is made here: between fork and exec, a
    // child of a threaded process may only make system calls.
    const std::string path = Resolve(program);
    std::vector<std::string> env = Environment(environment);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const Descriptor input(OpenOrThrow("/dev/null", O_RDONLY));
    const bool toFile = output == Output::File || output == Output::FileWithErrors;
    const Descriptor out(output == Output::Inherited ? -1
                         : toFile ? OpenOrThrow(outputFile, O_WRONLY | O_CREAT | O_TRUNC)
                                  : OpenOrThrow("/dev/null", O_WRONLY));
    const int errFd = output == Output::FileWithErrors || output == Output::Discarded ? out.fd : -1;
    // The child writes errno here when exec fails; a successful exec closes it.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot start ") + path + ": " + std::strerror(errno));
    const Descriptor readEnd(pipeFds[0]);
    Descriptor writeEnd(pipeFds[1]);

    const char* folder = workingDirectory_.empty() ? nullptr : workingDirectory_.c_str();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("cannot start " + path + ": " + std::strerror(errno));
    if (pid == 0) {
        // Dies with the thread that started it; gone already if that thread ended meanwhile.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(127);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(input.fd, STDIN_FILENO);
        if (out.fd >= 0)
            ::dup2(out.fd, STDOUT_FILENO);
        if (errFd >= 0)
            ::dup2(errFd, STDERR_FILENO);
        if (!folder || ::chdir(folder) == 0)
            ::execve(path.c_str(), argv.data(), envp.data());
        const int error = errno;
        [[maybe_unused]] const ssize_t written = ::write(writeEnd.fd, &error, sizeof error);
        ::_exit(127);
    }
    ::close(writeEnd.fd);
    writeEnd.fd = -1;
    int error = 0;
    ssize_t got;
    do
        got = ::read(readEnd.fd, &error, sizeof error);
    while (got < 0 && errno == EINTR);
    if (got > 0) {
        ::waitpid(pid, nullptr, 0);
        throw std::runtime_error("cannot start " + path + ": " + std::strerror(error));
    }
    pid_ = pid;
    status_ = 0;
    reaped_ = false;
}

bool ChildProcess::reap(bool block)
{
    if (pid_ <= 0)
        return true;
    int status = 0;
    pid_t result;
    do
        result = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    while (result < 0 && errno == EINTR);
    if (result == 0)
        return false;
    status_ = result == pid_ ? status : 0;
    reaped_ = result == pid_;
    pid_ = -1;
    return true;
}

bool ChildProcess::running()
{
    return !reap(false);
}

bool ChildProcess::signal(int signal)
{
    return running() && ::kill(pid_, signal) == 0;
}

std::optional<int> ChildProcess::exitCode()
{
    if (running() || !reaped_ || !WIFEXITED(status_))
        return std::nullopt;
    return WEXITSTATUS(status_);
}

bool ChildProcess::wait(double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
}

bool ChildProcess::stop(double seconds)
{
    if (pid_ <= 0)
        return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
    ::kill(pid_, SIGTERM);
    if (wait(seconds))
        return true;
    if (pid_ > 0)
        kill();
    return false;
}

void ChildProcess::kill()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    reap(true);
}

double ChildProcess::cpuSeconds() const
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

long ChildProcess::residentKiB() const
{
    if (pid_ <= 0)
        return 0;
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string field; status >> field;) {
        long value = 0;
        if (field == "VmRSS:" && status >> value)
            return value;
    }
    return 0;
}
