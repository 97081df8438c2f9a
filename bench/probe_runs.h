// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Timed runs of numbered notes played by the JACK probe into whatever stands
// between its output and its input (the program, the direct forwarder, a
// plain wire), matched with what comes back: latency in periods and in
// microseconds, loss, order; also several probes playing into one port at
// once, their replies told apart by their ids. Shared by the benchmarks over
// JACK.

#include "bench_note.h"
#include "jack_probe.h"
#include "latency_stats.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct NoteRun {
    std::size_t sent = 0;
    std::size_t received = 0;
    std::size_t playedLate = 0;
    std::size_t exactlyOnePeriod = 0; // replies exactly one period after their note
    bool inOrder = false;             // every note back, in the order played
    LatencySummary periods;
    LatencySummary micros;
    double spanPeriods = 0; // from the first note played to the last one received

    std::size_t lost() const { return sent - received; }
};

// Waits until `done`, polling every 5 ms; false when the limit passed first.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

// Starts a run of `count` notes, `rate` a second, each at a random point of
// its own interval, so that they fall evenly over the period; with rate 0,
// all of them at the first frame of one cycle. Forgets what came before.
void StartNoteRun(JackProbe& probe, double rate, std::size_t count);

// Waits for the run started last to be played and for its replies (until
// all are back, or nothing more comes for half a second), then matches them.
// The caller may have collected meanwhile; nothing else may have cleared.
NoteRun FinishNoteRun(JackProbe& probe, double rate, std::size_t count);

// Both of the above.
NoteRun MeasureNotes(JackProbe& probe, double rate, std::size_t count);

// One of several probes that play into the same port at once, and the ids
// its notes carry (SourceNoteIds).
struct NoteSource {
    JackProbe* probe = nullptr;
    NoteIds ids;
};

// The replies to several sources, received by one probe: each source's
// matched with its own notes, and all of them together.
struct MergedNoteRun {
    std::vector<NoteRun> sources;
    NoteRun total; // its spanPeriods is not measured
};

// As MeasureNotes, with every source playing its own run of `count` notes,
// `rate` a second, at once, and the replies received by `sink`.
MergedNoteRun MeasureMergedNotes(JackProbe& sink, const std::vector<NoteSource>& sources, double rate,
                                 std::size_t count);

// Two lines: sent, lost and order, then the latency in periods and in microseconds.
void PrintNoteRun(const std::string& subject, const std::string& what, const NoteRun& run);

// "0.516" for a figure in periods.
std::string Periods(double value);
