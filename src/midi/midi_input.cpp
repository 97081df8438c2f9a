// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_input.h"

#include "platform/midi/messages/midi_status.h"

#include <algorithm>
#include <cstring>

TMidiInput::TMidiInput()
{
    FNumDevs = midiInGetNumDevs();
    if (FNumDevs > 0)
        SetDeviceID(0);
    FState = misClosed;
}

TMidiInput::~TMidiInput()
{
    DetachWindow();
    if (FMIDIHandle != 0) {
        FState = misClosed;
        try {
            ReleaseStaleDevice();
        } catch (...) {
        }
    }
    if (FMIDIHandle != 0) {
        // The device refused to close, so its callback may still run: leave
        // the control record, the ring buffer, the lent buffers and the window
        // it posts to allocated rather than free them under a live device.
        KeepWindowForLiveDevice();
        for (auto& header : MidiHdrs)
            (void)header.release();
        return;
    }
    FreeCtlInfo(PCtlInfo);
}

std::vector<std::string> TMidiInput::DeviceNames()
{
    return ReadableDeviceNames<MIDIINCAPSW>(&midiInGetNumDevs, &midiInGetDevCapsW);
}

std::uint32_t TMidiInput::DeviceCount()
{
    FNumDevs = midiInGetNumDevs();
    return FNumDevs;
}

void TMidiInput::Check(MMRESULT Result)
{
    FError = static_cast<std::uint16_t>(Result);
    if (Result != MMSYSERR_NOERROR)
        throw EMidiInputError(GetErrorText(FError));
}

std::string TMidiInput::GetErrorText(std::uint16_t Code) const
{
    return PlatformErrorText(Code, &midiInGetErrorTextW);
}

void TMidiInput::SetDeviceID(std::uint32_t Value)
{
    if (FState == misOpen)
        throw EMidiInputError("Change to DeviceID while device was open");
    if (Value >= midiInGetNumDevs() && Value != MIDI_MAPPER && Value != MIDI_GRAPHPORT)
        throw EMidiInputError("Invalid device ID");
    // The capabilities are read before anything changes, so that a device that
    // cannot be read leaves the port on the device it had.
    MIDIINCAPSW caps;
    Check(midiInGetDevCapsW(Value, &caps, sizeof caps));
    FDeviceID = Value;
    FProductName = CapsName(caps);
    FDriverVersion = caps.vDriverVersion;
    FMID = caps.wMid;
    FPID = caps.wPid;
    if (OnDeviceChanged)
        OnDeviceChanged(this);
}

void TMidiInput::SetProductName(const std::string& Value)
{
    if (FState == misOpen)
        throw EMidiInputError("Change to ProductName while device was open");
    const UINT count = midiInGetNumDevs();
    UINT device = 0;
    for (; device < count; ++device) {
        // A device whose capabilities cannot be read is not listed either;
        // skipping it keeps the devices after it selectable by name.
        MIDIINCAPSW caps;
        const MMRESULT result = midiInGetDevCapsW(device, &caps, sizeof caps);
        FError = static_cast<std::uint16_t>(result);
        if (result == MMSYSERR_NOERROR && CapsName(caps) == Value)
            break;
    }
    if (device == count)
        throw EMidiInputError("MIDI Input Device " + Value + " not installed ");
    SetDeviceID(device);
}

void TMidiInput::SetSysexBufferSize(std::uint16_t Value)
{
    if (FState == misOpen)
        throw EMidiInputError("Change to SysexBufferSize while device was open");
    FSysexBufferSize = Value;
}

void TMidiInput::SetSysexBufferCount(std::uint16_t Value)
{
    if (FState == misOpen)
        throw EMidiInputError("Change to SysexBufferCount while device was open");
    FSysexBufferCount = Value;
}

void TMidiInput::SetSysexOnly(bool Value)
{
    FSysexOnly = Value;
    WriteFilter();
}

void TMidiInput::SetFilteredMessages(TMidiMsgFilter Value)
{
    FMsgFilter = Value;
    WriteFilter();
}

void TMidiInput::SetRouteMap(ThruMap* Map)
{
    FRouteMap = Map;
    WriteFilter();
}

void TMidiInput::WriteFilter() noexcept
{
    const bool dropClock = FMsgFilter.contains(msgTimingClock);
    const bool dropSensing = FMsgFilter.contains(msgActiveSensing);
    if (PCtlInfo) {
        PCtlInfo->SysexOnly.store(FSysexOnly, std::memory_order_relaxed);
        PCtlInfo->FilterMTC.store(dropClock, std::memory_order_relaxed);
        PCtlInfo->FilterAS.store(dropSensing, std::memory_order_relaxed);
    }
    if (FRouteMap) {
        FRouteMap->sysexOnly.store(FSysexOnly, std::memory_order_relaxed);
        FRouteMap->dropTimingClock.store(dropClock, std::memory_order_relaxed);
        FRouteMap->dropActiveSensing.store(dropSensing, std::memory_order_relaxed);
    }
}

void TMidiInput::Open()
{
    if (FState == misOpen)
        return;
    // A device kept by a Close that failed is released before a new one is
    // opened over the same control record and ring buffer.
    if (FMIDIHandle != 0)
        ReleaseStaleDevice();
    try {
        if (!PBuffer) {
            if (FCapacity == 0 || FCapacity > MaxEventBufferCapacity)
                throw EMidiInputError("Invalid Capacity " + std::to_string(FCapacity) +
                                      ": the input queue holds 1 to " +
                                      std::to_string(MaxEventBufferCapacity) + " messages");
            PBuffer = CreateEventBuffer(FCapacity);
            if (!PBuffer)
                Check(MMSYSERR_NOMEM);
        }
        if (!PCtlInfo) {
            PCtlInfo = AllocCtlInfo();
            if (!PCtlInfo)
                Check(MMSYSERR_NOMEM);
        }
        PCtlInfo->PBuffer = PBuffer;
        PCtlInfo->hWindow = Handle();
        WriteFilter();
        HMIDIIN handle = 0;
        const MMRESULT opened = midiInOpen(&handle, FDeviceID, MidiDriverCallback,
                                           reinterpret_cast<DWORD_PTR>(PCtlInfo), CALLBACK_FUNCTION);
        if (opened == MMSYSERR_NOERROR)
            FMIDIHandle = handle;
        Check(opened);
        AllocSysexHeaders();
        QueueSysexHeaders();
    } catch (...) {
        CleanFailedOpen();
        throw;
    }
    FState = misOpen;
}

void TMidiInput::AllocSysexHeaders()
{
    if (FSysexBufferCount == 0 || FSysexBufferSize == 0 || FMIDIHandle == 0)
        return;
    MidiHdrs.reserve(FSysexBufferCount);
    for (std::uint16_t i = 0; i < FSysexBufferCount; ++i) {
        try {
            MidiHdrs.push_back(std::make_unique<TMyMidiHdr>(FSysexBufferSize));
        } catch (const EMidiBufferAllocError&) {
            Check(MMSYSERR_NOMEM);
        }
        MIDIHDR* header = MidiHdrs.back()->hdrPointer;
        header->dwUser = reinterpret_cast<DWORD_PTR>(MidiHdrs.back().get());
        Check(midiInPrepareHeader(FMIDIHandle, header, MidiHdrSize));
    }
}

void TMidiInput::QueueSysexHeaders()
{
    for (const auto& header : MidiHdrs)
        Check(midiInAddBuffer(FMIDIHandle, header->hdrPointer, MidiHdrSize));
}

void TMidiInput::FreeSysexHeaders()
{
    // Each buffer leaves the list once released, so a retry after a failure
    // goes on with the ones left.
    while (!MidiHdrs.empty()) {
        Check(midiInUnprepareHeader(FMIDIHandle, MidiHdrs.front()->hdrPointer, MidiHdrSize));
        MidiHdrs.erase(MidiHdrs.begin());
    }
}

void TMidiInput::CleanFailedOpen() noexcept
{
    if (FMIDIHandle != 0) {
        // Takes back the buffers already lent, so that none is freed under the driver.
        midiInReset(FMIDIHandle);
        for (const auto& header : MidiHdrs)
            midiInUnprepareHeader(FMIDIHandle, header->hdrPointer, MidiHdrSize);
        FError = static_cast<std::uint16_t>(midiInClose(FMIDIHandle));
        // A device that will not close keeps everything its callback may
        // touch; the next Open or the destructor releases it.
        if (FError != MMSYSERR_NOERROR)
            return;
        FMIDIHandle = 0;
    }
    MidiHdrs.clear();
    FreeEventBuffer(PBuffer);
    PBuffer = nullptr;
    FreeCtlInfo(PCtlInfo);
    PCtlInfo = nullptr;
}

void TMidiInput::ReleaseDevice()
{
    // The reset hands every lent buffer back before the buffers are released;
    // the ring buffer goes only once the device is closed and no callback can come.
    Check(midiInReset(FMIDIHandle));
    FreeSysexHeaders();
    Check(midiInClose(FMIDIHandle));
    FMIDIHandle = 0;
    FreeEventBuffer(PBuffer);
    PBuffer = nullptr;
}

void TMidiInput::ReleaseStaleDevice()
{
    try {
        ReleaseDevice();
        return;
    } catch (const EMidiInputError&) {
        if (FError != MMSYSERR_INVALHANDLE)
            throw;
    }
    // The platform no longer knows the handle: there is no device left, and no
    // callback can come for it, so what it used may go.
    FMIDIHandle = 0;
    MidiHdrs.clear();
    FreeEventBuffer(PBuffer);
    PBuffer = nullptr;
}

void TMidiInput::Close()
{
    if (FState != misOpen)
        return;
    // Marked first, so that notifications already posted are ignored from now on.
    FState = misClosed;
    ReleaseDevice();
}

void TMidiInput::Start()
{
    if (FState == misOpen)
        Check(midiInStart(FMIDIHandle));
}

void TMidiInput::Stop()
{
    if (FState == misOpen)
        Check(midiInStop(FMIDIHandle));
}

void TMidiInput::OpenAndStart()
{
    Open();
    Start();
}

void TMidiInput::StopAndClose()
{
    Stop();
    Close();
}

void TMidiInput::ChangeDevice(std::uint32_t NewDeviceID, bool OpenAndStartAfterChange)
{
    if (NewDeviceID == FDeviceID)
        return;
    Stop();
    Close();
    SetDeviceID(NewDeviceID);
    if (OpenAndStartAfterChange) {
        Open();
        Start();
    }
}

std::unique_ptr<TMyMidiEvent> TMidiInput::GetMidiEvent()
{
    if (FState != misOpen)
        return nullptr;
    TMidiBufferItem item;
    if (!PeekEvent(PBuffer, item))
        return nullptr;
    auto event = std::make_unique<TMyMidiEvent>();
    event->Time = item.timestamp;
    if (!item.sysex) {
        event->MidiMessage = static_cast<std::uint8_t>(item.data);
        event->Data1 = static_cast<std::uint8_t>(item.data >> 8);
        event->Data2 = static_cast<std::uint8_t>(item.data >> 16);
        event->Thru = thruOutcomeOf(item.data);
    } else {
        MIDIHDR* header = item.sysex;
        const DWORD recorded = std::min(header->dwBytesRecorded, header->dwBufferLength);
        event->MidiMessage = midi::SysexStart;
        event->Thru = thruOutcomeOf(*header);
        event->SysexLength = static_cast<std::uint16_t>(recorded);
        if (recorded > 0) {
            event->Sysex = std::make_unique_for_overwrite<std::uint8_t[]>(recorded);
            std::memcpy(event->Sysex.get(), header->lpData, recorded);
        }
        header->dwBytesRecorded = 0;
        MMRESULT result = midiInPrepareHeader(FMIDIHandle, header, MidiHdrSize);
        if (result == MMSYSERR_NOERROR)
            result = midiInAddBuffer(FMIDIHandle, header, MidiHdrSize);
        // The entry stays queued when the buffer cannot go back to the driver;
        // its bytes stay too, so that a later call still returns the message.
        if (result != MMSYSERR_NOERROR)
            header->dwBytesRecorded = recorded;
        Check(result);
    }
    DropEvent(PBuffer);
    return event;
}

std::uint16_t TMidiInput::MessageCount() const
{
    if (FState != misOpen)
        return 0;
    return PBuffer->EventCount.load(std::memory_order_acquire);
}

void TMidiInput::FlushQueue()
{
    while (MessageCount() > 0 && GetMidiEvent()) {
    }
}

void TMidiInput::MidiInput(TMessage& AMessage)
{
    switch (AMessage.Msg) {
    case WM_QUERYENDSESSION:
        // The port never objects to the session ending.
        AMessage.Result = 1;
        break;
    case NotifyDataQueued:
        if (OnMidiInput && FState == misOpen && MessageCount() > 0)
            OnMidiInput(this);
        break;
    case NotifyOverflow:
        if (OnOverflow && FState == misOpen)
            OnOverflow(this);
        break;
    case NotifyDeviceLost:
        if (OnDeviceLost && FState == misOpen)
            OnDeviceLost(this);
        break;
    default:
        break;
    }
}
