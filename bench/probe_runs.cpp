// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe_runs.h"

#include <algorithm>
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

// Each source's notes at random points of their own, so that sources playing
// at once do not move in step.
std::vector<JackProbe::Timed> Schedule(double sampleRate, double rate, std::size_t count, NoteIds ids)
{
    const double framesPerMessage = rate > 0 ? sampleRate / rate : 0;
    std::vector<JackProbe::Timed> run(count);
    for (std::size_t i = 0; i < count; ++i) {
        run[i].offset = (static_cast<double>(i) + Fraction((std::uint64_t{ids.first} << 32) + i)) * framesPerMessage;
        run[i].bytes = NoteFor(i, ids);
    }
    return run;
}

// A note that came back: the frame at which it arrived, and its id among its source's.
struct Received {
    std::uint64_t frame = 0;
    std::uint16_t id = 0;
};

std::vector<Received> ReceivedNotes(const std::vector<JackProbe::Event>& events, NoteIds ids)
{
    std::vector<Received> received;
    for (const JackProbe::Event& event : events) {
        const std::optional<std::uint16_t> id = NoteIdOf(event.bytes.data(), event.bytes.size());
        if (id && *id >= ids.first && *id - ids.first < ids.count)
            received.push_back({event.frame, static_cast<std::uint16_t>(*id - ids.first)});
    }
    return received;
}

// One source's replies matched with its notes, in the order played; the
// latency of each reply is kept for the total of several sources.
struct Matched {
    NoteRun run;
    std::vector<double> periods;
    std::vector<double> micros;
};

Matched Match(const JackProbe& source, const JackProbe& sink, NoteIds ids, std::size_t count)
{
    const std::vector<std::uint64_t> sent = source.playedFrames();
    const std::vector<Received> received = ReceivedNotes(sink.events(), ids);
    const double period = sink.periodFrames();
    const double microsPerFrame = 1e6 / sink.sampleRate();
    Matched matched;
    NoteRun& result = matched.run;
    result.inOrder = received.size() == count && sent.size() == count;
    for (std::size_t i = 0; result.inOrder && i < count; ++i)
        result.inOrder = received[i].id == i % ids.count;
    std::size_t k = 0;
    std::uint64_t lastFrame = 0;
    for (const Received& r : received) {
        while (k < sent.size() && k % ids.count != r.id)
            ++k;
        if (k == sent.size())
            break;
        const double frames = static_cast<double>(r.frame) - static_cast<double>(sent[k]);
        matched.periods.push_back(frames / period);
        matched.micros.push_back(frames * microsPerFrame);
        if (r.frame - sent[k] == sink.periodFrames())
            ++result.exactlyOnePeriod;
        lastFrame = r.frame;
        ++k;
    }
    result.sent = count;
    result.received = matched.periods.size();
    result.playedLate = source.playedLate();
    result.periods = Summarize(matched.periods);
    result.micros = Summarize(matched.micros);
    if (!sent.empty() && lastFrame > sent.front())
        result.spanPeriods = static_cast<double>(lastFrame - sent.front()) / period;
    return matched;
}

void StartRuns(JackProbe& sink, const std::vector<NoteSource>& sources, double rate, std::size_t count)
{
    // What came before (the program's test note, stragglers of the last run) is not this run's.
    sink.collect();
    sink.clearEvents();
    for (const NoteSource& source : sources)
        source.probe->startRun(Schedule(source.probe->sampleRate(), rate, count, source.ids));
}

std::vector<Matched> FinishRuns(JackProbe& sink, const std::vector<NoteSource>& sources, double rate,
                                std::size_t count)
{
    const auto runTime = std::chrono::milliseconds(static_cast<long>(rate > 0 ? 1000.0 * count / rate : 0));
    WaitFor(
        [&] {
            sink.collect();
            return std::all_of(sources.begin(), sources.end(),
                               [](const NoteSource& source) { return source.probe->runPlayed(); });
        },
        runTime + 10s);
    const std::size_t expected = count * sources.size();
    std::size_t seen = 0;
    auto quietSince = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - quietSince < 500ms) {
        sink.collect();
        const std::size_t now = sink.events().size();
        if (now >= expected)
            break;
        if (now != seen) {
            seen = now;
            quietSince = std::chrono::steady_clock::now();
        }
        std::this_thread::sleep_for(10ms);
    }
    std::vector<Matched> matched;
    for (const NoteSource& source : sources)
        matched.push_back(Match(*source.probe, sink, source.ids, count));
    return matched;
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
    StartRuns(probe, {{&probe, {}}}, rate, count);
}

NoteRun FinishNoteRun(JackProbe& probe, double rate, std::size_t count)
{
    return FinishRuns(probe, {{&probe, {}}}, rate, count).front().run;
}

NoteRun MeasureNotes(JackProbe& probe, double rate, std::size_t count)
{
    StartNoteRun(probe, rate, count);
    return FinishNoteRun(probe, rate, count);
}

MergedNoteRun MeasureMergedNotes(JackProbe& sink, const std::vector<NoteSource>& sources, double rate,
                                 std::size_t count)
{
    StartRuns(sink, sources, rate, count);
    MergedNoteRun merged;
    NoteRun& total = merged.total;
    total.inOrder = true;
    std::vector<double> periods;
    std::vector<double> micros;
    for (const Matched& m : FinishRuns(sink, sources, rate, count)) {
        total.sent += m.run.sent;
        total.received += m.run.received;
        total.playedLate += m.run.playedLate;
        total.exactlyOnePeriod += m.run.exactlyOnePeriod;
        total.inOrder = total.inOrder && m.run.inOrder;
        periods.insert(periods.end(), m.periods.begin(), m.periods.end());
        micros.insert(micros.end(), m.micros.begin(), m.micros.end());
        merged.sources.push_back(m.run);
    }
    total.periods = Summarize(periods);
    total.micros = Summarize(micros);
    return merged;
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
