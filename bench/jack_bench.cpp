// SPDX-License-Identifier: GPL-3.0-or-later
// Over JACK, side by side in one run, each measured by the same probe client
// on the JACK server named by JACK_DEFAULT_SERVER: a plain wire (the probe's
// output connected straight to its input), the direct forwarder (an RtMidi
// input callback that sends at once), the program with its window
// (offscreen), the program without a window (--headless), and the program as
// it was before its MIDI path left the main thread (--before, when given).
// For each: latency in periods in the loop topology at 1,000 and 10,000 notes
// a second, a burst of notes in one period, a 1 MB system-exclusive message in
// pieces with clocks between them, an unterminated system-exclusive message
// followed by notes, idle CPU with both devices open, and, for the program's
// three forms, three sources playing into its input at once, two of them
// patched by hand as a patchbay does; then, for those three forms, a JACK
// server killed while they forward and the time from SIGTERM to their end.
//
// The idle CPU of a bare JACK client (--idle-client) is printed beside, as
// the floor that any program with a JACK client open pays.
//
// Usage: bench_jack --program PATH --forwarder PATH [--before PATH] [--idle-client PATH] [--seconds S]
//                   [--burst N] [--log DIR]
#include "bench_note.h"
#include "bench_report.h"
#include "child_process.h"
#include "jack_probe.h"
#include "latency_stats.h"
#include "probe_runs.h"
#include "resident_sampler.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr double Rates[2] = {1000, 10000};
// Sources playing into the program's input at once, and their rate all together.
constexpr std::size_t MergedSources = 3;
constexpr double MergedRate = 10000;
constexpr std::size_t SysexBytes = 1000000;
constexpr std::size_t SysexPiece = 4096;
constexpr std::size_t NotesAfterUnterminated = 100;
// How long the program may take to end once asked, after its server was killed.
constexpr double EndLimitSeconds = 10;

struct Options {
    std::string program;
    std::string before;
    std::string forwarder;
    std::string idleClient;
    std::string logDir = ".";
    double seconds = 10;
    std::size_t burst = 2700;
};

struct SysexResult {
    bool measured = false;
    std::size_t bytesBack = 0;
    bool whole = false; // every byte back, in order
    bool endsInF7 = false;
    double periods = 0; // from the first piece played to the last byte received
    std::size_t clocksSent = 0;
    std::size_t clocksBack = 0;
    std::size_t clocksInTheirCycle = 0; // back exactly one period after they were played
    LatencySummary clockPeriods;
};

struct UnterminatedResult {
    bool measured = false;
    bool piecePassedOn = false;
    std::size_t notesBack = 0;
    double maxPeriods = 0;
};

struct KilledServerResult {
    bool measured = false;
    bool forwardedBefore = false;
    bool endedByItself = false;
    double secondsToEnd = 0;
};

struct Subject {
    Subject(std::string name, std::string path, std::vector<std::string> args, bool testNote, bool serverKilled,
            bool mergesSources = false)
        : name(std::move(name)), path(std::move(path)), args(std::move(args)), testNote(testNote),
          serverKilled(serverKilled), mergesSources(mergesSources)
    {
    }

    std::string name;
    std::string path; // empty for the wire
    std::vector<std::string> args;
    bool testNote = false;    // the program's forms play a note at start
    bool serverKilled = false; // measured on a server killed under it
    bool mergesSources = false; // measured with several sources patched to its input

    bool measured = false;
    NoteRun runs[2];
    MergedNoteRun merged;
    NoteRun burst;
    SysexResult sysex;
    UnterminatedResult unterminated;
    KilledServerResult killed;
    double idlePercent = -1;
    long peakTotalKb = 0;
    long peakOwnKb = 0;
    long sharedAtPeakKb = 0;

    bool isProcess() const { return !path.empty(); }
};

// A system-exclusive message of 1 MB, no two pieces alike.
Bytes LongSysex()
{
    Bytes sysex(SysexBytes);
    for (std::size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<std::uint8_t>((i * 31 + i / SysexPiece) % 128);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    return sysex;
}

// The probe's output, the device the subject opened itself, and beside it
// more sources patched by hand to whatever reads that output (the subject's
// input), as a patchbay does: together they play MergedRate, each an equal
// share on channels of its own, and the probe receives every reply.
MergedNoteRun MeasureMergedSources(JackProbe& probe, double seconds)
{
    const std::vector<std::string> inputs = probe.connections(probe.outputPort());
    std::vector<std::unique_ptr<JackProbe>> patched;
    std::vector<NoteSource> sources{{&probe, SourceNoteIds(0, MergedSources)}};
    for (std::size_t i = 1; i < MergedSources; ++i) {
        patched.push_back(std::make_unique<JackProbe>("bench-source-" + std::to_string(i + 1)));
        for (const std::string& input : inputs) {
            if (!probe.connect(patched.back()->outputPort(), input))
                std::printf("  (%s could not be patched to %s)\n", patched.back()->outputPort().c_str(),
                            input.c_str());
        }
        sources.push_back({patched.back().get(), SourceNoteIds(i, MergedSources)});
    }
    const double rate = MergedRate / MergedSources;
    return MeasureMergedNotes(probe, sources, rate, static_cast<std::size_t>(rate * seconds));
}

// "own source" for the probe, "patched 2" for the second source, ...
std::string SourceLabel(std::size_t source)
{
    return source == 0 ? "own source" : "patched " + std::to_string(source + 1);
}

// Collects until `enough` holds or nothing new came for `quiet`; false when the limit passed first.
bool CollectUntil(JackProbe& probe, const std::function<bool()>& enough, std::chrono::milliseconds quiet,
                  std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t seen = probe.events().size();
    auto quietSince = std::chrono::steady_clock::now();
    for (;;) {
        probe.collect();
        if (enough())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (probe.events().size() != seen) {
            seen = probe.events().size();
            quietSince = now;
        }
        if (now - quietSince > quiet || now > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
}

// Waits until nothing more comes for 3 s: what the last measurement left on
// its way (a subject that fell behind, or stalled the server's cycle for
// seconds, as RtMidi's send does when its buffer is full) is not the next one's.
void Settle(JackProbe& probe)
{
    CollectUntil(probe, [] { return false; }, 3s, 30s);
}

// The 1 MB message in pieces of 4 KiB, queued one after the other, with a
// timing clock queued between every two pieces.
SysexResult MeasureSysex(JackProbe& probe)
{
    probe.collect();
    probe.clearEvents();
    const Bytes sysex = LongSysex();
    SysexResult result;
    std::size_t queued = 0;
    for (std::size_t offset = 0; offset < sysex.size(); offset += SysexPiece) {
        probe.send(Bytes(sysex.begin() + static_cast<std::ptrdiff_t>(offset),
                         sysex.begin() + static_cast<std::ptrdiff_t>(std::min(offset + SysexPiece, sysex.size()))));
        ++queued;
        if (offset + SysexPiece < sysex.size()) {
            probe.send({0xF8});
            ++queued;
            ++result.clocksSent;
        }
        probe.collect();
    }
    Bytes got;
    std::uint64_t lastFrame = 0;
    std::vector<double> clockPeriods;
    std::size_t analysed = 0;
    const auto analyse = [&] {
        const auto& events = probe.events();
        const auto& played = probe.queuedFrames();
        for (; analysed < events.size(); ++analysed) {
            const JackProbe::Event& event = events[analysed];
            if (event.bytes == Bytes{0xF8}) {
                // Clock k was queued as message 2k + 1.
                const std::size_t index = 2 * result.clocksBack + 1;
                if (index < played.size() && event.frame >= played[index]) {
                    const std::uint64_t frames = event.frame - played[index];
                    clockPeriods.push_back(static_cast<double>(frames) / probe.periodFrames());
                    if (frames == probe.periodFrames())
                        ++result.clocksInTheirCycle;
                }
                ++result.clocksBack;
                continue;
            }
            got.insert(got.end(), event.bytes.begin(), event.bytes.end());
            lastFrame = event.frame;
        }
        return got.size() >= sysex.size() && result.clocksBack >= result.clocksSent;
    };
    CollectUntil(probe, analyse, 2s, 60s);
    result.measured = true;
    result.bytesBack = got.size();
    result.whole = got == sysex;
    result.endsInF7 = !got.empty() && got.back() == 0xF7;
    if (!probe.queuedFrames().empty() && lastFrame > probe.queuedFrames().front())
        result.periods = static_cast<double>(lastFrame - probe.queuedFrames().front()) / probe.periodFrames();
    result.clockPeriods = Summarize(clockPeriods);
    if (probe.queuedFrames().size() != queued)
        std::printf("  (the probe recorded %zu of %zu queued messages)\n", probe.queuedFrames().size(), queued);
    return result;
}

// F0 7E 7F 09 01 with no end, then notes: they must not wait for an end that never comes.
UnterminatedResult MeasureUnterminated(JackProbe& probe)
{
    probe.collect();
    probe.clearEvents();
    const Bytes piece{0xF0, 0x7E, 0x7F, 0x09, 0x01};
    probe.send(piece);
    for (std::size_t key = 0; key < NotesAfterUnterminated; ++key)
        probe.send({0x90, static_cast<std::uint8_t>(key), 100});
    UnterminatedResult result;
    CollectUntil(
        probe, [&] { return probe.events().size() >= NotesAfterUnterminated + 1; }, 3s, 10s);
    const auto& played = probe.queuedFrames();
    for (const JackProbe::Event& event : probe.events()) {
        if (event.bytes == piece)
            result.piecePassedOn = true;
        if (event.bytes.size() != 3 || event.bytes[0] != 0x90 || event.bytes[1] >= NotesAfterUnterminated)
            continue;
        const std::size_t index = 1 + event.bytes[1];
        if (index < played.size() && event.frame >= played[index])
            result.maxPeriods = std::max(
                result.maxPeriods, static_cast<double>(event.frame - played[index]) / probe.periodFrames());
        ++result.notesBack;
    }
    result.measured = true;
    return result;
}

// The program's private folders, new for each start: no settings from an earlier one.
std::vector<std::string> ProgramEnvironment(const Options& options, const std::string& tag)
{
    char pattern[] = "velomorph-bench-XXXXXX";
    const std::filesystem::path base = std::filesystem::absolute(options.logDir);
    std::string dir = (base / pattern).string();
    if (!::mkdtemp(dir.data()))
        dir = (base / ("home-" + tag)).string();
    return {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir + "/config", "XDG_DATA_HOME=" + dir + "/data"};
}

std::string LogName(const Subject& subject)
{
    std::string name = subject.name;
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

bool SawTestNote(JackProbe& probe)
{
    probe.collect();
    return std::any_of(probe.events().begin(), probe.events().end(), [](const JackProbe::Event& event) {
        return !event.bytes.empty() && (event.bytes[0] & 0xF0) == 0x80;
    });
}

void PrintSysex(const Subject& s)
{
    const SysexResult& r = s.sysex;
    std::printf("%-18s %-14s %zu of %zu bytes back; whole and in order: %s; ends in F7: %s; %.1f periods\n",
                s.name.c_str(), "sysex 1 MB", r.bytesBack, SysexBytes, r.whole ? "yes" : "no",
                r.endsInF7 ? "yes" : "no", r.periods);
    std::printf("%-18s %-14s   clocks between the pieces: %zu of %zu back, %zu in their cycle; periods: %s\n", "", "",
                r.clocksBack, r.clocksSent, r.clocksInTheirCycle, FormatSummary(r.clockPeriods, "", 3).c_str());
    std::fflush(stdout);
}

void PrintUnterminated(const Subject& s)
{
    const UnterminatedResult& r = s.unterminated;
    std::printf("%-18s %-14s F0 7E 7F 09 01 passed on: %s; notes after it back: %zu of %zu, latest %.3f periods\n",
                s.name.c_str(), "unterminated", r.piecePassedOn ? "yes" : "no", r.notesBack, NotesAfterUnterminated,
                r.maxPeriods);
    std::fflush(stdout);
}

// CPU share of one core, in per cent, that the process uses over `seconds`.
double IdlePercent(const ChildProcess& child, double seconds)
{
    const double cpu0 = child.cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return 100 * (child.cpuSeconds() - cpu0) / wall;
}

// The bare JACK client's idle CPU on the probe's ports; negative when it did not connect.
double MeasureIdleFloor(JackProbe& probe, const Options& options)
{
    ChildProcess child;
    child.start(options.idleClient, {probe.outputPort(), probe.inputPort()}, {}, ChildProcess::Output::FileWithErrors,
                options.logDir + "/idle_client.out");
    if (!WaitFor([&] { return probe.connected(); }, 20s))
        return -1;
    std::this_thread::sleep_for(1s);
    const double percent = IdlePercent(child, options.seconds);
    child.stop();
    std::printf("%-18s %-14s CPU %.3f %% of a core over %.0f s, both ports connected\n", "bare JACK client", "idle",
                percent, options.seconds);
    std::this_thread::sleep_for(500ms);
    return percent;
}

// Starts the subject on the probe's ports (or wires them), measures it, stops it.
void MeasureSubject(JackProbe& probe, Subject& subject, const Options& options)
{
    std::printf("-- %s\n", subject.name.c_str());
    ChildProcess child;
    std::unique_ptr<ResidentSampler> memory;
    if (subject.isProcess()) {
        child.start(subject.path, subject.args, ProgramEnvironment(options, LogName(subject)),
                    ChildProcess::Output::FileWithErrors, options.logDir + "/" + LogName(subject) + ".out");
        memory = std::make_unique<ResidentSampler>(child.pid());
    } else if (!probe.connectPorts(probe.outputPort(), probe.inputPort())) {
        std::printf("%s: the probe's ports could not be wired\n", subject.name.c_str());
        return;
    }
    if (!WaitFor([&] { return probe.connected(); }, 20s)) {
        std::printf("%s: did not connect to the probe's ports\n", subject.name.c_str());
        return;
    }
    if (subject.testNote && !WaitFor([&] { return SawTestNote(probe); }, 10s))
        std::printf("%s: no test note seen\n", subject.name.c_str());
    std::this_thread::sleep_for(1s);
    if (subject.isProcess()) {
        subject.idlePercent = IdlePercent(child, options.seconds);
        std::printf("%-18s %-14s CPU %.3f %% of a core over %.0f s, both devices open\n", subject.name.c_str(), "idle",
                    subject.idlePercent, options.seconds);
    }
    for (int i = 0; i < 2; ++i) {
        subject.runs[i] = MeasureNotes(probe, Rates[i], static_cast<std::size_t>(Rates[i] * options.seconds));
        PrintNoteRun(subject.name, std::to_string(static_cast<int>(Rates[i])) + "/s", subject.runs[i]);
    }
    if (subject.mergesSources) {
        subject.merged = MeasureMergedSources(probe, options.seconds);
        for (std::size_t i = 0; i < subject.merged.sources.size(); ++i)
            PrintNoteRun(subject.name, SourceLabel(i), subject.merged.sources[i]);
        PrintNoteRun(subject.name, std::to_string(MergedSources) + " sources", subject.merged.total);
    }
    subject.burst = MeasureNotes(probe, 0, options.burst);
    PrintNoteRun(subject.name, "burst " + std::to_string(options.burst), subject.burst);
    std::printf("%-18s %-14s   last note back %.2f periods after the first was played\n", "", "",
                subject.burst.spanPeriods);
    Settle(probe);
    subject.sysex = MeasureSysex(probe);
    PrintSysex(subject);
    Settle(probe);
    // Last: what it leaves behind may hold up anything after it.
    subject.unterminated = MeasureUnterminated(probe);
    PrintUnterminated(subject);
    subject.measured = true;
    if (subject.isProcess()) {
        memory->Stop();
        subject.peakTotalKb = memory->PeakTotalKb();
        subject.peakOwnKb = memory->PeakOwnKb();
        subject.sharedAtPeakKb = memory->SharedAtPeakKb();
        if (!child.stop())
            std::printf("%s: did not end cleanly when asked\n", subject.name.c_str());
    } else {
        probe.disconnectPorts(probe.outputPort(), probe.inputPort());
    }
    // Its ports are gone before the next subject lists the devices.
    std::this_thread::sleep_for(500ms);
}

// A JACK server of this measurement's own: started, killed, its leftovers removed.
class KilledServer {
public:
    KilledServer(const std::string& name, jack_nframes_t period, const std::string& log)
        : name_(name), period_(period), log_(log)
    {
        if (const char* current = std::getenv("JACK_DEFAULT_SERVER"))
            saved_ = current;
        ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        Start(log_);
    }

    ~KilledServer()
    {
        server_.kill();
        // A killed server keeps its entry in libjack's registry of servers,
        // which holds a few only; a server of the same name that ends
        // cleanly gives it back.
        Start(log_ + ".again");
        Probe();
        server_.stop();
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
            if (entry.path().filename().string().find("_" + name_ + "_") != std::string::npos)
                std::filesystem::remove(entry.path(), error);
        }
        if (saved_)
            ::setenv("JACK_DEFAULT_SERVER", saved_->c_str(), 1);
        else
            ::unsetenv("JACK_DEFAULT_SERVER");
    }

    KilledServer(const KilledServer&) = delete;
    KilledServer& operator=(const KilledServer&) = delete;

    // A probe on it, once it answers; nothing when it did not within 10 s.
    std::unique_ptr<JackProbe> Probe()
    {
        if (!WaitFor([&] { return Answers() || !server_.running(); }, 10s) || !server_.running())
            return nullptr;
        try {
            return std::make_unique<JackProbe>("bench-probe", true);
        } catch (const std::exception&) {
            return nullptr;
        }
    }

    void Kill() { server_.kill(); }
    const std::string& name() const { return name_; }

private:
    // Asked by a client of its own, so that libjack's complaints while the server starts stay out of the output.
    bool Answers() const
    {
        ChildProcess lsp;
        lsp.start("jack_lsp", {}, {"JACK_NO_START_SERVER=1", "JACK_DEFAULT_SERVER=" + name_},
                  ChildProcess::Output::Discarded);
        return lsp.wait(10);
    }

    void Start(const std::string& log)
    {
        server_.start("jackd", {"-n", name_, "-r", "-S", "-d", "dummy", "-r", "48000", "-p", std::to_string(period_)},
                      {}, ChildProcess::Output::FileWithErrors, log);
    }

    std::string name_;
    jack_nframes_t period_;
    std::string log_;
    std::optional<std::string> saved_;
    ChildProcess server_;
};

// Notes flow through the subject when its server is killed; then SIGTERM.
void MeasureKilledServer(Subject& subject, jack_nframes_t period, const Options& options)
{
    const std::string tag = LogName(subject);
    KilledServer server(std::string(std::getenv("JACK_DEFAULT_SERVER")) + "-killed", period,
                        options.logDir + "/jackd-killed-" + tag + ".log");
    std::unique_ptr<JackProbe> probe = server.Probe();
    if (!probe) {
        std::printf("%s: the JACK server to kill did not start\n", subject.name.c_str());
        return;
    }
    ChildProcess child;
    std::vector<std::string> env = ProgramEnvironment(options, tag);
    env.push_back("JACK_DEFAULT_SERVER=" + server.name());
    child.start(subject.path, subject.args, env, ChildProcess::Output::FileWithErrors,
                options.logDir + "/" + tag + "-killed-server.out");
    if (!WaitFor([&] { return probe->connected() && SawTestNote(*probe); }, 20s)) {
        std::printf("%s: did not start on the server to kill\n", subject.name.c_str());
        return;
    }
    StartNoteRun(*probe, 1000, 10000);
    std::this_thread::sleep_for(1s);
    probe->collect();
    subject.killed.forwardedBefore = !probe->events().empty();
    server.Kill();
    WaitFor([&] { return probe->serverGone(); }, 2s);
    probe.reset();
    std::this_thread::sleep_for(500ms);
    const bool running = child.running();
    const auto start = std::chrono::steady_clock::now();
    child.stop(EndLimitSeconds);
    subject.killed.secondsToEnd = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    subject.killed.endedByItself = running && subject.killed.secondsToEnd < EndLimitSeconds;
    subject.killed.measured = running;
    if (!running)
        std::printf("%s: ended by itself when its server was killed\n", subject.name.c_str());
    else
        std::printf("%-18s %-14s SIGTERM to the end: %s\n", subject.name.c_str(), "server killed",
                    subject.killed.endedByItself ? (std::to_string(subject.killed.secondsToEnd).substr(0, 5) + " s").c_str()
                                                 : "did not end within 10 s (killed)");
    std::fflush(stdout);
}

// "p50/p99/max 1.000/1.000/1.000, lost 0" for the note beside a figure.
std::string Distribution(const NoteRun& r)
{
    return "p50/p99/max " + Periods(r.periods.p50) + "/" + Periods(r.periods.p99) + "/" + Periods(r.periods.max) +
           ", lost " + std::to_string(r.lost());
}

// "100.000 % at 1.000 period, lost 0": the share of replies exactly one period after their note.
std::string Share(const NoteRun& r)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3f %% at 1.000 period, lost %zu",
                  r.sent > 0 ? 100.0 * static_cast<double>(r.exactlyOnePeriod) / static_cast<double>(r.sent) : 0.0,
                  r.lost());
    return text;
}

// Each source's share, then the spread of all the replies.
std::string MergedNote(const MergedNoteRun& m)
{
    std::string note;
    for (std::size_t i = 0; i < m.sources.size(); ++i)
        note += SourceLabel(i) + " " + Share(m.sources[i]) + "; ";
    return note + "all: " + Distribution(m.total);
}

const Subject* Find(const std::vector<Subject>& subjects, const std::string& name)
{
    for (const Subject& s : subjects)
        if (s.name == name && s.measured)
            return &s;
    return nullptr;
}

// "before: <figure>" for the note of a target, with the figure of record when there is one.
std::string BeforeNote(const Subject* before, const std::function<std::string(const Subject&)>& figure,
                       const std::string& ofRecord = {})
{
    std::string note = before ? "before: " + figure(*before) : "before: not measured";
    if (!ofRecord.empty())
        note += "; " + ofRecord;
    return note;
}

std::string SysexFigure(const SysexResult& r)
{
    return std::string(r.whole && r.endsInF7 ? "yes" : "no") + ", " + std::to_string(r.bytesBack) + " bytes" +
           (r.endsInF7 ? " ending in F7" : " not ending in F7") + ", " + Periods(r.periods).substr(0, 5) + " periods";
}

std::string ClocksFigure(const SysexResult& r)
{
    return std::to_string(r.clocksInTheirCycle) + " of " + std::to_string(r.clocksSent) + " in their cycle (" +
           std::to_string(r.clocksBack) + " back), max " + Periods(r.clockPeriods.max) + " periods";
}

std::string UnterminatedFigure(const UnterminatedResult& r)
{
    return std::to_string(r.notesBack) + " of " + std::to_string(NotesAfterUnterminated) + " back, latest " +
           Periods(r.maxPeriods) + " periods";
}

std::string BurstFigure(const NoteRun& r)
{
    return std::to_string(r.received) + " of " + std::to_string(r.sent) + (r.inOrder ? " in order" : " back") +
           ", last after " + Periods(r.spanPeriods).substr(0, 5) + " periods";
}

std::string Percent(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f %%", value);
    return text;
}

std::string EndFigure(const KilledServerResult& k)
{
    if (!k.measured)
        return "not measured";
    char text[64];
    if (k.endedByItself)
        std::snprintf(text, sizeof text, "%.2f s", k.secondsToEnd);
    else
        std::snprintf(text, sizeof text, "did not end within %.0f s", EndLimitSeconds);
    return text;
}

void ReportTargets(const std::vector<Subject>& subjects, jack_nframes_t period, std::size_t burst, double idleFloor)
{
    const Subject* program = Find(subjects, "program");
    const Subject* headless = Find(subjects, "headless");
    const Subject* before = Find(subjects, "program before");
    const Subject* wire = Find(subjects, "wire");
    const Subject* direct = Find(subjects, "direct forwarder");
    const std::string at = "JACK p" + std::to_string(period) + ", ";
    for (int i = 0; i < 2; ++i) {
        const std::string rate = std::to_string(static_cast<int>(Rates[i])) + "/s";
        std::string beside;
        if (wire)
            beside += "wire " + Distribution(wire->runs[i]) + "; ";
        if (direct)
            beside += "direct " + Distribution(direct->runs[i]) + "; ";
        for (const Subject* s : {program, headless}) {
            if (!s)
                continue;
            const NoteRun& r = s->runs[i];
            const bool exact = r.sent > 0 && r.lost() == 0 && r.exactlyOnePeriod == r.sent;
            ReportTarget(at + (s == headless ? "headless, " : "") + "loop " + rate + ", every reply at 1.000 period",
                         exact, Distribution(r),
                         beside + BeforeNote(before, [i](const Subject& b) { return Distribution(b.runs[i]); }));
        }
    }
    for (const Subject* s : {program, headless}) {
        if (!s || !s->mergesSources)
            continue;
        const NoteRun& t = s->merged.total;
        ReportTarget(at + (s == headless ? "headless, " : "") + std::to_string(MergedSources) + " sources at once, " +
                         std::to_string(static_cast<int>(MergedRate)) + "/s in all, all at 1.000 period, none lost",
                     t.sent > 0 && t.lost() == 0 && t.exactlyOnePeriod == t.sent, Share(t),
                     MergedNote(s->merged) + "; " +
                         BeforeNote(before, [](const Subject& b) { return Share(b.merged.total); }));
    }
    if (!program)
        return;
    ReportTarget(at + "burst of " + std::to_string(burst) + " in one period, all back in order",
                 program->burst.sent == burst && program->burst.inOrder, BurstFigure(program->burst),
                 BeforeNote(before, [](const Subject& b) { return BurstFigure(b.burst); }, "issue: 1,025 to 1,786 back"));
    const SysexResult& x = program->sysex;
    ReportTarget(at + "1 MB sysex in pieces, whole, in order, ends in F7", x.whole && x.endsInF7, SysexFigure(x),
                 BeforeNote(before, [](const Subject& b) { return SysexFigure(b.sysex); },
                            "issue: cut to 1,023,984 bytes without F7"));
    ReportTarget(at + "clocks between sysex pieces leave in their cycle",
                 x.clocksSent > 0 && x.clocksInTheirCycle == x.clocksSent, ClocksFigure(x),
                 BeforeNote(before, [](const Subject& b) { return ClocksFigure(b.sysex); },
                            "issue: held until the sysex ends"));
    const UnterminatedResult& u = program->unterminated;
    ReportTarget(at + "notes after unterminated sysex back within 1 period",
                 u.notesBack == NotesAfterUnterminated && u.maxPeriods <= 1.0, UnterminatedFigure(u),
                 BeforeNote(before, [](const Subject& b) { return UnterminatedFigure(b.unterminated) + " within 3 s"; },
                            "issue: no output for 5 s"));
    const std::string idleBeside = (direct ? "direct forwarder " + Percent(direct->idlePercent) : std::string()) +
                                   (idleFloor >= 0 ? "; bare JACK client " + Percent(idleFloor) : std::string()) + "; " + BeforeNote(before, [](const Subject& b) { return Percent(b.idlePercent); },
                                                     "issue: 2.15 % at period 64");
    // The 0.5 % is set at period 64, where a JACK client wakes most often; at every period, below the direct forwarder.
    const bool belowDirect = direct && program->idlePercent < direct->idlePercent;
    if (period == 64)
        ReportTarget(at + "idle CPU, devices open, < 0.5 % and below direct",
                     program->idlePercent < 0.5 && belowDirect, Percent(program->idlePercent) + " of a core",
                     idleBeside);
    else
        ReportTarget(at + "idle CPU, devices open, below direct", belowDirect,
                     Percent(program->idlePercent) + " of a core", idleBeside);
    if (headless) {
        ReportTarget(at + "headless beside the window, idle CPU", true,
                     Percent(headless->idlePercent) + " vs " + Percent(program->idlePercent));
    }
    for (const Subject* s : {program, headless}) {
        if (!s)
            continue;
        const KilledServerResult& k = s->killed;
        ReportTarget(at + (s == headless ? "headless, " : "") + "server killed, SIGTERM to the end <= 2 s",
                     k.measured && k.endedByItself && k.secondsToEnd <= 2, EndFigure(k),
                     BeforeNote(before, [](const Subject& b) { return EndFigure(b.killed); }));
    }
    ReportUpperTarget("peak resident memory, own pages, forwarding on JACK", program->peakOwnKb / 1024.0, 80, "MB",
                      "with the JACK server's shared memory: " + std::to_string(program->peakTotalKb / 1024) + " MB");
}

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--program") == 0)
            options.program = argv[i + 1];
        else if (std::strcmp(argv[i], "--before") == 0)
            options.before = argv[i + 1];
        else if (std::strcmp(argv[i], "--forwarder") == 0)
            options.forwarder = argv[i + 1];
        else if (std::strcmp(argv[i], "--idle-client") == 0)
            options.idleClient = argv[i + 1];
        else if (std::strcmp(argv[i], "--seconds") == 0)
            options.seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--burst") == 0)
            options.burst = static_cast<std::size_t>(std::atol(argv[i + 1]));
        else if (std::strcmp(argv[i], "--log") == 0)
            options.logDir = argv[i + 1];
        else
            return std::nullopt;
    }
    if (options.program.empty() || options.forwarder.empty() || argc % 2 == 0)
        return std::nullopt;
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options || !std::getenv("JACK_DEFAULT_SERVER")) {
        std::fprintf(stderr,
                     "usage: JACK_DEFAULT_SERVER=NAME %s --program PATH --forwarder PATH [--before PATH] "
                     "[--idle-client PATH] [--seconds S] [--burst N] [--log DIR]\n",
                     argv[0]);
        return 2;
    }
    std::vector<Subject> subjects;
    double idleFloor = -1;
    {
        // Both ports marked physical, so that the program, which opens the first devices it lists, opens them.
        JackProbe probe("bench-probe", true);
        const jack_nframes_t period = probe.periodFrames();
        std::printf("== Over JACK: dummy driver, synchronous, %u Hz, period %u frames (%.0f us), probe %s -> ... -> "
                    "%s\n",
                    probe.sampleRate(), period, 1e6 * period / probe.sampleRate(), probe.outputPort().c_str(),
                    probe.inputPort().c_str());
        subjects.emplace_back("wire", "", std::vector<std::string>{}, false, false);
        subjects.emplace_back("direct forwarder", options->forwarder,
                              std::vector<std::string>{probe.outputPort(), probe.inputPort()}, false, false);
        subjects.emplace_back("program", options->program, std::vector<std::string>{}, true, true, true);
        // Its devices named, as a rig's service starts it.
        subjects.emplace_back(
            "headless", options->program,
            std::vector<std::string>{"--headless", "--input", probe.outputPort(), "--output", probe.inputPort()}, true,
            true, true);
        if (!options->before.empty())
            subjects.emplace_back("program before", options->before, std::vector<std::string>{}, true, true, true);
        for (Subject& subject : subjects)
            MeasureSubject(probe, subject, *options);
        if (!options->idleClient.empty())
            idleFloor = MeasureIdleFloor(probe, *options);
    }
    jack_nframes_t period = 0;
    {
        JackProbe probe("bench-probe", true);
        period = probe.periodFrames();
    }
    std::printf("-- a JACK server killed while notes flow, then SIGTERM\n");
    for (Subject& subject : subjects) {
        if (subject.serverKilled)
            MeasureKilledServer(subject, period, *options);
    }
    for (const Subject& s : subjects) {
        if (s.isProcess() && s.measured)
            std::printf("peak resident memory, %s: %.1f MB (of which %.1f MB the JACK server's shared memory); "
                        "its own pages %.1f MB\n",
                        s.name.c_str(), s.peakTotalKb / 1024.0, s.sharedAtPeakKb / 1024.0, s.peakOwnKb / 1024.0);
    }
    if (!Find(subjects, "program")) {
        std::printf("JACK benchmark incomplete\n");
        return 1;
    }
    ReportTargets(subjects, period, options->burst, idleFloor);
    return 0;
}
