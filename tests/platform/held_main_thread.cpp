// SPDX-License-Identifier: GPL-3.0-or-later
// A program whose main thread never returns to its event loop once started:
//
//   held_main_thread [reload]
//
// Installs the request handlers (with "reload", SIGHUP reloads) and a
// fallback that says "fallback", says "ready", then holds its main thread.
#include "platform/termination_request.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    InstallTerminationRequestHandler([] { std::puts("request"); });
    if (argc > 1 && std::strcmp(argv[1], "reload") == 0)
        SetReloadRequestHandler([] { std::puts("reload"); });
    SetTerminationFallback([] { std::puts("fallback"); });
    std::puts("ready");
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}
