// Over JACK, side by side: the real program and the direct forwarder (an
// RtMidi input callback that sends at once), each measured by the same probe
// client on the JACK server named by JACK_DEFAULT_SERVER. Latency in
// microseconds and in periods, loss at 1,000 and 10,000 messages a second,
// and a burst of 1,000 messages in one period.
//
// Usage: bench_jack --program PATH --forwarder PATH [--seconds S] [--burst N] [--log DIR]
#include "bench_note.h"
#include "bench_report.h"
#include "child_process.h"
#include "jack_probe.h"
#include "latency_stats.h"
#include "resident_sampler.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr double Rates[2] = {1000, 10000};

struct Options {
    std::string program;
    std::string forwarder;
    std::string logDir = ".";
    double seconds = 10;
    std::size_t burst = 1000;
};

struct RunResult {
    std::size_t sent = 0;
    std::size_t received = 0;
    std::size_t playedLate = 0;
    LatencySummary periods;
    LatencySummary micros;
    double spanPeriods = 0; // from the first message sent to the last one received

    std::size_t lost() const { return sent - received; }
};

struct Subject {
    explicit Subject(const char* name) : name(name) {}

    const char* name;
    RunResult runs[2];
    RunResult burst;
    long peakTotalKb = 0;
    long peakOwnKb = 0;
    long sharedAtPeakKb = 0;
    double cpuSeconds = 0;
    bool started = false;
};

// A fixed pseudo-random number in [0, 1) for each sequence number (SplitMix64).
double Fraction(std::uint64_t sequence)
{
    std::uint64_t z = sequence + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0;
}

// `count` note messages, `rate` per second, each at a random point of its
// own interval, so that the messages fall evenly over the period instead of
// on a few offsets; with rate 0, all of them at the first frame of one cycle.
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

// A message that came back: the frame at which it arrived, and its id.
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

// Plays one run and matches what came back with what was played.
RunResult Measure(JackProbe& probe, double rate, std::size_t count)
{
    // What came before (the program's test note, stragglers of the last run) is not this run's.
    probe.collect();
    probe.clearEvents();
    probe.startRun(Schedule(probe.sampleRate(), rate, count));
    const auto runTime = std::chrono::milliseconds(static_cast<long>(rate > 0 ? 1000.0 * count / rate : 0));
    WaitFor(
        [&] {
            probe.collect();
            return probe.runPlayed();
        },
        runTime + 10s);
    // Stragglers: until all are back, or nothing more comes for half a second.
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
        lastFrame = r.frame;
        ++k;
    }
    RunResult result;
    result.sent = count;
    result.received = periods.size();
    result.playedLate = probe.playedLate();
    result.periods = Summarize(periods);
    result.micros = Summarize(micros);
    if (!sent.empty() && lastFrame > sent.front())
        result.spanPeriods = static_cast<double>(lastFrame - sent.front()) / period;
    return result;
}

void PrintRun(const char* subject, const std::string& what, const RunResult& r)
{
    std::printf("%-17s %-13s sent %6zu  lost %5zu%s\n", subject, what.c_str(), r.sent, r.lost(),
                r.playedLate ? ("  (" + std::to_string(r.playedLate) + " played late)").c_str() : "");
    std::printf("%-17s %-13s   periods: %s\n", "", "", FormatSummary(r.periods, "", 3).c_str());
    std::printf("%-17s %-13s   latency: %s\n", "", "", FormatSummary(r.micros, "us", 0).c_str());
    std::fflush(stdout);
}

// Starts the subject on the probe's ports, measures it, stops it.
void MeasureSubject(JackProbe& probe, Subject& subject, ChildProcess& child, const Options& options,
                    bool waitForTestNote)
{
    ResidentSampler memory(child.pid());
    if (!WaitFor([&] { return probe.connected(); }, 20s)) {
        std::printf("%s: did not connect to the probe's ports\n", subject.name);
        return;
    }
    // The program plays its test note first; the runs start after it.
    const auto sawNoteOff = [&] {
        probe.collect();
        return std::any_of(probe.events().begin(), probe.events().end(), [](const JackProbe::Event& event) {
            return !event.bytes.empty() && (event.bytes[0] & 0xF0) == 0x80;
        });
    };
    if (waitForTestNote && !WaitFor(sawNoteOff, 10s))
        std::printf("%s: no test note seen\n", subject.name);
    std::this_thread::sleep_for(300ms);
    subject.started = true;
    for (int i = 0; i < 2; ++i) {
        subject.runs[i] = Measure(probe, Rates[i], static_cast<std::size_t>(Rates[i] * options.seconds));
        PrintRun(subject.name, std::to_string(static_cast<int>(Rates[i])) + "/s", subject.runs[i]);
    }
    subject.burst = Measure(probe, 0, options.burst);
    PrintRun(subject.name, "burst " + std::to_string(options.burst), subject.burst);
    std::printf("%-17s %-13s   last message back %.2f periods after the first was sent\n", "", "",
                subject.burst.spanPeriods);
    subject.cpuSeconds = child.cpuSeconds();
    memory.Stop();
    subject.peakTotalKb = memory.PeakTotalKb();
    subject.peakOwnKb = memory.PeakOwnKb();
    subject.sharedAtPeakKb = memory.SharedAtPeakKb();
}

std::string Periods(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

void ReportTargets(const Subject& direct, const Subject& program, jack_nframes_t period, std::size_t burst)
{
    const std::string at = "JACK, period " + std::to_string(period) + ", ";
    for (int i = 0; i < 2; ++i) {
        const std::string rate = std::to_string(static_cast<int>(Rates[i])) + "/s";
        const RunResult& p = program.runs[i];
        const RunResult& d = direct.runs[i];
        ReportTarget(at + rate + ", p50 within 0.05 period of direct", std::abs(p.periods.p50 - d.periods.p50) <= 0.05,
                     Periods(p.periods.p50) + " vs " + Periods(d.periods.p50) + " periods");
        ReportTarget(at + rate + ", p99 within 0.05 period of direct", std::abs(p.periods.p99 - d.periods.p99) <= 0.05,
                     Periods(p.periods.p99) + " vs " + Periods(d.periods.p99) + " periods");
        ReportTarget(at + rate + ", no loss", p.sent > 0 && p.lost() == 0,
                     std::to_string(p.lost()) + " of " + std::to_string(p.sent) + " lost");
    }
    ReportTarget(at + "burst of " + std::to_string(burst) + " in one period forwarded whole",
                 program.burst.sent == burst && program.burst.lost() == 0,
                 std::to_string(program.burst.received) + " of " + std::to_string(program.burst.sent) + " back" +
                     (direct.burst.lost() ? " (direct: " + std::to_string(direct.burst.received) + ")" : ""));
}

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--program") == 0)
            options.program = argv[i + 1];
        else if (std::strcmp(argv[i], "--forwarder") == 0)
            options.forwarder = argv[i + 1];
        else if (std::strcmp(argv[i], "--seconds") == 0)
            options.seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--burst") == 0)
            options.burst = static_cast<std::size_t>(std::atol(argv[i + 1]));
        else if (std::strcmp(argv[i], "--log") == 0)
            options.logDir = argv[i + 1];
        else
            return std::nullopt;
    }
    if (options.program.empty() || options.forwarder.empty())
        return std::nullopt;
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: %s --program PATH --forwarder PATH [--seconds S] [--burst N] [--log DIR]\n",
                     argv[0]);
        return 2;
    }
    // Both ports marked physical, so that the program, which opens the first devices it lists, opens them.
    JackProbe probe("bench-probe", true);
    const jack_nframes_t period = probe.periodFrames();
    std::printf("== Over JACK: dummy driver, %u Hz, period %u frames (%.0f us), probe %s -> ... -> %s\n",
                probe.sampleRate(), period, 1e6 * period / probe.sampleRate(), probe.outputPort().c_str(),
                probe.inputPort().c_str());

    Subject direct("direct forwarder");
    Subject program("program");
    {
        ChildProcess child;
        child.start(options->forwarder, {probe.outputPort(), probe.inputPort()}, {}, ChildProcess::Output::File,
                    options->logDir + "/direct_forwarder.out");
        MeasureSubject(probe, direct, child, *options, false);
        child.stop();
    }
    // The forwarder's ports are gone before the program lists the devices.
    std::this_thread::sleep_for(500ms);
    {
        ChildProcess child;
        child.start(options->program, {}, {"QT_QPA_PLATFORM=offscreen"}, ChildProcess::Output::File,
                    options->logDir + "/program.out");
        MeasureSubject(probe, program, child, *options, true);
        if (!child.stop())
            std::printf("program: did not end cleanly when asked\n");
    }
    for (const Subject* s : {&program, &direct})
        std::printf("peak resident memory, %s: %.1f MB (of which %.1f MB the JACK server's shared memory); "
                    "its own pages (anonymous and file) %.1f MB\n",
                    s->name, s->peakTotalKb / 1024.0, s->sharedAtPeakKb / 1024.0, s->peakOwnKb / 1024.0);
    std::printf("CPU time from start to the end of the runs: program %.2f s, direct forwarder %.2f s\n",
                program.cpuSeconds, direct.cpuSeconds);
    if (!direct.started || !program.started) {
        std::printf("JACK benchmark incomplete\n");
        return 1;
    }
    ReportTargets(direct, program, period, options->burst);
    ReportUpperTarget("peak resident memory, own pages, forwarding on JACK", program.peakOwnKb / 1024.0, 80, "MB",
                      "with the JACK server's shared memory: " + std::to_string(program.peakTotalKb / 1024) + " MB");
    return 0;
}
