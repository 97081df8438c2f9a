// SPDX-License-Identifier: GPL-3.0-or-later
// Micro-benchmarks of the pieces of the MIDI path: the curve rebuild, the
// ring buffer, the driver callback and one notification from post to
// delivery. Google Benchmark's own options apply (--benchmark_filter, ...).
#include "app/main_window.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/led_indicator.h"
#include "app/widgets/step_slider.h"
#include "curve/curve_fit.h"
#include "curve/curve_points.h"
#include "curve/transfer_table.h"
#include "midi/driver_callback.h"
#include "midi/event_buffer.h"
#include "platform/notification_window.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <memory>
#include <optional>
#include <semaphore>
#include <thread>
#include <vector>

namespace {

// The window's questions are never asked here.
class NoPrompts final : public IPrompts {
public:
    Answer AskYesNoCancel(QWidget*, const QString&) override { return Answer::Cancel; }
    std::optional<QString> ChooseFileToOpen(QWidget*, const FileDialogSpec&) override { return std::nullopt; }
    std::optional<QString> ChooseFileToSave(QWidget*, const FileDialogSpec&) override { return std::nullopt; }
    void ShowError(QWidget*, const QString&) override {}
    void ShowMessage(QWidget*, const QString&) override {}
    std::optional<int> AskNumber(QWidget*, const QString&, int, int, int) override { return std::nullopt; }
};

CurvePoints PointsInUse(int count)
{
    CurvePoints points = DefaultCurvePoints;
    points.Count = count;
    return points;
}

// The table alone, for 2 points (the default) and for 8.
void BM_BuildTransferTable(benchmark::State& state)
{
    const CurvePoints points = PointsInUse(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TTransferTable table = BuildTransferTable(points);
        benchmark::DoNotOptimize(table);
    }
}
BENCHMARK(BM_BuildTransferTable)->Arg(2)->Arg(8);

// The shown main window, without MIDI.
struct Window {
    NoPrompts prompts;
    TfmMain form{prompts};

    Window()
    {
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            std::fprintf(stderr, "the window was not exposed\n");
    }
};

// What every slider change costs: the table, the validity and both series
// (the chart repaints later, in the event loop).
void BM_RecomputeCurve(benchmark::State& state)
{
    Window window;
    for (auto _ : state)
        window.form.RecomputeCurve();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_RecomputeCurve);

// The repaint that follows a change of the curve: the whole chart, drawn now.
void BM_ChartRepaint(benchmark::State& state)
{
    Window window;
    for (auto _ : state)
        window.form.Chart1->repaint();
}
BENCHMARK(BM_ChartRepaint);

// The same with played velocities on it: a bar at every input and output,
// their marks on the X axis; with range 1, new counts before every repaint
// (as when notes arrive), else the same bars (as during a drag).
void BM_ChartRepaintWithPlayedVelocities(benchmark::State& state)
{
    Window window;
    TCurveChart::VelocityBars bars;
    for (std::size_t v = 1; v < 128; ++v) {
        bars.In[v] = double((v * 37) % 101) / 100.0;
        bars.Out[v] = double((v * 53) % 101) / 100.0;
    }
    bars.Marks = {20, 41, 64, 90, 112};
    window.form.Chart1->SetVelocityBars(bars);
    const bool newCounts = state.range(0) == 1;
    for (auto _ : state) {
        if (newCounts)
            window.form.Chart1->SetVelocityBars(bars);
        window.form.Chart1->repaint();
    }
}
BENCHMARK(BM_ChartRepaintWithPlayedVelocities)->Arg(0)->Arg(1);

// A calibration's proposal from 100,000 played notes: counting them, then
// the fit of the equalised curve.
void BM_FitPlayedCurve(benchmark::State& state)
{
    std::vector<std::uint8_t> notes(100'000);
    std::uint32_t seed = 12345;
    for (std::uint8_t& v : notes) {
        // Two bells, by the sum of three draws, over 1 to 127.
        int sum = 0;
        for (int k = 0; k < 3; ++k) {
            seed = seed * 1664525u + 1013904223u;
            sum += int(seed >> 24) % 40;
        }
        v = std::uint8_t(std::clamp(sum + ((seed >> 8) & 1 ? 50 : 5), 1, 127));
    }
    for (auto _ : state) {
        VelocityCounts counts{};
        for (std::uint8_t v : notes)
            ++counts[v];
        benchmark::DoNotOptimize(FitPlayedCurve(counts, FitResponse::Neutral));
    }
}
BENCHMARK(BM_FitPlayedCurve)->Unit(benchmark::kMillisecond);

// One mouse movement while point 2 is dragged, and the event-loop pass that
// paints what it changed: both of its sliders, their overlapping neighbours,
// the readout and the chart. What a drag holds the main thread for, 120
// times a second.
void BM_DragMove(benchmark::State& state)
{
    Window window;
    TfmMain& form = window.form;
    const QPointF marker = form.Chart1->ValueToPixel({double(form.tbPtIn[1]->Position()), double(form.tbPtOut[1]->Position())});
    const QPoint start = marker.toPoint();
    QTest::mousePress(form.Chart1, Qt::LeftButton, {}, start);
    QCoreApplication::processEvents();
    int step = 0;
    for (auto _ : state) {
        const QPoint to = start + (++step % 2 ? QPoint(10, -10) : QPoint(0, 0));
        QMouseEvent move(QEvent::MouseMove, to, form.Chart1->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(form.Chart1, &move);
        QCoreApplication::processEvents();
    }
    QTest::mouseRelease(form.Chart1, Qt::LeftButton, {}, start);
}
BENCHMARK(BM_DragMove);

// One pass of the event loop with nothing waiting, as the input handler
// makes before it forwards.
void BM_ProcessEventsIdle(benchmark::State& state)
{
    Window window;
    QCoreApplication::processEvents();
    for (auto _ : state)
        QCoreApplication::processEvents();
}
BENCHMARK(BM_ProcessEventsIdle);

// A new text in the last-mapping label and the event-loop pass that paints it.
void BM_LastMappingLabelRepaint(benchmark::State& state)
{
    Window window;
    int in = 0;
    for (auto _ : state) {
        in = in % 127 + 1;
        window.form.lblMidiLastMsg->setText(QStringLiteral("In = %1 -> Out = %2").arg(in).arg(127 - in));
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_LastMappingLabelRepaint);

// An activity lamp switched on or off (each switch repaints it at once).
void BM_LampSwitch(benchmark::State& state)
{
    Window window;
    bool on = false;
    for (auto _ : state) {
        on = !on;
        window.form.LedMidiIn->SetLedOn(on);
    }
}
BENCHMARK(BM_LampSwitch);

struct Buffer {
    PCircularBuffer buffer = CreateEventBuffer(1024);
    ~Buffer() { FreeEventBuffer(buffer); }
};

// One message through the ring buffer on one thread: push, peek, drop.
void BM_RingBufferPushPeekDrop(benchmark::State& state)
{
    Buffer b;
    TMidiBufferItem in;
    in.data = 0x643C90;
    TMidiBufferItem out;
    for (auto _ : state) {
        PushEvent(b.buffer, in);
        PeekEvent(b.buffer, out);
        DropEvent(b.buffer);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_RingBufferPushPeekDrop);

// The producer's side alone: pushes into a buffer emptied between batches.
void BM_RingBufferPush(benchmark::State& state)
{
    Buffer b;
    TMidiBufferItem in;
    in.data = 0x643C90;
    int queued = 0;
    for (auto _ : state) {
        PushEvent(b.buffer, in);
        if (++queued == 1024) {
            state.PauseTiming();
            while (DropEvent(b.buffer)) {
            }
            queued = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_RingBufferPush);

// The consumer's side of one message on the main thread: peek and drop from
// a buffer refilled between batches.
void BM_RingBufferPeekDrop(benchmark::State& state)
{
    Buffer b;
    TMidiBufferItem in;
    in.data = 0x643C90;
    TMidiBufferItem out;
    int left = 0;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            while (PushEvent(b.buffer, in)) {
            }
            left = 1024;
            state.ResumeTiming();
        }
        PeekEvent(b.buffer, out);
        DropEvent(b.buffer);
        benchmark::DoNotOptimize(out);
        --left;
    }
}
BENCHMARK(BM_RingBufferPeekDrop);

// A port's control record, ring buffer and window, as the input port sets them up.
struct Port {
    int delivered = 0;
    NotificationWindow window{[this](TMessage&) { ++delivered; }};
    Buffer ring;
    PMidiCtlInfo info = AllocCtlInfo();

    Port()
    {
        info->PBuffer = ring.buffer;
        info->hWindow = &window;
        info->FilterAS.store(true, std::memory_order_relaxed);
    }
    ~Port() { FreeCtlInfo(info); }

    void Drain()
    {
        while (DropEvent(ring.buffer)) {
        }
        window.dispatchPending();
    }
};

// One short message in the driver callback: filter, push, post (the wake-up
// system call is made only for the first message while none is pending).
void BM_MidiDriverCallback(benchmark::State& state)
{
    Port port;
    const auto instance = reinterpret_cast<DWORD_PTR>(port.info);
    int queued = 0;
    for (auto _ : state) {
        MidiDriverCallback(1, MIM_DATA, instance, 0x643C90, 0);
        if (++queued == 1024) {
            state.PauseTiming();
            port.Drain();
            queued = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_MidiDriverCallback);

// The same when each message is the first since the window last woke: every
// call then also writes the wake-up.
void BM_MidiDriverCallbackWithWakeUp(benchmark::State& state)
{
    Port port;
    const auto instance = reinterpret_cast<DWORD_PTR>(port.info);
    for (auto _ : state) {
        MidiDriverCallback(1, MIM_DATA, instance, 0x643C90, 0);
        state.PauseTiming();
        port.Drain();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MidiDriverCallbackWithWakeUp);

// Active sensing, dropped at once.
void BM_MidiDriverCallbackFiltered(benchmark::State& state)
{
    Port port;
    const auto instance = reinterpret_cast<DWORD_PTR>(port.info);
    for (auto _ : state)
        MidiDriverCallback(1, MIM_DATA, instance, 0xFE, 0);
}
BENCHMARK(BM_MidiDriverCallbackFiltered);

// One notification posted and delivered on the same thread: the post, the
// wake-up through the event loop and the dispatch to the handler.
void BM_NotificationPostToDeliverySameThread(benchmark::State& state)
{
    int delivered = 0;
    NotificationWindow window([&](TMessage&) { ++delivered; });
    for (auto _ : state) {
        const int before = delivered;
        window.post(MIM_DATA, 0, 0);
        while (delivered == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
BENCHMARK(BM_NotificationPostToDeliverySameThread);

// One notification posted from another thread while the main thread sleeps
// in its event loop: from the post to the handler, wake-up included.
void BM_NotificationPostToDeliveryCrossThread(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    std::binary_semaphore request{0};
    std::atomic<bool> stop{false};
    std::atomic<Clock::rep> postedAt{0};
    QEventLoop loop;
    NotificationWindow window([&](TMessage&) { loop.quit(); });
    std::thread poster([&] {
        for (;;) {
            request.acquire();
            if (stop.load(std::memory_order_acquire))
                return;
            // Gives the main thread time to fall asleep in its event loop.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            postedAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
            window.post(MIM_DATA, 0, 0);
        }
    });
    for (auto _ : state) {
        request.release();
        loop.exec();
        const auto now = Clock::now().time_since_epoch().count();
        const auto elapsed = Clock::duration(now - postedAt.load(std::memory_order_acquire));
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
    stop.store(true, std::memory_order_release);
    request.release();
    poster.join();
}
BENCHMARK(BM_NotificationPostToDeliveryCrossThread)->UseManualTime()->Iterations(20000);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
