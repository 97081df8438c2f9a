// SPDX-License-Identifier: GPL-3.0-or-later
// The running program: time from start to the window shown (on the X server
// named by DISPLAY), idle CPU over a span with no MIDI traffic, and peak
// resident memory; with its devices open on the JACK server named by
// JACK_DEFAULT_SERVER, and with no MIDI server at all. The direct forwarder's
// idle CPU on the same JACK server is printed beside.
//
// The program as it was before (--before) is measured the same way, beside.
//
// Usage: bench_program --program PATH --forwarder PATH [--before PATH] [--idle-seconds S] [--launches N]
//                      [--log DIR]
#include "bench_report.h"
#include "child_process.h"
#include "jack_probe.h"
#include "resident_sampler.h"
#include "window_map_watch.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
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
    std::string before;
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

std::vector<std::string> ProgramEnvironment(const Options& options, const char* jackServer)
{
    std::vector<std::string> env{"QT_QPA_PLATFORM=xcb"};
    if (jackServer)
        env.push_back(std::string("JACK_DEFAULT_SERVER=") + jackServer);
    // Folders of its own, new for each start: no settings from an earlier one.
    char pattern[] = "velomorph-program-XXXXXX";
    const std::filesystem::path base = std::filesystem::absolute(options.logDir);
    std::string dir = (base / pattern).string();
    if (::mkdtemp(dir.data())) {
        env.push_back("XDG_CONFIG_HOME=" + dir + "/config");
        env.push_back("XDG_DATA_HOME=" + dir + "/data");
    }
    return env;
}

// Starts the program and waits for its window; the seconds it took, or nothing.
std::optional<double> Launch(ChildProcess& child, const std::string& program, const Options& options,
                             const char* jackServer)
{
    WindowMapWatch watch;
    const auto start = std::chrono::steady_clock::now();
    child.start(program, {}, ProgramEnvironment(options, jackServer), ChildProcess::Output::File,
                options.logDir + "/program_idle.out");
    if (!watch.WaitForMapped("Velomorph", 30s))
        return std::nullopt;
    return SecondsSince(start);
}

Idle MeasureProgramIdle(const std::string& program, const Options& options, const char* jackServer)
{
    Idle idle;
    ChildProcess child;
    if (!Launch(child, program, options, jackServer))
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

// Everything this benchmark measures of one program.
struct Figures {
    bool measured = false;
    std::vector<double> launches; // seconds, sorted
    Idle onJack;
    Idle noServer;

    double MedianLaunchMs() const { return launches.empty() ? 0 : 1e3 * launches[launches.size() / 2]; }
};

Figures MeasureProgram(const std::string& name, const std::string& program, const Options& options,
                       const char* jackServer)
{
    Figures f;
    for (int i = 0; i < options.launches; ++i) {
        ChildProcess child;
        if (const std::optional<double> seconds = Launch(child, program, options, jackServer))
            f.launches.push_back(*seconds);
        child.stop();
    }
    std::sort(f.launches.begin(), f.launches.end());
    std::printf("%s, start to window shown, devices on JACK:", name.c_str());
    for (double s : f.launches)
        std::printf(" %.0f ms", 1e3 * s);
    std::printf("\n");
    f.onJack = MeasureProgramIdle(program, options, jackServer);
    std::printf("%s, idle, devices open on JACK:  CPU %.3f %% of a core over %.0f s; peak resident %.1f MB, own pages "
                "%.1f MB\n",
                name.c_str(), 100 * f.onJack.cpuShare, options.idleSeconds, f.onJack.peakTotalKb / 1024.0,
                f.onJack.peakOwnKb / 1024.0);
    f.noServer = MeasureProgramIdle(program, options, "velomorph-bench-no-such-server");
    std::printf("%s, idle, no MIDI server:        CPU %.3f %% of a core over %.0f s; peak resident %.1f MB, own pages "
                "%.1f MB\n",
                name.c_str(), 100 * f.noServer.cpuShare, options.idleSeconds, f.noServer.peakTotalKb / 1024.0,
                f.noServer.peakOwnKb / 1024.0);
    std::fflush(stdout);
    f.measured = f.onJack.measured && f.noServer.measured;
    return f;
}

std::string Figure(double value, const char* unit)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3g %s", value, unit);
    return text;
}

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--program") == 0)
            options.program = argv[i + 1];
        else if (std::strcmp(argv[i], "--forwarder") == 0)
            options.forwarder = argv[i + 1];
        else if (std::strcmp(argv[i], "--before") == 0)
            options.before = argv[i + 1];
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
                     "usage: %s --program PATH --forwarder PATH [--before PATH] [--idle-seconds S] [--launches N] "
                     "[--log DIR]\n",
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

    const Figures program = MeasureProgram("program", options->program, *options, jackServer);
    Figures before;
    if (!options->before.empty())
        before = MeasureProgram("program before", options->before, *options, jackServer);

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

    if (!program.measured) {
        std::printf("the program's window never showed\n");
        return 1;
    }
    const auto beforeNote = [&](const std::function<double(const Figures&)>& figure, const char* unit,
                                const std::string& more = {}) {
        std::string note = before.measured ? "before: " + Figure(figure(before), unit) : "before: not measured";
        return more.empty() ? note : note + "; " + more;
    };
    std::printf("start to window shown: median %.0f ms\n", program.MedianLaunchMs());
    ReportTarget("start to window shown, devices on JACK (median)", true, Figure(program.MedianLaunchMs(), "ms"),
                 beforeNote([](const Figures& f) { return f.MedianLaunchMs(); }, "ms"));
    ReportUpperTarget("idle CPU, devices open on JACK, period " + std::to_string(probe.periodFrames()),
                      100 * program.onJack.cpuShare, 0.5, "%",
                      beforeNote([](const Figures& f) { return 100 * f.onJack.cpuShare; }, "%",
                                 "the direct forwarder alone: " + Figure(100 * forwarderShare, "%")));
    ReportUpperTarget("idle CPU, no MIDI server", 100 * program.noServer.cpuShare, 0.5, "%",
                      beforeNote([](const Figures& f) { return 100 * f.noServer.cpuShare; }, "%"));
    ReportUpperTarget("peak resident memory, no MIDI server", program.noServer.peakTotalKb / 1024.0, 80, "MB",
                      beforeNote([](const Figures& f) { return f.noServer.peakTotalKb / 1024.0; }, "MB"));
    ReportUpperTarget("peak resident memory, own pages, devices open on JACK", program.onJack.peakOwnKb / 1024.0, 80,
                      "MB",
                      beforeNote([](const Figures& f) { return f.onJack.peakOwnKb / 1024.0; }, "MB",
                                 "with the JACK server's shared memory: " +
                                     Figure(program.onJack.peakTotalKb / 1024.0, "MB")));
    return 0;
}
