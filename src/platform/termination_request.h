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

// How long the main thread has to end the program once asked to.
inline constexpr int TerminationPatienceMs = 1500;

// A request to end must end the program even when the main thread is held
// up: TerminationPatienceMs after a request to end, if the program still
// runs, `lastWords` runs on a thread of its own and the process ends with
// exit code 0. It must not touch what the main thread owns. Call after
// InstallTerminationRequestHandler; once only.
void SetTerminationFallback(std::function<void()> lastWords);
