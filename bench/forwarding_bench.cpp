// SPDX-License-Identifier: GPL-3.0-or-later
// The forwarding path in-process: a paced driver thread plays note messages
// into the real input port, whose thru route maps them through the curve and
// sends them on that same thread, while the real main window shows what went
// through; the output call stamps them. Latency from the driver callback to
// the output call, with the window idle and while a point is dragged on the
// chart; the highest rate sustained with no overflow; CPU time per message.
// The figures before the route left the main thread can only be taken with
// that code linked in: those of record (docs/performance.md) stand beside.
//
// Usage: bench_forwarding [--seconds S] [--rate R [--drag] [--dump FILE] [--slow-events US]]
//   S seconds per measured run (10 by default). With --rate, only that one
//   run (idle window, or dragging with --drag), for profiling: --dump writes
//   each message's delivery time and latency to FILE; --slow-events lists the
//   main thread's events that took longer than US microseconds.
#include "app/application.h"
#include "app/error_report.h"
#include "app/main_window.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/led_indicator.h"
#include "app/widgets/step_slider.h"
#include "bench_report.h"
#include "latency_stats.h"
#include "paced_backend.h"
#include "platform/midi/midi_services.h"
#include "routing/midi_routing.h"

#include <QEventLoop>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

// Rates of the ramp that looks for the highest rate with no overflow.
constexpr double RampStart = 10'000;
constexpr double RampLimit = 1'280'000;
constexpr double RampSeconds = 3;
constexpr double DragHz = 120;

std::int64_t SteadyNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t ThreadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// The window's questions are never asked during the benchmark; an error is shown on the console.
class ConsolePrompts final : public IPrompts {
public:
    Answer AskYesNoCancel(QWidget*, const QString&) override { return Answer::No; }
    std::optional<QString> ChooseFileToOpen(QWidget*, const FileDialogSpec&) override { return std::nullopt; }
    std::optional<QString> ChooseFileToSave(QWidget*, const FileDialogSpec&) override { return std::nullopt; }
    void ShowError(QWidget*, const QString& text) override
    {
        std::fprintf(stderr, "error report: %s\n", text.toUtf8().constData());
    }
    void ShowMessage(QWidget*, const QString&) override {}
    std::optional<int> AskNumber(QWidget*, const QString&, int, int, int) override { return std::nullopt; }
};

// The user dragging point 2 round a small circle on the chart: a press on its
// marker, then mouse movements at 120 Hz, each of which changes both of its
// values (two rebuilds of the curve and a repaint of the chart).
class ChartDrag {
public:
    explicit ChartDrag(TfmMain& form) : form_(form)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Move(); });
    }

    void Start()
    {
        const QPointF centre(form_.tbPtIn[1]->Position(), form_.tbPtOut[1]->Position());
        centre_ = QPointF(std::clamp(centre.x(), 70.0, 100.0), std::clamp(centre.y(), 70.0, 110.0));
        QTest::mousePress(form_.Chart1, Qt::LeftButton, {}, Pixel(centre));
        moves_ = 0;
        startNs_ = SteadyNs();
        Arm();
    }

    void Stop()
    {
        timer_.stop();
        QTest::mouseRelease(form_.Chart1, Qt::LeftButton, {}, last_);
    }

    int Moves() const { return moves_; }

private:
    QPoint Pixel(const QPointF& value) const
    {
        const QPointF p = form_.Chart1->ValueToPixel(value);
        return QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
    }

    // Next movement on the 120 Hz schedule.
    void Arm()
    {
        const auto due = startNs_ + static_cast<std::int64_t>((moves_ + 1) * 1e9 / DragHz);
        timer_.start(static_cast<int>(std::max<std::int64_t>(0, (due - SteadyNs() + 500'000) / 1'000'000)));
    }

    void Move()
    {
        ++moves_;
        // Ten pixels' worth or more round the circle each time, so both values change.
        const double angle = moves_ * 2 * std::numbers::pi / 24;
        last_ = Pixel(centre_ + QPointF(12 * std::cos(angle), 12 * std::sin(angle)));
        QMouseEvent event(QEvent::MouseMove, last_, form_.Chart1->mapToGlobal(last_), Qt::NoButton,
                          Qt::LeftButton, {});
        QApplication::sendEvent(form_.Chart1, &event);
        Arm();
    }

    TfmMain& form_;
    QTimer timer_;
    QPointF centre_;
    QPoint last_;
    std::int64_t startNs_ = 0;
    int moves_ = 0;
};

struct RunResult {
    double rate = 0;
    double seconds = 0;
    std::size_t delivered = 0;
    std::size_t forwarded = 0;
    bool overflowLamp = false;
    LatencySummary latencyUs;
    double mainCpuUsPerMessage = 0;
    double mainCpuShare = 0; // of one core, over the run
    double driverCpuUsPerMessage = 0;
    int dragMoves = 0;

    std::size_t lost() const { return delivered - forwarded; }
};

class ForwardingBench {
public:
    // With `dump`, every run writes one line per message to it: milliseconds
    // since the run's first delivery, then the latency in microseconds.
    ForwardingBench(std::size_t capacity, std::FILE* dump) : backend_(std::make_shared<PacedBackend>(capacity)), dump_(dump)
    {
        SetMidiBackend(backend_);
        routing_.CreateMidiPorts();
        form_ = std::make_unique<TfmMain>(prompts_, &routing_);
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_.get()))
            std::fprintf(stderr, "the window was not exposed\n");
        QTest::qWait(300);
        drag_ = std::make_unique<ChartDrag>(*form_);
    }

    ~ForwardingBench()
    {
        drag_.reset();
        routing_.FreeMidiPorts();
        form_.reset();
        SetMidiBackend(nullptr);
    }

    ForwardingBench(const ForwardingBench&) = delete;
    ForwardingBench& operator=(const ForwardingBench&) = delete;

    bool PortsOpen() const
    {
        return routing_.MidiIn && routing_.MidiIn->State() == misOpen && routing_.MidiOut &&
               routing_.MidiOut->State() == mosOpen;
    }

    RunResult Run(double rate, double seconds, bool drag)
    {
        backend_->Clear();
        form_->LedMidiErr->SetLedOn(false);
        if (drag)
            drag_->Start();
        const auto count = static_cast<std::size_t>(rate * seconds);
        const std::int64_t wall0 = SteadyNs();
        const std::int64_t cpu0 = ThreadCpuNs();
        backend_->StartRun(rate, count);
        WaitUntilDrained();
        const std::int64_t cpu1 = ThreadCpuNs();
        const std::int64_t wall1 = SteadyNs();
        if (drag)
            drag_->Stop();

        RunResult result;
        result.rate = rate;
        result.seconds = seconds;
        result.dragMoves = drag ? drag_->Moves() : 0;
        result.overflowLamp = form_->LedMidiErr->LedOn();
        const std::vector<PacedBackend::Stamp> in = backend_->Delivered();
        const std::vector<PacedBackend::Stamp> out = backend_->Sent();
        result.delivered = in.size();
        std::vector<double> latencies = Match(in, out);
        result.forwarded = latencies.size();
        result.latencyUs = Summarize(latencies);
        const double messages = std::max<double>(1, static_cast<double>(result.delivered));
        result.mainCpuUsPerMessage = static_cast<double>(cpu1 - cpu0) / 1e3 / messages;
        result.mainCpuShare = static_cast<double>(cpu1 - cpu0) / static_cast<double>(wall1 - wall0);
        result.driverCpuUsPerMessage = static_cast<double>(backend_->DriverCpuNs()) / 1e3 / messages;
        return result;
    }

private:
    // Runs the event loop until the driver has played the whole run and the
    // window has taken everything queued: every message is then sent or lost.
    void WaitUntilDrained()
    {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (backend_->RunDelivered() && routing_.MidiIn->MessageCount() == 0)
                loop.quit();
        });
        poll.start(50);
        loop.exec();
        QCoreApplication::processEvents();
    }

    // Latency of each sent message from its delivery, in microseconds. Both
    // lists are in order; a delivered message with no match was lost.
    std::vector<double> Match(const std::vector<PacedBackend::Stamp>& in, const std::vector<PacedBackend::Stamp>& out)
    {
        std::vector<double> latencies;
        latencies.reserve(out.size());
        std::size_t k = 0;
        for (const PacedBackend::Stamp& sent : out) {
            while (k < in.size() && in[k].id != sent.id)
                ++k;
            if (k == in.size())
                break;
            latencies.push_back(static_cast<double>(sent.ns - in[k].ns) / 1e3);
            if (dump_)
                std::fprintf(dump_, "%.3f %.2f\n", static_cast<double>(in[k].ns - in.front().ns) / 1e6, latencies.back());
            ++k;
        }
        return latencies;
    }

    std::shared_ptr<PacedBackend> backend_;
    ConsolePrompts prompts_;
    TMidiRouting routing_;
    std::unique_ptr<TfmMain> form_;
    std::unique_ptr<ChartDrag> drag_;
    std::FILE* dump_;
};

void PrintRun(const char* label, const RunResult& r)
{
    std::printf("%-26s %7.0f/s %5.1f s  sent %8zu  lost %6zu  %s\n", label, r.rate, r.seconds, r.delivered,
                r.lost(), FormatSummary(r.latencyUs, "us").c_str());
    std::printf("%-26s main thread %.2f us/msg (%.1f %% of a core), driver thread %.2f us/msg%s\n", "",
                r.mainCpuUsPerMessage, 100 * r.mainCpuShare, r.driverCpuUsPerMessage,
                r.dragMoves ? (", " + std::to_string(r.dragMoves) + " drag moves").c_str() : "");
    std::fflush(stdout);
}

// The highest rate of the ramp with no message lost, each held RampSeconds.
double HighestSustainedRate(ForwardingBench& bench)
{
    double good = 0;
    double bad = 0;
    for (double rate = RampStart; rate <= RampLimit; rate *= 2) {
        const RunResult r = bench.Run(rate, RampSeconds, false);
        std::printf("  ramp %9.0f/s: lost %zu%s\n", rate, r.lost(), r.overflowLamp ? " (overflow lamp lit)" : "");
        std::fflush(stdout);
        if (r.lost() > 0 || r.overflowLamp) {
            bad = rate;
            break;
        }
        good = rate;
    }
    // Three halvings between the last rate held and the first one lost.
    for (int i = 0; bad > 0 && i < 3; ++i) {
        const double rate = (good + bad) / 2;
        const RunResult r = bench.Run(rate, RampSeconds, false);
        std::printf("  ramp %9.0f/s: lost %zu%s\n", rate, r.lost(), r.overflowLamp ? " (overflow lamp lit)" : "");
        std::fflush(stdout);
        (r.lost() > 0 || r.overflowLamp ? bad : good) = rate;
    }
    return good;
}

// The program's application object, timing every event the main thread
// handles at the top of its event loop, for --slow-events.
class TimedApplication final : public TApplication {
public:
    using TApplication::TApplication;

    // Events handled in more than this many microseconds are counted; 0 counts none.
    double thresholdUs = 0;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (thresholdUs <= 0 || depth_ > 0)
            return TApplication::notify(receiver, event);
        const std::int64_t start = SteadyNs();
        ++depth_;
        const bool handled = TApplication::notify(receiver, event);
        --depth_;
        const double us = static_cast<double>(SteadyNs() - start) / 1e3;
        if (us > thresholdUs) {
            const QString name = QStringLiteral("%1 to %2 %3")
                                     .arg(int(event->type()))
                                     .arg(QString::fromLatin1(receiver->metaObject()->className()), receiver->objectName());
            slow_[name].push_back(us);
        }
        return handled;
    }

    // Prints, per kind of event and receiver, how often it took longer than the threshold.
    void PrintSlowEvents(double seconds)
    {
        std::printf("main-thread events longer than %.0f us (event type to receiver: per second, median, max):\n",
                    thresholdUs);
        for (auto& [name, times] : slow_) {
            std::sort(times.begin(), times.end());
            std::printf("  %-48s %7.1f/s %7.0f us %7.0f us\n", name.toUtf8().constData(),
                        static_cast<double>(times.size()) / seconds, times[times.size() / 2], times.back());
        }
        slow_.clear();
    }

private:
    int depth_ = 0;
    std::map<QString, std::vector<double>> slow_;
};

} // namespace

int main(int argc, char** argv)
{
    double seconds = 10;
    double onlyRate = 0;
    bool onlyDrag = false;
    const char* dumpPath = nullptr;
    double slowEventsUs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc)
            onlyRate = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--drag") == 0)
            onlyDrag = true;
        else if (std::strcmp(argv[i], "--dump") == 0 && i + 1 < argc)
            dumpPath = argv[++i];
        else if (std::strcmp(argv[i], "--slow-events") == 0 && i + 1 < argc)
            slowEventsUs = std::atof(argv[++i]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    int errors = 0;
    SetErrorSink([&](const QString& text) {
        if (++errors <= 5)
            std::fprintf(stderr, "error report: %s\n", text.toUtf8().constData());
    });

    const auto capacity = static_cast<std::size_t>(std::max(RampLimit * RampSeconds, 10'000 * seconds));
    std::FILE* dump = onlyRate > 0 && dumpPath ? std::fopen(dumpPath, "w") : nullptr;
    ForwardingBench bench(capacity, dump);
    if (!bench.PortsOpen()) {
        std::fprintf(stderr, "the benchmark's MIDI ports did not open\n");
        return 1;
    }

    std::printf("== In-process forwarding: driver callback to output call (%s platform)\n",
                QGuiApplication::platformName().toUtf8().constData());
    if (onlyRate > 0) {
        app.thresholdUs = slowEventsUs;
        PrintRun(onlyDrag ? "dragging a point (120 Hz)" : "window idle", bench.Run(onlyRate, seconds, onlyDrag));
        if (slowEventsUs > 0)
            app.PrintSlowEvents(seconds);
        if (dump)
            std::fclose(dump);
        return 0;
    }
    RunResult idle[2];
    RunResult drag[2];
    const double rates[2] = {1000, 10000};
    for (int i = 0; i < 2; ++i) {
        idle[i] = bench.Run(rates[i], seconds, false);
        PrintRun("window idle", idle[i]);
        drag[i] = bench.Run(rates[i], seconds, true);
        PrintRun("dragging a point (120 Hz)", drag[i]);
    }
    std::printf("Highest rate with no overflow (ramp, %.0f s per step):\n", RampSeconds);
    const double highest = HighestSustainedRate(bench);
    std::printf("  highest sustained: %.0f messages/s\n", highest);

    // Of record, 2026-12-10, with forwarding on the main thread (docs/performance.md).
    const char* beforeP50[2] = {"23.3 us", "23.7 us"};
    const char* beforeIdleP99[2] = {"67 us", "244 us (99 us in a second run)"};
    const char* beforeDragP99[2] = {"158 us", "1.26 ms"};
    const std::string ofRecord = " (of record, not measured in this run)";
    for (int i = 0; i < 2; ++i) {
        const std::string rate = std::to_string(static_cast<int>(rates[i])) + "/s";
        ReportUpperTarget("in-process p50, window idle, " + rate, idle[i].latencyUs.p50, 30, "us",
                          std::string("before: ") + beforeP50[i] + ofRecord);
        ReportUpperTarget("in-process p99, window idle, " + rate, idle[i].latencyUs.p99, 50, "us",
                          std::string("before: ") + beforeIdleP99[i] + ofRecord);
        ReportUpperTarget("in-process p99, dragging, " + rate, drag[i].latencyUs.p99, 50, "us",
                          std::string("before: ") + beforeDragP99[i] + ofRecord);
    }
    std::size_t lostAt10k = idle[1].lost() + drag[1].lost();
    ReportTarget("in-process 10000/s sustained with no overflow", lostAt10k == 0 && highest >= 10'000,
                 std::to_string(lostAt10k) + " lost at 10000/s; highest " + std::to_string(static_cast<long>(highest)) +
                     "/s",
                 "before: none lost at 10000/s; highest 240000/s" + ofRecord);
    ReportTarget("in-process main-thread CPU per message, idle, 10000/s", true,
                 std::to_string(idle[1].mainCpuUsPerMessage).substr(0, 5) + " us (shown)",
                 "before: 21 us" + ofRecord);
    if (errors > 0)
        std::fprintf(stderr, "%d error reports during the benchmark\n", errors);
    return 0;
}
