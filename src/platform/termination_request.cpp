// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/termination_request.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
// Wakes the fallback's thread on a request to end; -1 without a fallback.
int fallbackPipe[2] = {-1, -1};
std::function<void()> reloadRequest;
std::atomic<bool> hangupReloads{false};

// Async-signal-safe: the signal's number down the pipe; a full pipe already
// holds a request.
extern "C" void OnRequestSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    if (fallbackPipe[1] >= 0 && !(signal == SIGHUP && hangupReloads.load(std::memory_order_relaxed))) {
        [[maybe_unused]] const ssize_t woken = ::write(fallbackPipe[1], &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

void InstallTerminationRequestHandler(std::function<void()> request)
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [request = std::move(request)] {
        char received[64];
        bool terminate = false;
        bool reload = false;
        for (ssize_t count = 0; (count = ::read(signalPipe[0], received, sizeof received)) > 0;) {
            for (ssize_t i = 0; i < count; ++i)
                (received[i] == SIGHUP && reloadRequest ? reload : terminate) = true;
        }
        if (reload)
            reloadRequest();
        if (terminate)
            request();
    });
    struct sigaction action {};
    action.sa_handler = OnRequestSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void SetReloadRequestHandler(std::function<void()> reload)
{
    hangupReloads.store(static_cast<bool>(reload), std::memory_order_relaxed);
    reloadRequest = std::move(reload);
}

void SetTerminationFallback(std::function<void()> lastWords)
{
    if (fallbackPipe[0] >= 0 || ::pipe2(fallbackPipe, O_CLOEXEC) != 0)
        return;
    // The signal handler must never wait on a full pipe; the thread waits on an empty one.
    ::fcntl(fallbackPipe[1], F_SETFL, O_NONBLOCK);
    // Waits in the kernel for a request, then gives the main thread its
    // time; a program that ends meanwhile takes this thread with it.
    std::thread([lastWords = std::move(lastWords)] {
        char byte = 0;
        ssize_t count = 0;
        do
            count = ::read(fallbackPipe[0], &byte, 1);
        while (count < 0 && errno == EINTR);
        if (count != 1)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(TerminationPatienceMs));
        lastWords();
        std::fflush(nullptr);
        ::_exit(0);
    }).detach();
}
