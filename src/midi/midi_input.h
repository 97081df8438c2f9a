// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A MIDI input port: one object stands for one input device. It selects the
// device, opens it with the driver callback, lends the driver its
// system-exclusive buffers, and on the main thread turns what the callback
// queued into TMyMidiEvent records. Everything here runs on the main thread;
// the driver callback reaches the port only through the control record, the
// ring buffer and the notifications posted to the port's window.

#include "midi/driver_callback.h"
#include "midi/enum_set.h"
#include "midi/event_buffer.h"
#include "midi/midi_event.h"
#include "midi/midi_hdr.h"
#include "midi/midi_io.h"
#include "platform/exception.h"
#include "platform/midi/messages/thru_map.h"
#include "platform/midi/midi_services.h"
#include "platform/notification_window.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The error of the input port: a failed platform call or a refused setting.
class EMidiInputError : public Exception {
public:
    using Exception::Exception;
};

// State of the input port; misCreating holds while the constructor runs.
enum MidiInputState : std::uint8_t { misOpen, misClosed, misCreating, misDestroying };

// Messages the driver callback may drop: active sensing (0xFE) and the timing
// clock (0xF8). msgMidiTimeCode is the design's name for the timing clock, not
// for MIDI Time Code (0xF1, never dropped); our code says msgTimingClock.
enum TMidiMsg : std::uint8_t { msgActiveSensing, msgMidiTimeCode };
constexpr TMidiMsg msgTimingClock = msgMidiTimeCode;
using TMidiMsgFilter = TEnumSet<TMidiMsg>;

class TMidiInput : public TMidiIO {
public:
    // Counts the devices and selects device 0 when there is one (raises when
    // its capabilities cannot be read).
    TMidiInput();
    // Closes the device and releases everything the port holds.
    ~TMidiInput() override;

    // Number of input devices, counted afresh and kept in NumDevs.
    std::uint32_t DeviceCount() override;
    // The names of the input devices, counted afresh, those whose
    // capabilities cannot be read left out; the port's own device stays as
    // selected, open or not.
    static std::vector<std::string> DeviceNames();

    // Opens the selected device: ring buffer, control record, lent buffers.
    // Does nothing when the port is open already; on failure releases what it
    // got and raises, the port staying closed.
    void Open();
    // Marks the port closed, takes back and releases the lent buffers, closes
    // the device and discards the queue.
    void Close();
    // Starts delivery of input; nothing on a closed port.
    void Start();
    // Stops delivery of input; nothing on a closed port.
    void Stop();
    // Open, then Start.
    void OpenAndStart();
    // Stop, then Close.
    void StopAndClose();
    // Selects another device (nothing when it is the current one), opening
    // and starting it when asked.
    void ChangeDevice(std::uint32_t NewDeviceID, bool OpenAndStartAfterChange);

    // The oldest queued message, handing its system-exclusive buffer back to
    // the driver; null when the port is closed or nothing is queued.
    std::unique_ptr<TMyMidiEvent> GetMidiEvent();
    // Number of queued messages; 0 on a closed port.
    std::uint16_t MessageCount() const;
    // Takes and discards every queued message.
    void FlushQueue();

    // The notification window's handler: queued data, overflow, end of session.
    void MidiInput(TMessage& AMessage);

    // Product name of the selected device.
    const std::string& ProductName() const { return FProductName; }
    // Selects the first device whose name equals Value exactly.
    void SetProductName(const std::string& Value);
    // The selected device number.
    std::uint32_t DeviceID() const { return FDeviceID; }
    // Selects device Value (or MIDI_MAPPER, or MIDI_GRAPHPORT: our own port in
    // a graph of ports) and reads its capabilities.
    void SetDeviceID(std::uint32_t Value);
    // Ring-buffer entries used at the next Open (1 to MaxEventBufferCapacity).
    std::uint16_t Capacity() const { return FCapacity; }
    // Stores the capacity; Open refuses a value out of range.
    void SetCapacity(std::uint16_t Value) { FCapacity = Value; }
    // Result of the last platform call.
    std::uint16_t Error() const { return FError; }
    // Bytes per system-exclusive buffer.
    std::uint16_t SysexBufferSize() const { return FSysexBufferSize; }
    // Sets the bytes per system-exclusive buffer; refused while open.
    void SetSysexBufferSize(std::uint16_t Value);
    // Number of system-exclusive buffers lent to the driver.
    std::uint16_t SysexBufferCount() const { return FSysexBufferCount; }
    // Sets the number of system-exclusive buffers; refused while open.
    void SetSysexBufferCount(std::uint16_t Value);
    // Whether short messages are dropped and only system exclusive is queued.
    bool SysexOnly() const { return FSysexOnly; }
    // Sets SysexOnly, in force for the next message even while open.
    void SetSysexOnly(bool Value);
    // Single-byte messages that are dropped.
    TMidiMsgFilter FilteredMessages() const { return FMsgFilter; }
    // Sets the filter, in force for the next message even while open.
    void SetFilteredMessages(TMidiMsgFilter Value);
    // The map of the thru route this input feeds: the input writes its
    // filter into it now and at every change, so that the route drops what
    // the window drops. The map must outlive every later change of the filter.
    void SetRouteMap(ThruMap* Map);

    // Handle of the open device; 0 when none.
    HMIDIIN MIDIHandle() const { return FMIDIHandle; }
    // Driver version of the selected device.
    std::uint32_t DriverVersion() const { return FDriverVersion; }
    // Manufacturer identifier of the selected device.
    std::uint16_t MID() const { return FMID; }
    // Product identifier of the selected device.
    std::uint16_t PID() const { return FPID; }
    // Number of input devices when last counted.
    std::uint32_t NumDevs() const { return FNumDevs; }
    // Open or closed.
    MidiInputState State() const { return FState; }
    // Raised once per data notification while messages are queued.
    TNotifyEvent OnMidiInput;
    // Raised when a message was lost because the queue was full.
    TNotifyEvent OnOverflow;
private:
    void WindowMessage(TMessage& AMessage) override { MidiInput(AMessage); }
    void Check(MMRESULT Result);
    std::string GetErrorText(std::uint16_t Code) const;
    void AllocSysexHeaders();
    void QueueSysexHeaders();
    void FreeSysexHeaders();
    void ReleaseDevice();
    void ReleaseStaleDevice();
    void CleanFailedOpen() noexcept;
    void WriteFilter() noexcept;

    std::uint32_t FDeviceID = 0;
    HMIDIIN FMIDIHandle = 0;
    MidiInputState FState = misCreating;
    std::uint16_t FError = 0;
    bool FSysexOnly = false;
    TMidiMsgFilter FMsgFilter{msgActiveSensing, msgTimingClock};
    std::uint32_t FDriverVersion = 0;
    std::string FProductName;
    std::uint16_t FMID = 0;
    std::uint16_t FPID = 0;
    std::uint16_t FCapacity = 1024;
    PCircularBuffer PBuffer = nullptr;
    std::uint32_t FNumDevs = 0;
    std::uint16_t FSysexBufferSize = 4096;
    std::uint16_t FSysexBufferCount = 16;
    std::vector<std::unique_ptr<TMyMidiHdr>> MidiHdrs;
    PMidiCtlInfo PCtlInfo = nullptr;
    ThruMap* FRouteMap = nullptr;
};
