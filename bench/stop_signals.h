// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the benchmarks' helper processes end: on SIGTERM or SIGINT, taken by
// the main thread alone.

#include <csignal>

#include <pthread.h>

// Blocks both signals in this thread and in every thread started after it,
// so that only WaitForStopSignal takes them. Call before any thread starts.
inline sigset_t BlockStopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

// Returns once one of them has come.
inline void WaitForStopSignal(const sigset_t& signals)
{
    int signal = 0;
    sigwait(&signals, &signal);
}
