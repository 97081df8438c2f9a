// SPDX-License-Identifier: GPL-3.0-or-later
#include "paced_backend.h"

#include "bench_note.h"

#include "platform/midi/backends/port_name.h"

#include <sys/prctl.h>

#include <array>
#include <chrono>
#include <ctime>
#include <optional>

namespace {

constexpr const char* InputName = "Bench keyboard";
constexpr const char* OutputName = "Bench synth";

std::int64_t SteadyNs() noexcept
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t ThreadCpuNs() noexcept
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// Sleeps until a steady-clock time (CLOCK_MONOTONIC is the steady clock here).
void SleepUntilNs(std::int64_t ns) noexcept
{
    const timespec due{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) != 0) {
    }
}

} // namespace

class PacedBackend::InputConnection final : public MidiInputConnection {
public:
    explicit InputConnection(PacedBackend& backend) : backend_(backend) {}
    ~InputConnection() override
    {
        // Waits for a delivery in progress; none follows.
        const std::lock_guard lock(backend_.sinkMutex_);
        backend_.sink_ = nullptr;
    }

private:
    PacedBackend& backend_;
};

class PacedBackend::OutputConnection final : public MidiOutputConnection {
public:
    explicit OutputConnection(PacedBackend& backend) : backend_(backend) {}
    ~OutputConnection() override { backend_.outputOpen_ = false; }

    MMRESULT send(const std::uint8_t* data, std::size_t size, bool) override
    {
        backend_.Record(data, size);
        return MMSYSERR_NOERROR;
    }

private:
    PacedBackend& backend_;
};

PacedBackend::PacedBackend(std::size_t capacity)
    : capacity_(capacity), deliveredStamps_(capacity), sentStamps_(capacity)
{
    driver_ = std::thread([this] { Drive(); });
}

PacedBackend::~PacedBackend()
{
    {
        const std::lock_guard lock(runMutex_);
        stopping_ = true;
    }
    runChanged_.notify_all();
    driver_.join();
}

void PacedBackend::StartRun(double rate, std::size_t count)
{
    {
        const std::lock_guard lock(runMutex_);
        rate_ = rate;
        count_ = count;
        runPending_ = true;
        delivered_.store(false, std::memory_order_release);
    }
    runChanged_.notify_all();
}

bool PacedBackend::RunDelivered() const
{
    return delivered_.load(std::memory_order_acquire);
}

std::int64_t PacedBackend::DriverCpuNs() const
{
    return driverCpuNs_.load(std::memory_order_acquire);
}

std::vector<PacedBackend::Stamp> PacedBackend::Delivered() const
{
    const std::size_t count = std::min(deliveredCount_.load(std::memory_order_acquire), capacity_);
    return {deliveredStamps_.begin(), deliveredStamps_.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::vector<PacedBackend::Stamp> PacedBackend::Sent() const
{
    const std::size_t count = std::min(sentCount_.load(std::memory_order_acquire), capacity_);
    return {sentStamps_.begin(), sentStamps_.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::size_t PacedBackend::SentCount() const
{
    return sentCount_.load(std::memory_order_relaxed);
}

void PacedBackend::Clear()
{
    deliveredCount_.store(0, std::memory_order_relaxed);
    sentCount_.store(0, std::memory_order_relaxed);
}

void PacedBackend::Record(const std::uint8_t* data, std::size_t size) noexcept
{
    const std::int64_t now = SteadyNs();
    const std::optional<std::uint16_t> id = NoteIdOf(data, size);
    if (!id)
        return;
    const std::size_t index = sentCount_.load(std::memory_order_relaxed);
    if (index < capacity_)
        sentStamps_[index] = Stamp{now, *id};
    sentCount_.store(index + 1, std::memory_order_release);
}

void PacedBackend::Drive()
{
    // A timer slack of 1 ns keeps the schedule within a few microseconds.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
        double rate = 0;
        std::size_t count = 0;
        {
            std::unique_lock lock(runMutex_);
            runChanged_.wait(lock, [this] { return stopping_ || runPending_; });
            if (stopping_)
                return;
            runPending_ = false;
            rate = rate_;
            count = count_;
        }
        const std::int64_t cpu0 = ThreadCpuNs();
        Play(rate, count);
        driverCpuNs_.store(ThreadCpuNs() - cpu0, std::memory_order_release);
        delivered_.store(true, std::memory_order_release);
    }
}

void PacedBackend::Play(double rate, std::size_t count)
{
    const std::int64_t start = SteadyNs();
    const double intervalNs = 1e9 / rate;
    for (std::size_t i = 0; i < count; ++i) {
        const auto due = start + static_cast<std::int64_t>(static_cast<double>(i) * intervalNs);
        if (SteadyNs() < due)
            SleepUntilNs(due);
        const std::array<std::uint8_t, 3> note = NoteFor(i);
        const std::lock_guard lock(sinkMutex_);
        if (!sink_)
            continue;
        const std::int64_t now = SteadyNs();
        sink_->onMessage(note.data(), note.size());
        const std::size_t index = deliveredCount_.load(std::memory_order_relaxed);
        if (index < capacity_)
            deliveredStamps_[index] = Stamp{now, static_cast<std::uint16_t>(i % NoteIdCount)};
        deliveredCount_.store(index + 1, std::memory_order_release);
    }
}

unsigned PacedBackend::inputCount()
{
    return 1;
}

unsigned PacedBackend::outputCount()
{
    return 1;
}

MMRESULT PacedBackend::inputCaps(unsigned device, MIDIINCAPSW& caps)
{
    if (device != 0)
        return MMSYSERR_BADDEVICEID;
    caps = MIDIINCAPSW{};
    copyPortName(InputName, caps.szPname);
    return MMSYSERR_NOERROR;
}

MMRESULT PacedBackend::outputCaps(unsigned device, MIDIOUTCAPSW& caps)
{
    if (device != 0)
        return MMSYSERR_BADDEVICEID;
    caps = MIDIOUTCAPSW{};
    copyPortName(OutputName, caps.szPname);
    caps.wTechnology = MOD_MIDIPORT;
    return MMSYSERR_NOERROR;
}

MMRESULT PacedBackend::openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out)
{
    if (device != 0)
        return MMSYSERR_BADDEVICEID;
    const std::lock_guard lock(sinkMutex_);
    if (sink_)
        return MMSYSERR_ALLOCATED;
    sink_ = &sink;
    out = std::make_unique<InputConnection>(*this);
    return MMSYSERR_NOERROR;
}

MMRESULT PacedBackend::openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out)
{
    if (device != 0)
        return MMSYSERR_BADDEVICEID;
    if (outputOpen_)
        return MMSYSERR_ALLOCATED;
    outputOpen_ = true;
    out = std::make_unique<OutputConnection>(*this);
    return MMSYSERR_NOERROR;
}
