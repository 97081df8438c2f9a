// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A JACK server of one test's own (dummy driver, started by the fixture's
// script), so that the test may kill it without disturbing the others. It is
// the test's child and dies with the test, also when the test aborts; the
// fixture's cleanup then removes what it leaves in /dev/shm. While it lives,
// JACK_DEFAULT_SERVER names it in this process and in the processes started
// meanwhile; the name in force before comes back when it goes.
//
// Its name comes from a small set of slots, each held by one test at a time
// through a lock on a file: libjack keeps a record of every server in a table
// of eight entries, and the record of a killed server is taken back only by
// the next server of the same name. Names made unique per test would fill
// the table with dead servers after a few runs.

#include "child_process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class PrivateJackServer {
public:
    PrivateJackServer()
    {
        if (const char* current = std::getenv("JACK_DEFAULT_SERVER"))
            saved_ = current;
        // Named after the fixture's server, whose cleanup removes what this one leaves when the test dies.
        const std::string base = saved_.value_or("velomorph") + "-private-";
        for (int slot = 0; slot < SlotCount && name_.empty(); ++slot) {
            const std::string lock = QDir::tempPath().toStdString() + "/" + base + std::to_string(slot) + ".lock";
            slotLock_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (slotLock_ >= 0 && ::flock(slotLock_, LOCK_EX | LOCK_NB) == 0)
                name_ = base + std::to_string(slot);
            else if (slotLock_ >= 0)
                ::close(slotLock_);
        }
        if (name_.empty())
            throw std::runtime_error("every private JACK server slot is taken");
        ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        start();
    }

    ~PrivateJackServer()
    {
        server_.stop();
        RemoveLeftovers();
        if (saved_)
            ::setenv("JACK_DEFAULT_SERVER", saved_->c_str(), 1);
        else
            ::unsetenv("JACK_DEFAULT_SERVER");
        ::close(slotLock_);
    }

    PrivateJackServer(const PrivateJackServer&) = delete;
    PrivateJackServer& operator=(const PrivateJackServer&) = delete;

    // Starts the server (again); throws when it does not answer within 10 s.
    void start()
    {
        const std::string log = state_.filePath("jackd.log").toStdString();
        server_.start(VELOMORPH_JACK_SERVER_SCRIPT, {"run", name_}, {}, ChildProcess::Output::FileWithErrors, log);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Answers()) {
            if (!server_.running() || std::chrono::steady_clock::now() > deadline) {
                server_.stop();
                std::ifstream in(log);
                throw std::runtime_error("the private JACK server did not start:\n"
                                         + std::string(std::istreambuf_iterator<char>(in), {}));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // Kills the server as a crash would, and waits until it is gone for
    // good: a new server of the same name refuses to start while the old
    // one's process, even dead, has not been reaped.
    void kill() { server_.kill(); }

private:
    bool Answers() const
    {
        ChildProcess lsp;
        lsp.start("jack_lsp", {}, {"JACK_NO_START_SERVER=1", "JACK_DEFAULT_SERVER=" + name_},
                  ChildProcess::Output::Discarded);
        return lsp.wait(10);
    }

    // A killed server leaves its sockets and semaphores behind.
    void RemoveLeftovers() const
    {
        for (const QString& name : QDir(QStringLiteral("/dev/shm")).entryList(QDir::System | QDir::Files)) {
            if (name.contains(QString::fromStdString("_" + name_ + "_")))
                QFile::remove(QStringLiteral("/dev/shm/") + name);
        }
    }

    static constexpr int SlotCount = 4;

    std::string name_;
    int slotLock_ = -1; // held while this server may run: its name is ours
    std::optional<std::string> saved_;
    QTemporaryDir state_;
    ChildProcess server_;
};
