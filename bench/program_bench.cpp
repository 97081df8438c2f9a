// The running program: time from start to the window shown (on the X server
// named by DISPLAY), idle CPU over a span with no MIDI traffic, and peak
// resident memory; with its devices open on the JACK server named by
// JACK_DEFAULT_SERVER, and with no MIDI server at all. The direct forwarder's
// idle CPU on the same JACK server is the floor any JACK client pays.
//
// Usage: bench_program --program PATH --forwarder PATH [--idle-seconds S] [--launches N] [--log DIR]
#include "bench_report.h"
#include "child_process.h"
#include "jack_probe.h"
#include "resident_sampler.h"
#include "window_map_watch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Options {
    std::string program;
    std::string forwarder;
    std::string logDir = ".";
    double idleSeconds = 10;
    int launches = 5;
};

struct Idle {
    double cpuShare = 0; // of one core
    long peakTotalKb = 0;
    long peakOwnKb = 0;
    bool measured = false;
};

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU share of one core that the process uses over `seconds`.
double IdleShare(const ChildProcess& child, double seconds)
{
    const double cpu0 = child.cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return (child.cpuSeconds() - cpu0) / SecondsSince(start);
}

std::vector<std::string> ProgramEnvironment(const char* jackServer)
{
    std::vector<std::string> env{"QT_QPA_PLATFORM=xcb"};
    if (jackServer)
        env.push_back(std::string("JACK_DEFAULT_SERVER=") + jackServer);
    return env;
}

// Starts the program and waits for its window; the seconds it took, or nothing.
std::optional<double> Launch(ChildProcess& child, const Options& options, const char* jackServer)
{
    WindowMapWatch watch;
    const auto start = std::chrono::steady_clock::now();
    child.start(options.program, {}, ProgramEnvironment(jackServer), ChildProcess::Output::File,
                options.logDir + "/program_idle.out");
    if (!watch.WaitForMapped("Velomorph", 30s))
        return std::nullopt;
    return SecondsSince(start);
}

Idle MeasureProgramIdle(const Options& options, const char* jackServer)
{
    Idle idle;
    ChildProcess child;
    if (!Launch(child, options, jackServer))
        return idle;
    ResidentSampler memory(child.pid());
    // The lamps of the test note go out; nothing moves after that.
    std::this_thread::sleep_for(2s);
    idle.cpuShare = IdleShare(child, options.idleSeconds);
    memory.Stop();
    idle.peakTotalKb = memory.PeakTotalKb();
    idle.peakOwnKb = memory.PeakOwnKb();
    idle.measured = true;
    child.stop();
    return idle;
}

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--program") == 0)
            options.program = argv[i + 1];
        else if (std::strcmp(argv[i], "--forwarder") == 0)
            options.forwarder = argv[i + 1];
        else if (std::strcmp(argv[i], "--idle-seconds") == 0)
            options.idleSeconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--launches") == 0)
            options.launches = std::max(1, std::atoi(argv[i + 1]));
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
        std::fprintf(stderr,
                     "usage: %s --program PATH --forwarder PATH [--idle-seconds S] [--launches N] [--log DIR]\n",
                     argv[0]);
        return 2;
    }
    const char* jackServer = std::getenv("JACK_DEFAULT_SERVER");
    if (!jackServer || !std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_program needs DISPLAY and JACK_DEFAULT_SERVER\n");
        return 2;
    }
    // Stands for a keyboard and a synth, so that the program opens two devices.
    JackProbe probe("bench-idle-probe", true);
    std::printf("== The running program (X server %s, JACK server %s, period %u frames)\n", std::getenv("DISPLAY"),
                jackServer, probe.periodFrames());

    std::vector<double> launches;
    for (int i = 0; i < options->launches; ++i) {
        ChildProcess child;
        if (const std::optional<double> seconds = Launch(child, *options, jackServer))
            launches.push_back(*seconds);
        child.stop();
    }
    std::sort(launches.begin(), launches.end());
    std::printf("start to window shown, devices on JACK:");
    for (double s : launches)
        std::printf(" %.0f ms", 1e3 * s);
    std::printf("\n");

    const Idle onJack = MeasureProgramIdle(*options, jackServer);
    std::printf("idle, devices open on JACK:  CPU %.3f %% of a core over %.0f s; peak resident %.1f MB, own pages %.1f MB\n",
                100 * onJack.cpuShare, options->idleSeconds, onJack.peakTotalKb / 1024.0, onJack.peakOwnKb / 1024.0);
    const Idle noServer = MeasureProgramIdle(*options, "velomorph-bench-no-such-server");
    std::printf("idle, no MIDI server:        CPU %.3f %% of a core over %.0f s; peak resident %.1f MB, own pages %.1f MB\n",
                100 * noServer.cpuShare, options->idleSeconds, noServer.peakTotalKb / 1024.0, noServer.peakOwnKb / 1024.0);

    double forwarderShare = 0;
    {
        ChildProcess forwarder;
        forwarder.start(options->forwarder, {probe.outputPort(), probe.inputPort()}, {}, ChildProcess::Output::File,
                        options->logDir + "/direct_forwarder_idle.out");
        std::this_thread::sleep_for(2s);
        forwarderShare = IdleShare(forwarder, options->idleSeconds);
        forwarder.stop();
    }
    std::printf("idle, direct forwarder on JACK: CPU %.3f %% of a core\n", 100 * forwarderShare);

    if (!launches.empty())
        std::printf("start to window shown: median %.0f ms\n", 1e3 * launches[launches.size() / 2]);
    if (!onJack.measured || !noServer.measured) {
        std::printf("the program's window never showed\n");
        return 1;
    }
    ReportUpperTarget("idle CPU, devices open on JACK", 100 * onJack.cpuShare, 0.5, "%",
                      "the direct forwarder alone: " + std::to_string(100 * forwarderShare).substr(0, 5) + " %");
    ReportUpperTarget("idle CPU, no MIDI server", 100 * noServer.cpuShare, 0.5, "%");
    ReportUpperTarget("peak resident memory, no MIDI server", noServer.peakTotalKb / 1024.0, 80, "MB");
    ReportUpperTarget("peak resident memory, own pages, devices open on JACK", onJack.peakOwnKb / 1024.0, 80, "MB",
                      "with the JACK server's shared memory: " + std::to_string(onJack.peakTotalKb / 1024) + " MB");
    return 0;
}
