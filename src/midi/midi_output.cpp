// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_output.h"

#include "platform/midi/messages/midi_status.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

std::uint32_t packShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    return std::uint32_t(status) | std::uint32_t(data1) << 8 | std::uint32_t(data2) << 16;
}

std::uint8_t channelStatus(std::uint8_t kind, std::uint8_t channel)
{
    return static_cast<std::uint8_t>(kind | (channel & midi::ChannelMask));
}

} // namespace

std::string OutPortTechName(OutPortTech Value)
{
    switch (Value) {
    case opt_None:
        return "None";
    case opt_MidiPort:
        return "MIDI Port";
    case opt_Synth:
        return "Generic Synth";
    case opt_SQSynth:
        return "Square Wave Synth";
    case opt_FMSynth:
        return "FM Synth";
    case opt_Mapper:
        return "MIDI Mapper";
    }
    return "Technology " + std::to_string(unsigned(Value));
}

DWORD MidiOutVolumeValue(std::uint16_t Left, std::uint16_t Right, bool Stereo)
{
    return DWORD(Left) | DWORD(Stereo ? Right : Left) << 16;
}

TMidiOutput::TMidiOutput()
{
    FNumDevs = static_cast<std::uint16_t>(midiOutGetNumDevs());
}

TMidiOutput::~TMidiOutput()
{
    DetachWindow();
    if (FState == mosOpen) {
        // Takes back the buffers still with the driver before the device is
        // closed, whatever FullResetOnClose says.
        if (!FLongBuffers.empty())
            midiOutReset(FMIDIHandle);
        for (const auto& buffer : FLongBuffers)
            midiOutUnprepareHeader(FMIDIHandle, buffer->hdrPointer, MidiHdrSize);
        try {
            Close();
        } catch (...) {
        }
    }
    if (FState == mosOpen) {
        // A last, plain close; a handle the platform no longer knows is no
        // device either, and nothing can call back for it.
        const MMRESULT closed = midiOutClose(FMIDIHandle);
        if (closed == MMSYSERR_NOERROR || closed == MMSYSERR_INVALHANDLE)
            FState = mosClosed;
    }
    if (FState == mosOpen) {
        // The device refused to close, so its callback may still run: leave
        // the buffers, the control record and the window it posts to
        // allocated rather than free them under a live device.
        KeepWindowForLiveDevice();
        for (auto& buffer : FLongBuffers)
            (void)buffer.release();
        return;
    }
    FLongBuffers.clear();
    FreeCtlInfo(PCtlInfo);
}

std::vector<std::string> TMidiOutput::DeviceNames()
{
    return ReadableDeviceNames<MIDIOUTCAPSW>(&midiOutGetNumDevs, &midiOutGetDevCapsW);
}

std::uint32_t TMidiOutput::DeviceCount()
{
    FNumDevs = static_cast<std::uint16_t>(midiOutGetNumDevs());
    return FNumDevs;
}

std::string TMidiOutput::GetPlatformErrorText(MMRESULT Code) const
{
    return PlatformErrorText(Code, &midiOutGetErrorTextW);
}

std::string TMidiOutput::GetOutputErrorText(MMRESULT Code, TErrorContext Context) const
{
    struct OwnText {
        TErrorContext context;
        MMRESULT code;
        const char* text;
    };
    static constexpr OwnText ownTexts[] = {
        {ecShortMsg, MMSYSERR_INVALHANDLE, "(Short Msg) The specified device handle is invalid."},
        {ecShortMsg, MIDIERR_NOTREADY, "(Short Msg) The hardware is busy with other data."},
        {ecShortMsg, MIDIERR_BADOPENMODE,
         "(Short Msg) The application sent a message without a status byte to a stream handle."},
        {ecLongMsg, MMSYSERR_INVALHANDLE, "(Long Msg) The specified device handle is invalid."},
        {ecLongMsg, MMSYSERR_INVALPARAM, "(Long Msg) The specified pointer or structure is invalid."},
        {ecLongMsg, MIDIERR_UNPREPARED, "(Long Msg) The buffer pointed to by lpMidiOutHdr has not been prepared."},
        {ecLongMsg, MIDIERR_NOTREADY, "(Long Msg) The hardware is busy with other data."},
        {ecPrepHeader, MMSYSERR_INVALHANDLE, "(Prep Header) The specified device handle is invalid."},
        {ecPrepHeader, MMSYSERR_NOMEM, "(Prep Header) The system is unable to allocate or lock memory."},
        {ecPrepHeader, MMSYSERR_INVALPARAM,
         "(Prep Header) The specified address is invalid or the given stream buffer is greater than 64K."},
    };
    for (const OwnText& own : ownTexts)
        if (own.context == Context && own.code == Code)
            return own.text;
    return GetPlatformErrorText(Code);
}

void TMidiOutput::Check(MMRESULT Result, TErrorContext Context)
{
    FError = Result;
    if (Result != MMSYSERR_NOERROR)
        throw EMidiOutputError(GetOutputErrorText(Result, Context));
}

void TMidiOutput::SetDeviceID(std::uint32_t Value)
{
    if (FState == mosOpen)
        throw EMidiOutputError("Change to DeviceID while device was open");
    if (Value >= midiOutGetNumDevs() && Value != MIDI_MAPPER && Value != MIDI_GRAPHPORT)
        throw EMidiOutputError("Invalid device ID");
    // The capabilities are read before anything changes, so that a device that
    // cannot be read leaves the port on the device it had.
    MIDIOUTCAPSW caps;
    Check(midiOutGetDevCapsW(Value, &caps, sizeof caps), ecGeneral);
    FDeviceID = Value;
    FMID = caps.wMid;
    FPID = caps.wPid;
    FProductName = CapsName(caps);
    FDriverVersion = caps.vDriverVersion;
    FTechnology = static_cast<OutPortTech>(caps.wTechnology & 0xFF);
    FVoices = caps.wVoices;
    FNotes = caps.wNotes;
    FChannelMask = caps.wChannelMask;
    FSupport = caps.dwSupport;
    if (OnDeviceChanged)
        OnDeviceChanged(this);
}

// The first device whose capabilities match, the MIDI mapper looked at
// before the numbered devices; none when no device matches.
template <typename Matches>
std::optional<UINT> TMidiOutput::FindDevice(Matches matches)
{
    MIDIOUTCAPSW caps;
    const MMRESULT mapper = midiOutGetDevCapsW(MIDI_MAPPER, &caps, sizeof caps);
    // A platform without a mapper answers that the device does not exist;
    // the search then goes on with the numbered devices.
    if (mapper != MMSYSERR_BADDEVICEID) {
        Check(mapper, ecGeneral);
        if (matches(caps))
            return MIDI_MAPPER;
    }
    const UINT count = midiOutGetNumDevs();
    for (UINT device = 0; device < count; ++device) {
        caps = MIDIOUTCAPSW{};
        Check(midiOutGetDevCapsW(device, &caps, sizeof caps), ecGeneral);
        if (matches(caps))
            return device;
    }
    return std::nullopt;
}

void TMidiOutput::SetProductName(const std::string& Value)
{
    if (FState == mosOpen)
        throw EMidiOutputError("Change to ProductName while device was open");
    const auto device = FindDevice([&](const MIDIOUTCAPSW& caps) { return CapsName(caps) == Value; });
    if (!device)
        throw EMidiOutputError("MIDI output Device " + Value + " not installed");
    SetDeviceID(*device);
}

void TMidiOutput::SetTechnology(OutPortTech Value)
{
    if (FState == mosOpen)
        throw EMidiOutputError("Change to Product Technology while device was open");
    const auto device = FindDevice([&](const MIDIOUTCAPSW& caps) { return (caps.wTechnology & 0xFF) == Value; });
    if (!device)
        throw EMidiOutputError("MIDI output technology " + OutPortTechName(Value) + " not installed");
    SetDeviceID(*device);
}

TFeatureSet TMidiOutput::SupportedFeatures() const
{
    TFeatureSet features;
    if (FSupport & MIDICAPS_CACHE)
        features.include(ftCaching);
    if (FSupport & MIDICAPS_STREAM)
        features.include(ftStreaming);
    if (FSupport & MIDICAPS_VOLUME)
        features.include(ftVolume);
    if (FSupport & MIDICAPS_LRVOLUME)
        features.include(ftStereoVolume);
    return features;
}

bool TMidiOutput::Open()
{
    // Opening again over the current handle would lose that device.
    if (FState == mosOpen)
        return true;
    if (!PCtlInfo) {
        PCtlInfo = AllocCtlInfo();
        if (!PCtlInfo) {
            FError = MMSYSERR_NOMEM;
            return false;
        }
    }
    PCtlInfo->hWindow = Handle();
    HMIDIOUT handle = 0;
    FError = midiOutOpen(&handle, FDeviceID, MidiDriverCallback, reinterpret_cast<DWORD_PTR>(PCtlInfo),
                         CALLBACK_FUNCTION);
    if (FError == MMSYSERR_NOERROR) {
        FMIDIHandle = handle;
        FState = mosOpen;
        return true;
    }
    FreeCtlInfo(PCtlInfo);
    PCtlInfo = nullptr;
    return false;
}

bool TMidiOutput::Close()
{
    bool closed = false;
    if (FState == mosOpen) {
        if (FullResetOnClose)
            Check(midiOutReset(FMIDIHandle), ecGeneral);
        Check(midiOutClose(FMIDIHandle), ecGeneral);
        closed = true;
    }
    FMIDIHandle = 0;
    FState = mosClosed;
    return closed;
}

bool TMidiOutput::ChangeDevice(std::uint32_t NewDeviceID, bool OpenAfterChange)
{
    if (FState != mosClosed)
        Close();
    if (FState == mosClosed) {
        SetDeviceID(NewDeviceID);
        if (OpenAfterChange)
            return Open();
    }
    return false;
}

void TMidiOutput::PutShort(std::uint8_t MidiMessage, std::uint8_t Data1, std::uint8_t Data2)
{
    if (FState != mosOpen)
        throw EMidiOutputError("(Short Msg) Device not opened.");
    Check(midiOutShortMsg(FMIDIHandle, packShort(MidiMessage, Data1, Data2)), ecShortMsg);
}

void TMidiOutput::PutLong(const void* TheSysex, std::uint16_t msgLength)
{
    if (FState != mosOpen)
        throw EMidiOutputError("(Long Msg) Device not opened.");
    if (msgLength == 0)
        throw EMidiOutputError("(Long Msg) The message is empty.");
    std::unique_ptr<TMyMidiHdr> buffer;
    try {
        buffer = std::make_unique<TMyMidiHdr>(msgLength);
    } catch (const EMidiBufferAllocError&) {
        Check(MMSYSERR_NOMEM, ecPrepHeader);
    }
    std::memcpy(buffer->sysexPointer, TheSysex, msgLength);
    MIDIHDR* header = buffer->hdrPointer;
    header->dwUser = reinterpret_cast<DWORD_PTR>(buffer.get());
    // Room is made first, so that once sent the buffer is always on the list.
    FLongBuffers.reserve(FLongBuffers.size() + 1);
    Check(midiOutPrepareHeader(FMIDIHandle, header, MidiHdrSize), ecPrepHeader);
    const MMRESULT sent = midiOutLongMsg(FMIDIHandle, header, MidiHdrSize);
    // No notification will come for a buffer the driver refused: it is
    // unprepared here and released with `buffer`.
    if (sent != MMSYSERR_NOERROR)
        midiOutUnprepareHeader(FMIDIHandle, header, MidiHdrSize);
    Check(sent, ecLongMsg);
    FLongBuffers.push_back(std::move(buffer));
}

void TMidiOutput::CheckSent(MMRESULT Result, bool Long)
{
    Check(Result, Long ? ecLongMsg : ecShortMsg);
}

void TMidiOutput::PutMidiEvent(const TMyMidiEvent& theEvent)
{
    if (FState != mosOpen)
        throw EMidiOutputError("MIDI Output device not open");
    if (!theEvent.Sysex)
        PutShort(theEvent.MidiMessage, theEvent.Data1, theEvent.Data2);
    else
        PutLong(theEvent.Sysex.get(), theEvent.SysexLength);
}

void TMidiOutput::NoteOff(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Dynamics)
{
    PutShort(channelStatus(midi::NoteOff, Channel), Note, Dynamics);
}

void TMidiOutput::NoteOn(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Dynamics)
{
    PutShort(channelStatus(midi::NoteOn, Channel), Note, Dynamics);
}

void TMidiOutput::NoteAftertouch(std::uint8_t Channel, std::uint8_t Note, std::uint8_t NewDynamics)
{
    PutShort(channelStatus(midi::PolyPressure, Channel), Note, NewDynamics);
}

void TMidiOutput::ControllerChange(std::uint8_t Channel, std::uint8_t NewController, std::uint8_t Value)
{
    PutShort(channelStatus(midi::ControlChange, Channel), NewController, Value);
}

void TMidiOutput::ProgramChange(std::uint8_t Channel, std::uint8_t NewProgram)
{
    PutShort(channelStatus(midi::ProgramChange, Channel), NewProgram, 0);
}

void TMidiOutput::ChangeInstrument(std::uint8_t Channel, TGMInstrumentPatch NewInstrument)
{
    ProgramChange(Channel, NewInstrument);
}

void TMidiOutput::ChannelAftertouch(std::uint8_t Channel, std::uint8_t NewDynamics)
{
    PutShort(channelStatus(midi::ChannelPressure, Channel), NewDynamics, 0);
}

bool TMidiOutput::CachePatches(std::uint32_t Bank, TKeyPatchArray& PatchArray, std::uint8_t OperationFlag)
{
    FError = midiOutCachePatches(FMIDIHandle, Bank, PatchArray.data(), OperationFlag);
    return FError == MMSYSERR_NOERROR;
}

bool TMidiOutput::CacheDrumPatches(std::uint32_t Patch, TKeyPatchArray& KeyArray, std::uint8_t OperationFlag)
{
    FError = midiOutCacheDrumPatches(FMIDIHandle, Patch, KeyArray.data(), OperationFlag);
    return FError == MMSYSERR_NOERROR;
}

void TMidiOutput::GetVolume(std::uint16_t& Left, std::uint16_t& Right)
{
    DWORD value = 0;
    Check(midiOutGetVolume(FDeviceID, &value), ecGeneral);
    Left = static_cast<std::uint16_t>(value);
    Right = SupportsStereoVolumeControl() ? static_cast<std::uint16_t>(value >> 16) : Left;
}

void TMidiOutput::GetVolume(std::uint16_t& MonoVolume)
{
    std::uint16_t right = 0;
    GetVolume(MonoVolume, right);
}

std::uint16_t TMidiOutput::GetVolume()
{
    std::uint16_t left = 0;
    GetVolume(left);
    return left;
}

void TMidiOutput::SetVolume(std::uint16_t Left, std::uint16_t Right)
{
    Check(midiOutSetVolume(FDeviceID, MidiOutVolumeValue(Left, Right, SupportsStereoVolumeControl())), ecGeneral);
}

void TMidiOutput::SetVolume(std::uint16_t MonoVolume)
{
    SetVolume(MonoVolume, MonoVolume);
}

std::uint32_t TMidiOutput::DriverMidiMessage(std::uint32_t Msg, std::uint32_t dw1, std::uint32_t dw2)
{
    return midiOutMessage(FDeviceID, Msg, dw1, dw2);
}

void TMidiOutput::MidiOutput(TMessage& AMessage)
{
    switch (AMessage.Msg) {
    case NotifyOutputDone: {
        // Only a buffer of this port is released: the header is looked up
        // among the buffers sent, never followed blindly.
        const auto* header = reinterpret_cast<const MIDIHDR*>(AMessage.LParam);
        const auto found = std::find_if(FLongBuffers.begin(), FLongBuffers.end(),
                                        [header](const auto& buffer) { return buffer->hdrPointer == header; });
        if (found == FLongBuffers.end())
            break;
        midiOutUnprepareHeader(FMIDIHandle, (*found)->hdrPointer, MidiHdrSize);
        FLongBuffers.erase(found);
        if (OnMidiOutput)
            OnMidiOutput(this);
        break;
    }
    case NotifyDeviceLost:
        if (OnDeviceLost && FState == mosOpen)
            OnDeviceLost(this);
        break;
    case WM_QUERYENDSESSION:
        // The port never objects to the session ending.
        AMessage.Result = 1;
        break;
    default:
        AMessage.Result = 0;
        break;
    }
}
