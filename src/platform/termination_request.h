// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// Turns SIGTERM, SIGINT and SIGHUP (logout, Ctrl-C, a service manager) into
// a call of `request` on the main thread, so that the program closes its
// window as if the user had, instead of dying with its ports open. Call once,
// on the main thread, after the application object exists.
void InstallTerminationRequestHandler(std::function<void()> request);

// From now on SIGHUP asks for `reload` on the main thread instead of the end,
// as daemons take it. Call after InstallTerminationRequestHandler.
void SetReloadRequestHandler(std::function<void()> reload);
