// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtual_midi_backend.h"

#include "platform/midi/backends/port_name.h"
#include "platform/midi/messages/midi_message.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

namespace {

struct VirtualInput {
    VirtualMidiBackend::DeviceSpec spec;
    bool removed = false;
    MMRESULT capsError = MMSYSERR_NOERROR;
    MMRESULT openError = MMSYSERR_NOERROR;
    MidiInputSink* sink = nullptr; // set while open; guarded by the delivery lock
    MidiInputConnection* connection = nullptr; // set while open
};

struct VirtualOutput {
    VirtualMidiBackend::DeviceSpec spec;
    bool removed = false;
    bool open = false;
    MMRESULT capsError = MMSYSERR_NOERROR;
    MMRESULT openError = MMSYSERR_NOERROR;
    MMRESULT shortSendError = MMSYSERR_NOERROR;
    MMRESULT longSendError = MMSYSERR_NOERROR;
    bool held = false;
    std::thread::id refusedThread;
    std::vector<std::vector<std::uint8_t>> sent;
    std::vector<std::thread::id> sendThreads;
    MidiOutputConnection* connection = nullptr; // set while open
};

// Declared devices live in vectors that may grow while a connection refers
// to one of them; the vectors reserve room up front so that never moves them.
constexpr std::size_t MaxDevices = 256;

struct Injection {
    unsigned device = 0;
    std::vector<std::uint8_t> bytes;
    std::optional<DWORD> timestampMs;
};

} // namespace

struct VirtualMidiBackend::Impl {
    // Devices, faults and captures.
    mutable std::mutex mutex;
    std::condition_variable released; // a held output let go
    std::vector<VirtualInput> inputs;
    std::vector<VirtualOutput> outputs;
    // The open inputs' sinks. The driver thread holds it while it delivers,
    // so closing an input waits for a delivery in progress. A delivery may
    // send on a thru route, which takes `mutex`: never take this one while
    // holding `mutex`.
    mutable std::mutex deliveryMutex;

    // Injected messages waiting for the driver thread.
    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<Injection> queue;
    std::size_t unfinished = 0; // queued or being delivered
    bool stopping = false;

    MidiBackendEvents* events = nullptr; // main thread

    VirtualInput& input(unsigned device)
    {
        if (device >= inputs.size())
            throw std::out_of_range("no virtual MIDI input " + std::to_string(device));
        return inputs[device];
    }

    VirtualOutput& output(unsigned device)
    {
        if (device >= outputs.size())
            throw std::out_of_range("no virtual MIDI output " + std::to_string(device));
        return outputs[device];
    }

    // Declares a device; the services hear that the ports changed.
    template <class Device>
    unsigned add(std::vector<Device>& devices, const VirtualMidiBackend::DeviceSpec& spec, const char* what)
    {
        unsigned device = 0;
        {
            const std::lock_guard lock(mutex);
            if (devices.size() == MaxDevices)
                throw std::length_error(std::string("too many virtual MIDI ") + what);
            Device added;
            added.spec = spec;
            devices.push_back(std::move(added));
            device = static_cast<unsigned>(devices.size() - 1);
        }
        if (events)
            events->portsChanged();
        return device;
    }

    // Unplugs a device; the services hear of it, an open one lost first.
    // Told without the lock: the services may count the devices at once.
    template <class Device, class ReportLost>
    void remove(Device& device, ReportLost reportLost)
    {
        decltype(device.connection) lost = nullptr;
        {
            const std::lock_guard lock(mutex);
            device.removed = true;
            lost = device.connection;
        }
        if (events && lost)
            reportLost(*lost);
        if (events)
            events->portsChanged();
    }

    // Sets one of a device's faults.
    void setFault(MMRESULT& fault, MMRESULT code)
    {
        const std::lock_guard lock(mutex);
        fault = code;
    }

    // The declared device that the services call number `device`.
    template <class Device>
    static Device* listed(std::vector<Device>& devices, unsigned device)
    {
        for (Device& candidate : devices) {
            if (candidate.removed)
                continue;
            if (device == 0)
                return &candidate;
            --device;
        }
        return nullptr;
    }

    template <class Device>
    static unsigned count(const std::vector<Device>& devices)
    {
        unsigned n = 0;
        for (const Device& device : devices)
            n += device.removed ? 0 : 1;
        return n;
    }

    void inject(Injection injection)
    {
        {
            const std::lock_guard lock(mutex);
            input(injection.device);
        }
        const std::lock_guard lock(queueMutex);
        queue.push_back(std::move(injection));
        ++unfinished;
        queueChanged.notify_all();
    }

    // The driver thread: one message at a time, in injection order.
    void run()
    {
        for (;;) {
            Injection next;
            {
                std::unique_lock lock(queueMutex);
                queueChanged.wait(lock, [this] { return stopping || !queue.empty(); });
                if (stopping)
                    return;
                next = std::move(queue.front());
                queue.pop_front();
            }
            deliver(next);
            const std::lock_guard lock(queueMutex);
            --unfinished;
            queueChanged.notify_all();
        }
    }

    void deliver(const Injection& injection)
    {
        {
            const std::lock_guard lock(mutex);
            if (inputs[injection.device].removed)
                return;
        }
        const std::lock_guard lock(deliveryMutex);
        const VirtualInput& device = inputs[injection.device];
        if (!device.sink)
            return;
        if (injection.timestampMs)
            device.sink->onMessageAt(injection.bytes.data(), injection.bytes.size(), *injection.timestampMs);
        else
            device.sink->onMessage(injection.bytes.data(), injection.bytes.size());
    }

    // The open ports; each keeps Impl alive.
    class InputConnection final : public MidiInputConnection {
    public:
        InputConnection(std::shared_ptr<Impl> impl, VirtualInput& device)
            : impl_(std::move(impl)), device_(device)
        {
        }

        ~InputConnection() override
        {
            {
                const std::lock_guard lock(impl_->mutex);
                device_.connection = nullptr;
            }
            // Taking the lock waits for a delivery in progress; none follows.
            const std::lock_guard lock(impl_->deliveryMutex);
            device_.sink = nullptr;
        }

        MidiBackendIdentity backendIdentity() const noexcept override { return impl_.get(); }

    private:
        std::shared_ptr<Impl> impl_;
        VirtualInput& device_;
    };

    class OutputConnection final : public MidiOutputConnection {
    public:
        OutputConnection(std::shared_ptr<Impl> impl, VirtualOutput& device)
            : impl_(std::move(impl)), device_(device)
        {
        }

        ~OutputConnection() override
        {
            const std::lock_guard lock(impl_->mutex);
            device_.open = false;
            device_.connection = nullptr;
        }

        MMRESULT send(const std::uint8_t* data, std::size_t size, bool isLong) override
        {
            std::unique_lock lock(impl_->mutex);
            const std::thread::id thread = std::this_thread::get_id();
            device_.sendThreads.push_back(thread);
            if (thread == device_.refusedThread)
                return MMSYSERR_ERROR;
            impl_->released.wait(lock, [this] { return !device_.held; });
            if (device_.removed)
                return MMSYSERR_NODRIVER;
            const MMRESULT fault = isLong ? device_.longSendError : device_.shortSendError;
            if (fault != MMSYSERR_NOERROR)
                return fault;
            device_.sent.emplace_back(data, data + size);
            return MMSYSERR_NOERROR;
        }

        MidiBackendIdentity backendIdentity() const noexcept override { return impl_.get(); }

    private:
        std::shared_ptr<Impl> impl_;
        VirtualOutput& device_;
    };
};

VirtualMidiBackend::VirtualMidiBackend() : d(std::make_shared<Impl>())
{
    d->inputs.reserve(MaxDevices);
    d->outputs.reserve(MaxDevices);
    driver_ = std::thread([impl = d] { impl->run(); });
}

VirtualMidiBackend::~VirtualMidiBackend()
{
    {
        const std::lock_guard lock(d->queueMutex);
        d->stopping = true;
        d->queueChanged.notify_all();
    }
    driver_.join();
}

void VirtualMidiBackend::setEvents(MidiBackendEvents* events)
{
    d->events = events;
}

unsigned VirtualMidiBackend::addInput(const DeviceSpec& spec)
{
    return d->add(d->inputs, spec, "inputs");
}

unsigned VirtualMidiBackend::addOutput(const DeviceSpec& spec)
{
    return d->add(d->outputs, spec, "outputs");
}

void VirtualMidiBackend::removeInput(unsigned device)
{
    d->remove(d->input(device), [this](MidiInputConnection& lost) { d->events->inputLost(lost); });
}

void VirtualMidiBackend::removeOutput(unsigned device)
{
    d->remove(d->output(device), [this](MidiOutputConnection& lost) { d->events->outputLost(lost); });
}

void VirtualMidiBackend::setInputCapsError(unsigned device, MMRESULT code)
{
    d->setFault(d->input(device).capsError, code);
}

void VirtualMidiBackend::setOutputCapsError(unsigned device, MMRESULT code)
{
    d->setFault(d->output(device).capsError, code);
}

void VirtualMidiBackend::setInputOpenError(unsigned device, MMRESULT code)
{
    d->setFault(d->input(device).openError, code);
}

void VirtualMidiBackend::setOutputOpenError(unsigned device, MMRESULT code)
{
    d->setFault(d->output(device).openError, code);
}

void VirtualMidiBackend::setShortSendError(unsigned device, MMRESULT code)
{
    d->setFault(d->output(device).shortSendError, code);
}

void VirtualMidiBackend::setLongSendError(unsigned device, MMRESULT code)
{
    d->setFault(d->output(device).longSendError, code);
}

void VirtualMidiBackend::holdSends(unsigned device, bool held)
{
    const std::lock_guard lock(d->mutex);
    d->output(device).held = held;
    d->released.notify_all();
}

void VirtualMidiBackend::refuseSendsFrom(unsigned device, std::thread::id thread)
{
    const std::lock_guard lock(d->mutex);
    d->output(device).refusedThread = thread;
}

void VirtualMidiBackend::injectShort(unsigned device, DWORD packed)
{
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
                                   static_cast<std::uint8_t>(packed >> 16)};
    // As many bytes as the status calls for; three for what is no short message.
    const std::size_t size = shortMessageSize(bytes[0]);
    d->inject(Injection{device, std::vector<std::uint8_t>(bytes, bytes + (size ? size : 3)), std::nullopt});
}

void VirtualMidiBackend::injectShort(unsigned device, DWORD packed, DWORD timestampMs)
{
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
                                   static_cast<std::uint8_t>(packed >> 16)};
    const std::size_t size = shortMessageSize(bytes[0]);
    d->inject(Injection{device, std::vector<std::uint8_t>(bytes, bytes + (size ? size : 3)), timestampMs});
}

void VirtualMidiBackend::injectBytes(unsigned device, std::vector<std::uint8_t> bytes)
{
    d->inject(Injection{device, std::move(bytes), std::nullopt});
}

void VirtualMidiBackend::waitIdle()
{
    std::unique_lock lock(d->queueMutex);
    d->queueChanged.wait(lock, [this] { return d->unfinished == 0; });
}

std::vector<std::uint8_t> VirtualMidiBackend::sentBytes(unsigned device) const
{
    const std::lock_guard lock(d->mutex);
    std::vector<std::uint8_t> bytes;
    for (const auto& message : d->output(device).sent)
        bytes.insert(bytes.end(), message.begin(), message.end());
    return bytes;
}

std::vector<std::vector<std::uint8_t>> VirtualMidiBackend::sentMessages(unsigned device) const
{
    const std::lock_guard lock(d->mutex);
    return d->output(device).sent;
}

std::vector<std::thread::id> VirtualMidiBackend::sendThreads(unsigned device) const
{
    const std::lock_guard lock(d->mutex);
    return d->output(device).sendThreads;
}

void VirtualMidiBackend::clearSent(unsigned device)
{
    const std::lock_guard lock(d->mutex);
    d->output(device).sent.clear();
    d->output(device).sendThreads.clear();
}

bool VirtualMidiBackend::isInputOpen(unsigned device) const
{
    VirtualInput* input = nullptr;
    {
        const std::lock_guard lock(d->mutex);
        input = &d->input(device);
    }
    const std::lock_guard lock(d->deliveryMutex);
    return input->sink != nullptr;
}

bool VirtualMidiBackend::isOutputOpen(unsigned device) const
{
    const std::lock_guard lock(d->mutex);
    return d->output(device).open;
}

PortKind VirtualMidiBackend::inputKind(unsigned device)
{
    const std::lock_guard lock(d->mutex);
    const VirtualInput* input = Impl::listed(d->inputs, device);
    return input ? input->spec.kind : PortKind::Program;
}

PortKind VirtualMidiBackend::outputKind(unsigned device)
{
    const std::lock_guard lock(d->mutex);
    const VirtualOutput* output = Impl::listed(d->outputs, device);
    return output ? output->spec.kind : PortKind::Program;
}

unsigned VirtualMidiBackend::inputCount()
{
    const std::lock_guard lock(d->mutex);
    return Impl::count(d->inputs);
}

unsigned VirtualMidiBackend::outputCount()
{
    const std::lock_guard lock(d->mutex);
    return Impl::count(d->outputs);
}

MMRESULT VirtualMidiBackend::inputCaps(unsigned device, MIDIINCAPSW& caps)
{
    const std::lock_guard lock(d->mutex);
    const VirtualInput* input = Impl::listed(d->inputs, device);
    if (!input)
        return MMSYSERR_BADDEVICEID;
    if (input->capsError != MMSYSERR_NOERROR)
        return input->capsError;
    caps = MIDIINCAPSW{};
    caps.wMid = input->spec.mid;
    caps.wPid = input->spec.pid;
    caps.vDriverVersion = input->spec.driverVersion;
    copyPortName(input->spec.name, caps.szPname);
    caps.dwSupport = input->spec.support;
    return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::outputCaps(unsigned device, MIDIOUTCAPSW& caps)
{
    const std::lock_guard lock(d->mutex);
    const VirtualOutput* output = Impl::listed(d->outputs, device);
    if (!output)
        return MMSYSERR_BADDEVICEID;
    if (output->capsError != MMSYSERR_NOERROR)
        return output->capsError;
    caps = MIDIOUTCAPSW{};
    caps.wMid = output->spec.mid;
    caps.wPid = output->spec.pid;
    caps.vDriverVersion = output->spec.driverVersion;
    copyPortName(output->spec.name, caps.szPname);
    caps.wTechnology = output->spec.technology;
    caps.wVoices = output->spec.voices;
    caps.wNotes = output->spec.notes;
    caps.wChannelMask = output->spec.channelMask;
    caps.dwSupport = output->spec.support;
    return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out)
{
    VirtualInput* input = nullptr;
    {
        const std::lock_guard lock(d->mutex);
        input = Impl::listed(d->inputs, device);
        if (!input)
            return MMSYSERR_BADDEVICEID;
        if (input->openError != MMSYSERR_NOERROR)
            return input->openError;
    }
    const std::lock_guard lock(d->deliveryMutex);
    if (input->sink)
        return MMSYSERR_ALLOCATED;
    input->sink = &sink;
    out = std::make_unique<Impl::InputConnection>(d, *input);
    const std::lock_guard devices(d->mutex);
    input->connection = out.get();
    return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out)
{
    const std::lock_guard lock(d->mutex);
    VirtualOutput* output = Impl::listed(d->outputs, device);
    if (!output)
        return MMSYSERR_BADDEVICEID;
    if (output->openError != MMSYSERR_NOERROR)
        return output->openError;
    if (output->open)
        return MMSYSERR_ALLOCATED;
    output->open = true;
    out = std::make_unique<Impl::OutputConnection>(d, *output);
    output->connection = out.get();
    return MMSYSERR_NOERROR;
}
