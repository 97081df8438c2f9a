// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe_runs.h"

#include "bench_note.h"

#include <cstdio>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A fixed pseudo-random number in [0, 1) for each sequence number (SplitMix64).
double Fraction(std::uint64_t sequence)
{
    std::uint64_t z = sequence + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0;
}

std::vector<JackProbe::Timed> Schedule(double sampleRate, double rate, std::size_t count)
{
    const double framesPerMessage = rate > 0 ? sampleRate / rate : 0;
    std::vector<JackProbe::Timed> run(count);
    for (std::size_t i = 0; i < count; ++i) {
        run[i].offset = (static_cast<double>(i) + Fraction(i)) * framesPerMessage;
        run[i].bytes = NoteFor(i);
    }
    return run;
}

// A note that came back: the frame at which it arrived, and its id.
struct Received {
    std::uint64_t frame = 0;
    std::uint16_t id = 0;
};

std::vector<Received> ReceivedNotes(const std::vector<JackProbe::Event>& events)
{
    std::vector<Received> received;
    for (const JackProbe::Event& event : events) {
        if (const std::optional<std::uint16_t> id = NoteIdOf(event.bytes.data(), event.bytes.size()))
            received.push_back({event.frame, *id});
    }
    return received;
}

} // namespace

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

void StartNoteRun(JackProbe& probe, double rate, std::size_t count)
{
    // What came before (the program's test note, stragglers of the last run) is not this run's.
    probe.collect();
    probe.clearEvents();
    probe.startRun(Schedule(probe.sampleRate(), rate, count));
}

NoteRun FinishNoteRun(JackProbe& probe, double rate, std::size_t count)
{
    const auto runTime = std::chrono::milliseconds(static_cast<long>(rate > 0 ? 1000.0 * count / rate : 0));
    WaitFor(
        [&] {
            probe.collect();
            return probe.runPlayed();
        },
        runTime + 10s);
    std::size_t seen = 0;
    auto quietSince = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - quietSince < 500ms) {
        probe.collect();
        const std::size_t now = probe.events().size();
        if (now >= count)
            break;
        if (now != seen) {
            seen = now;
            quietSince = std::chrono::steady_clock::now();
        }
        std::this_thread::sleep_for(10ms);
    }

    const std::vector<std::uint64_t> sent = probe.playedFrames();
    const std::vector<Received> received = ReceivedNotes(probe.events());
    const double period = probe.periodFrames();
    const double microsPerFrame = 1e6 / probe.sampleRate();
    std::vector<double> periods;
    std::vector<double> micros;
    NoteRun result;
    result.inOrder = received.size() == count && sent.size() == count;
    for (std::size_t i = 0; result.inOrder && i < count; ++i)
        result.inOrder = received[i].id == i % NoteIdCount;
    std::size_t k = 0;
    std::uint64_t lastFrame = 0;
    for (const Received& r : received) {
        while (k < sent.size() && k % NoteIdCount != r.id)
            ++k;
        if (k == sent.size())
            break;
        const double frames = static_cast<double>(r.frame) - static_cast<double>(sent[k]);
        periods.push_back(frames / period);
        micros.push_back(frames * microsPerFrame);
        if (r.frame - sent[k] == probe.periodFrames())
            ++result.exactlyOnePeriod;
        lastFrame = r.frame;
        ++k;
    }
    result.sent = count;
    result.received = periods.size();
    result.playedLate = probe.playedLate();
    result.periods = Summarize(periods);
    result.micros = Summarize(micros);
    if (!sent.empty() && lastFrame > sent.front())
        result.spanPeriods = static_cast<double>(lastFrame - sent.front()) / period;
    return result;
}

NoteRun MeasureNotes(JackProbe& probe, double rate, std::size_t count)
{
    StartNoteRun(probe, rate, count);
    return FinishNoteRun(probe, rate, count);
}

void PrintNoteRun(const std::string& subject, const std::string& what, const NoteRun& r)
{
    std::printf("%-18s %-14s sent %6zu  lost %5zu  %s%s\n", subject.c_str(), what.c_str(), r.sent, r.lost(),
                r.inOrder ? "all back in order" : "NOT all back in order",
                r.playedLate ? ("  (" + std::to_string(r.playedLate) + " played late)").c_str() : "");
    std::printf("%-18s %-14s   periods: %s; exactly 1 period: %zu\n", "", "", FormatSummary(r.periods, "", 3).c_str(),
                r.exactlyOnePeriod);
    std::printf("%-18s %-14s   latency: %s\n", "", "", FormatSummary(r.micros, "us", 0).c_str());
    std::fflush(stdout);
}

std::string Periods(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}
