#pragma once

#include <functional>

// Turns SIGTERM, SIGINT and SIGHUP (logout, Ctrl-C, a service manager) into
// a call of `request` on the main thread, so that the program closes its
// window as if the user had, instead of dying with its ports open. Call once,
// on the main thread, after the application object exists.
void InstallTerminationRequestHandler(std::function<void()> request);
