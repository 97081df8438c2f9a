// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/composite_midi_backend.h"

#include <algorithm>

CompositeMidiBackend::CompositeMidiBackend(std::vector<std::shared_ptr<MidiBackend>> parts)
    : parts_(std::move(parts))
{
}

void CompositeMidiBackend::setEvents(MidiBackendEvents* events)
{
    for (const auto& part : parts_)
        part->setEvents(events);
}

bool CompositeMidiBackend::serverAvailable()
{
    return std::any_of(parts_.begin(), parts_.end(), [](const auto& part) { return part->serverAvailable(); });
}

bool CompositeMidiBackend::reportsPortChanges() const
{
    return std::all_of(parts_.begin(), parts_.end(), [](const auto& part) { return part->reportsPortChanges(); });
}

std::vector<CompositeMidiBackend::Entry> CompositeMidiBackend::join(bool inputs)
{
    std::vector<Entry> entries;
    for (const auto& part : parts_) {
        const unsigned count = inputs ? part->inputCount() : part->outputCount();
        for (unsigned device = 0; device < count; ++device)
            entries.push_back({part.get(), device, inputs ? part->inputKind(device) : part->outputKind(device)});
    }
    // Stable: within a kind, the parts and their devices keep their order.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.kind < b.kind; });
    return entries;
}

const CompositeMidiBackend::Entry* CompositeMidiBackend::find(const std::vector<Entry>& entries, unsigned device) const
{
    return device < entries.size() ? &entries[device] : nullptr;
}

unsigned CompositeMidiBackend::inputCount()
{
    inputs_ = join(true);
    inputsListed_ = true;
    return static_cast<unsigned>(inputs_.size());
}

unsigned CompositeMidiBackend::outputCount()
{
    outputs_ = join(false);
    outputsListed_ = true;
    return static_cast<unsigned>(outputs_.size());
}

PortKind CompositeMidiBackend::inputKind(unsigned device)
{
    if (!inputsListed_)
        inputCount();
    const Entry* entry = find(inputs_, device);
    return entry ? entry->kind : PortKind::Program;
}

PortKind CompositeMidiBackend::outputKind(unsigned device)
{
    if (!outputsListed_)
        outputCount();
    const Entry* entry = find(outputs_, device);
    return entry ? entry->kind : PortKind::Program;
}

MMRESULT CompositeMidiBackend::inputCaps(unsigned device, MIDIINCAPSW& caps)
{
    if (device == MIDI_GRAPHPORT) {
        MidiBackend* part = graph();
        return part ? part->inputCaps(device, caps) : MMSYSERR_BADDEVICEID;
    }
    if (!inputsListed_)
        inputCount();
    const Entry* entry = find(inputs_, device);
    return entry ? entry->part->inputCaps(entry->device, caps) : MMSYSERR_BADDEVICEID;
}

MMRESULT CompositeMidiBackend::outputCaps(unsigned device, MIDIOUTCAPSW& caps)
{
    if (device == MIDI_GRAPHPORT) {
        MidiBackend* part = graph();
        return part ? part->outputCaps(device, caps) : MMSYSERR_BADDEVICEID;
    }
    if (!outputsListed_)
        outputCount();
    const Entry* entry = find(outputs_, device);
    return entry ? entry->part->outputCaps(entry->device, caps) : MMSYSERR_BADDEVICEID;
}

MMRESULT CompositeMidiBackend::openInput(unsigned device, MidiInputSink& sink,
                                         std::unique_ptr<MidiInputConnection>& out)
{
    if (!inputsListed_)
        inputCount();
    const Entry* entry = find(inputs_, device);
    return entry ? entry->part->openInput(entry->device, sink, out) : MMSYSERR_BADDEVICEID;
}

MMRESULT CompositeMidiBackend::openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out)
{
    if (!outputsListed_)
        outputCount();
    const Entry* entry = find(outputs_, device);
    return entry ? entry->part->openOutput(entry->device, out) : MMSYSERR_BADDEVICEID;
}

MidiBackend* CompositeMidiBackend::graph()
{
    const auto found = std::find_if(parts_.begin(), parts_.end(), [](const auto& part) { return part->hasGraph(); });
    return found == parts_.end() ? nullptr : found->get();
}

bool CompositeMidiBackend::hasGraph()
{
    return graph() != nullptr;
}

MMRESULT CompositeMidiBackend::openGraphInput(MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out)
{
    MidiBackend* part = graph();
    return part ? part->openGraphInput(sink, out) : MMSYSERR_BADDEVICEID;
}

MMRESULT CompositeMidiBackend::openGraphOutput(std::unique_ptr<MidiOutputConnection>& out)
{
    MidiBackend* part = graph();
    return part ? part->openGraphOutput(out) : MMSYSERR_BADDEVICEID;
}

std::vector<std::string> CompositeMidiBackend::graphConnections(bool input)
{
    MidiBackend* part = graph();
    return part ? part->graphConnections(input) : std::vector<std::string>{};
}

bool CompositeMidiBackend::isGraphDevice(bool input, const std::string& device)
{
    MidiBackend* part = graph();
    return part && part->isGraphDevice(input, device);
}

MMRESULT CompositeMidiBackend::connectGraph(bool input, const std::string& device, bool connect)
{
    MidiBackend* part = graph();
    return part ? part->connectGraph(input, device, connect) : MMSYSERR_NOTSUPPORTED;
}
