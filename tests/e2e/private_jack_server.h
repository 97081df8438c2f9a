#pragma once

// A JACK server of one test's own (dummy driver), started and stopped with
// the fixture's script, so that the test may kill it without disturbing the
// others. While it lives, JACK_DEFAULT_SERVER names it in this process and
// in the processes started meanwhile; the name in force before comes back
// when it goes.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <sys/types.h>
#include <unistd.h>

class PrivateJackServer {
public:
    PrivateJackServer() : name_("velomorph-private-" + std::to_string(::getpid()))
    {
        if (const char* current = std::getenv("JACK_DEFAULT_SERVER"))
            saved_ = current;
        ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        start();
    }

    ~PrivateJackServer()
    {
        script({"stop", state_.path()});
        // A killed server leaves its semaphores and sockets behind.
        for (const QString& name : QDir(QStringLiteral("/dev/shm")).entryList(QDir::System | QDir::Files)) {
            if (name.contains(QString::fromStdString("_" + name_ + "_")))
                QFile::remove(QStringLiteral("/dev/shm/") + name);
        }
        if (saved_)
            ::setenv("JACK_DEFAULT_SERVER", saved_->c_str(), 1);
        else
            ::unsetenv("JACK_DEFAULT_SERVER");
    }

    PrivateJackServer(const PrivateJackServer&) = delete;
    PrivateJackServer& operator=(const PrivateJackServer&) = delete;

    // Starts the server (again); throws when it does not answer.
    void start()
    {
        if (script({"start", QString::fromStdString(name_), state_.path()}) != 0)
            throw std::runtime_error("the private JACK server did not start");
    }

    // Kills the server as a crash would, and waits until it is gone for
    // good: a new server of the same name refuses to start while the old
    // one's process, even dead, has not been reaped.
    void kill()
    {
        std::ifstream in(state_.filePath("jackd.pid").toStdString());
        pid_t pid = 0;
        if (!(in >> pid) || pid <= 0)
            throw std::runtime_error("no private JACK server to kill");
        ::kill(pid, SIGKILL);
        const std::string entry = "/proc/" + std::to_string(pid);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (::access(entry.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

private:
    static int script(const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral(VELOMORPH_JACK_SERVER_SCRIPT), arguments);
        if (!process.waitForFinished(30000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    std::string name_;
    std::optional<std::string> saved_;
    QTemporaryDir state_;
};
