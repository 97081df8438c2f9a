// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/termination_request.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
std::function<void()> reloadRequest;

// Async-signal-safe: the signal's number down the pipe; a full pipe already
// holds a request.
extern "C" void OnRequestSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
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
    reloadRequest = std::move(reload);
}
