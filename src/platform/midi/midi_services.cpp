// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/midi_services.h"

#include "platform/exception.h"
#include "platform/midi/backends/alsa/rtmidi_backend.h"
#include "platform/midi/backends/composite_midi_backend.h"
#include "platform/midi/backends/jack/jack_midi_backend.h"
#include "platform/midi/backends/midi_backend.h"
#include "platform/midi/midi_error_text.h"
#include "platform/midi/midi_header_flags.h"
#include "platform/midi/midi_input_device.h"
#include "platform/midi/midi_output_device.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <map>

namespace {

// The smallest record sizes callers have always passed with these records;
// our records are larger, and the pointer's type fixes what is written.
constexpr UINT MinHeaderSize = 64;
constexpr UINT MinInCapsSize = 76;
constexpr UINT MinOutCapsSize = 84;

constexpr DWORD CallbackTypeMask = 0x70000;

// Handle tables and the backend. Main thread only, like every function here;
// the driver thread reaches an open input only through its MidiInputDevice.
struct Services final : MidiBackendEvents {
    std::shared_ptr<MidiBackend> backend;
    std::map<HMIDIIN, std::unique_ptr<MidiInputDevice>> inputs;
    std::map<HMIDIOUT, std::unique_ptr<MidiOutputDevice>> outputs;
    // Handles count up across both directions and are never reused.
    std::int32_t lastHandle = 0;
    std::function<void()> portsChangedHandler;

    // Devices are closed before the backend that their ports belong to goes;
    // inputs first, as their routes feed the outputs.
    ~Services() override
    {
        inputs.clear();
        outputs.clear();
        if (backend)
            backend->setEvents(nullptr);
    }

    void install(std::shared_ptr<MidiBackend> next)
    {
        if (backend)
            backend->setEvents(nullptr);
        backend = std::move(next);
        if (backend)
            backend->setEvents(this);
    }

    // MidiBackendEvents: the open device learns it through its callback.
    void portsChanged() override
    {
        if (portsChangedHandler)
            portsChangedHandler();
    }
    void inputLost(MidiInputConnection& connection) override
    {
        for (const auto& [handle, device] : inputs) {
            if (device->uses(connection))
                device->notify(MIM_DEVICELOST);
        }
    }
    void outputLost(MidiOutputConnection& connection) override
    {
        for (const auto& [handle, device] : outputs) {
            if (&device->connection() == &connection)
                device->notify(MOM_DEVICELOST);
        }
    }
};

Services& services()
{
    static Services instance;
    return instance;
}

// The real backend: the ALSA sequencer's ports and the JACK server's.
std::shared_ptr<MidiBackend> systemBackend()
{
    return std::make_shared<CompositeMidiBackend>(std::vector<std::shared_ptr<MidiBackend>>{
        std::make_shared<RtMidiBackend>(MidiClientName()), std::make_shared<JackMidiBackend>(MidiClientName())});
}

MidiBackend& backend()
{
    Services& s = services();
    if (!s.backend)
        s.install(systemBackend());
    return *s.backend;
}

MidiInputDevice* findInput(HMIDIIN handle)
{
    auto& inputs = services().inputs;
    const auto it = inputs.find(handle);
    return it == inputs.end() ? nullptr : it->second.get();
}

MidiOutputDevice* findOutput(HMIDIOUT handle)
{
    auto& outputs = services().outputs;
    const auto it = outputs.find(handle);
    return it == outputs.end() ? nullptr : it->second.get();
}

MMRESULT checkOpenFlags(MidiCallbackProc callback, DWORD flags)
{
    if (flags & ~CallbackTypeMask)
        return MMSYSERR_INVALFLAG;
    const DWORD type = flags & CallbackTypeMask;
    if (type != 0 && type != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    if (type == CALLBACK_FUNCTION && !callback)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

MMRESULT nextHandle(std::int32_t& handle)
{
    std::int32_t& last = services().lastHandle;
    if (last == INT32_MAX)
        return MMSYSERR_NOMEM;
    handle = ++last;
    return MMSYSERR_NOERROR;
}

MMRESULT errorText(MMRESULT code, char* text, UINT length)
{
    if (!text || length == 0)
        return MMSYSERR_INVALPARAM;
    const char* known = midiErrorText(code);
    text[0] = '\0';
    if (!known)
        return MMSYSERR_BADERRNUM;
    const std::size_t count = std::min<std::size_t>(std::strlen(known), length - 1);
    std::memcpy(text, known, count);
    text[count] = '\0';
    return MMSYSERR_NOERROR;
}

MMRESULT checkHeader(const MIDIHDR* header, UINT size)
{
    if (!header || size < MinHeaderSize)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

MMRESULT prepareHeader(MIDIHDR* header, UINT size)
{
    if (const MMRESULT check = checkHeader(header, size))
        return check;
    if (!header->lpData || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    // Preparing again is harmless, as long as the buffer is not lent.
    const DWORD flags = loadHeaderFlags(*header);
    if (flags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    storeHeaderFlags(*header, flags | MHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT unprepareHeader(MIDIHDR* header, UINT size)
{
    if (const MMRESULT check = checkHeader(header, size))
        return check;
    const DWORD flags = loadHeaderFlags(*header);
    if (flags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    storeHeaderFlags(*header, flags & ~MHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

void terminateName(char (&name)[MAXPNAMELEN])
{
    name[MAXPNAMELEN - 1] = '\0';
}

// Whether the number names an output device of the current list.
bool isOutputDevice(UINT device)
{
    if (device == MIDI_MAPPER)
        return false;
    MIDIOUTCAPSW caps;
    return backend().outputCaps(device, caps) != MMSYSERR_BADDEVICEID;
}

} // namespace

// Input ---------------------------------------------------------------------

UINT midiInGetNumDevs()
{
    return backend().inputCount();
}

MMRESULT midiInGetDevCapsW(UINT uDeviceID, MIDIINCAPSW* pmic, UINT cbmic)
{
    if (!pmic || cbmic < MinInCapsSize)
        return MMSYSERR_INVALPARAM;
    // There is no MIDI mapper on this platform.
    if (uDeviceID == MIDI_MAPPER)
        return MMSYSERR_BADDEVICEID;
    MIDIINCAPSW caps;
    const MMRESULT result = backend().inputCaps(uDeviceID, caps);
    if (result != MMSYSERR_NOERROR)
        return result;
    terminateName(caps.szPname);
    *pmic = caps;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInGetErrorTextW(MMRESULT mmrError, char* pszText, UINT cchText)
{
    return errorText(mmrError, pszText, cchText);
}

MMRESULT midiInOpen(HMIDIIN* phmi, UINT uDeviceID, MidiCallbackProc dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen)
{
    if (!phmi)
        return MMSYSERR_INVALPARAM;
    *phmi = 0;
    if (const MMRESULT flags = checkOpenFlags(dwCallback, fdwOpen))
        return flags;
    if (uDeviceID == MIDI_MAPPER)
        return MMSYSERR_BADDEVICEID;
    HMIDIIN handle = 0;
    if (const MMRESULT next = nextHandle(handle))
        return next;
    const MidiCallbackProc callback = (fdwOpen & CallbackTypeMask) ? dwCallback : nullptr;
    auto device = std::make_unique<MidiInputDevice>(handle, callback, dwInstance);
    std::unique_ptr<MidiInputConnection> connection;
    const MMRESULT opened = uDeviceID == MIDI_GRAPHPORT ? backend().openGraphInput(*device, connection)
                                                        : backend().openInput(uDeviceID, *device, connection);
    if (opened != MMSYSERR_NOERROR)
        return opened;
    device->attach(std::move(connection));
    MidiInputDevice& added = *services().inputs.emplace(handle, std::move(device)).first->second;
    *phmi = handle;
    added.notify(MIM_OPEN);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN hmi)
{
    MidiInputDevice* device = findInput(hmi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    device->close();
    device->notify(MIM_CLOSE);
    services().inputs.erase(hmi);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInPrepareHeader(HMIDIIN hmi, MIDIHDR* pmh, UINT cbmh)
{
    if (!findInput(hmi))
        return MMSYSERR_INVALHANDLE;
    return prepareHeader(pmh, cbmh);
}

MMRESULT midiInUnprepareHeader(HMIDIIN hmi, MIDIHDR* pmh, UINT cbmh)
{
    if (!findInput(hmi))
        return MMSYSERR_INVALHANDLE;
    return unprepareHeader(pmh, cbmh);
}

MMRESULT midiInAddBuffer(HMIDIIN hmi, MIDIHDR* pmh, UINT cbmh)
{
    MidiInputDevice* device = findInput(hmi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT check = checkHeader(pmh, cbmh))
        return check;
    return device->addBuffer(*pmh);
}

MMRESULT midiInStart(HMIDIIN hmi)
{
    MidiInputDevice* device = findInput(hmi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    device->start();
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStop(HMIDIIN hmi)
{
    MidiInputDevice* device = findInput(hmi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    device->stop();
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN hmi)
{
    MidiInputDevice* device = findInput(hmi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    device->reset();
    return MMSYSERR_NOERROR;
}

// Output --------------------------------------------------------------------

UINT midiOutGetNumDevs()
{
    return backend().outputCount();
}

MMRESULT midiOutGetDevCapsW(UINT uDeviceID, MIDIOUTCAPSW* pmoc, UINT cbmoc)
{
    if (!pmoc || cbmoc < MinOutCapsSize)
        return MMSYSERR_INVALPARAM;
    // There is no MIDI mapper on this platform: a search by name skips it.
    if (uDeviceID == MIDI_MAPPER)
        return MMSYSERR_BADDEVICEID;
    MIDIOUTCAPSW caps;
    const MMRESULT result = backend().outputCaps(uDeviceID, caps);
    if (result != MMSYSERR_NOERROR)
        return result;
    terminateName(caps.szPname);
    *pmoc = caps;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutGetErrorTextW(MMRESULT mmrError, char* pszText, UINT cchText)
{
    return errorText(mmrError, pszText, cchText);
}

MMRESULT midiOutOpen(HMIDIOUT* phmo, UINT uDeviceID, MidiCallbackProc dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen)
{
    if (!phmo)
        return MMSYSERR_INVALPARAM;
    *phmo = 0;
    if (const MMRESULT flags = checkOpenFlags(dwCallback, fdwOpen))
        return flags;
    if (uDeviceID == MIDI_MAPPER)
        return MMSYSERR_BADDEVICEID;
    std::unique_ptr<MidiOutputConnection> connection;
    const MMRESULT opened = uDeviceID == MIDI_GRAPHPORT ? backend().openGraphOutput(connection)
                                                        : backend().openOutput(uDeviceID, connection);
    if (opened != MMSYSERR_NOERROR)
        return opened;
    HMIDIOUT handle = 0;
    if (const MMRESULT next = nextHandle(handle))
        return next;
    const MidiCallbackProc callback = (fdwOpen & CallbackTypeMask) ? dwCallback : nullptr;
    auto device = std::make_unique<MidiOutputDevice>(handle, callback, dwInstance, std::move(connection));
    MidiOutputDevice& added = *services().outputs.emplace(handle, std::move(device)).first->second;
    *phmo = handle;
    added.notify(MOM_OPEN);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT hmo)
{
    MidiOutputDevice* device = findOutput(hmo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    // A route that feeds the device ends first; then nothing but the main
    // thread sends to it, and what waited leaves now.
    for (auto& [handle, input] : services().inputs) {
        if (input->routedOutput() == device)
            input->disconnect();
    }
    device->flush();
    if (device->hasQueuedBuffers())
        return MIDIERR_STILLPLAYING;
    device->notify(MOM_CLOSE);
    services().outputs.erase(hmo);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg)
{
    MidiOutputDevice* device = findOutput(hmo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    return device->sendShort(dwMsg);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh)
{
    if (!findOutput(hmo))
        return MMSYSERR_INVALHANDLE;
    return prepareHeader(pmh, cbmh);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh)
{
    if (!findOutput(hmo))
        return MMSYSERR_INVALHANDLE;
    return unprepareHeader(pmh, cbmh);
}

MMRESULT midiOutLongMsg(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh)
{
    MidiOutputDevice* device = findOutput(hmo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT check = checkHeader(pmh, cbmh))
        return check;
    return device->sendLong(*pmh);
}

MMRESULT midiOutReset(HMIDIOUT hmo)
{
    MidiOutputDevice* device = findOutput(hmo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    return device->reset();
}

MMRESULT midiOutCachePatches(HMIDIOUT hmo, UINT, WORD*, UINT)
{
    return findOutput(hmo) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutCacheDrumPatches(HMIDIOUT hmo, UINT, WORD*, UINT)
{
    return findOutput(hmo) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutGetVolume(UINT uDeviceID, DWORD*)
{
    return isOutputDevice(uDeviceID) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_BADDEVICEID;
}

MMRESULT midiOutSetVolume(UINT uDeviceID, DWORD)
{
    return isOutputDevice(uDeviceID) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_BADDEVICEID;
}

MMRESULT midiOutMessage(UINT uDeviceID, UINT, DWORD_PTR, DWORD_PTR)
{
    return isOutputDevice(uDeviceID) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_BADDEVICEID;
}

// Thru routes ---------------------------------------------------------------

MMRESULT midiConnect(HMIDIIN hmi, HMIDIOUT hmo, const ThruMap* map)
{
    MidiInputDevice* input = findInput(hmi);
    MidiOutputDevice* output = findOutput(hmo);
    if (!input || !output)
        return MMSYSERR_INVALHANDLE;
    if (!map)
        return MMSYSERR_INVALPARAM;
    for (const auto& [handle, other] : services().inputs) {
        if (other->routedOutput() == output)
            return MMSYSERR_ALLOCATED;
    }
    return input->connect(*output, *map);
}

MMRESULT midiDisconnect(HMIDIIN hmi, HMIDIOUT hmo)
{
    MidiInputDevice* input = findInput(hmi);
    MidiOutputDevice* output = findOutput(hmo);
    if (!input || !output)
        return MMSYSERR_INVALHANDLE;
    if (input->routedOutput() != output)
        return MMSYSERR_INVALPARAM;
    input->disconnect();
    output->flush();
    return MMSYSERR_NOERROR;
}

// Backend -------------------------------------------------------------------

void SetMidiBackend(std::shared_ptr<MidiBackend> backend)
{
    Services& s = services();
    if (!s.inputs.empty() || !s.outputs.empty())
        throw Exception("The MIDI backend cannot be replaced while a MIDI device is open");
    s.install(std::move(backend));
}

void SetMidiPortsChangedHandler(std::function<void()> handler)
{
    services().portsChangedHandler = std::move(handler);
}

bool MidiPortChangesReported()
{
    return backend().reportsPortChanges();
}

bool MidiServerAvailable()
{
    return backend().serverAvailable();
}

bool midiInIsOtherCopy(UINT uDeviceID)
{
    return backend().inputKind(uDeviceID) == PortKind::OtherCopy;
}

bool midiOutIsOtherCopy(UINT uDeviceID)
{
    return backend().outputKind(uDeviceID) == PortKind::OtherCopy;
}

MidiBackend& CurrentMidiBackend()
{
    return backend();
}

namespace {

std::string& clientNameSetting()
{
    static std::string name = "Velomorph";
    return name;
}

} // namespace

void SetMidiClientName(std::string name)
{
    clientNameSetting() = std::move(name);
}

const std::string& MidiClientName()
{
    return clientNameSetting();
}

bool MidiGraphAvailable()
{
    return backend().hasGraph();
}

std::vector<std::string> midiGraphConnections(bool input)
{
    return backend().graphConnections(input);
}

bool midiIsGraphDevice(bool input, const std::string& name)
{
    return backend().isGraphDevice(input, name);
}

MMRESULT midiConnectGraph(bool input, const std::string& name, bool connect)
{
    return backend().connectGraph(input, name, connect);
}
