// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A MIDI output port: one object stands for one output device. It selects
// the device (by number, name or technology), opens it with the driver
// callback, sends short and system-exclusive messages, and takes back each
// system-exclusive buffer on the main thread once the driver is done with it.
// Everything here runs on the main thread; the driver callback only posts the
// output-done notification to the port's window.

#include "midi/driver_callback.h"
#include "midi/enum_set.h"
#include "midi/gm_instrument.h"
#include "midi/midi_event.h"
#include "midi/midi_hdr.h"
#include "midi/midi_io.h"
#include "platform/exception.h"
#include "platform/midi/midi_services.h"
#include "platform/notification_window.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The error of the output port: a failed platform call or a refused request.
class EMidiOutputError : public Exception {
public:
    using Exception::Exception;
};

// State of the output port.
enum MidiOutputState : std::uint8_t { mosOpen, mosClosed };

// The platform's technology code of an output device, kept as its low byte:
// newer kinds (6 wavetable, 7 software synthesizer) keep their number.
enum OutPortTech : std::uint8_t { opt_None, opt_MidiPort, opt_Synth, opt_SQSynth, opt_FMSynth, opt_Mapper };

// Display name of a technology code ("MIDI Port", ...); codes without a name
// read "Technology <n>".
std::string OutPortTechName(OutPortTech Value);

// Optional features of an output device.
enum TFeature : std::uint8_t { ftCaching, ftStreaming, ftVolume, ftStereoVolume };
using TFeatureSet = TEnumSet<TFeature>;

// The platform's patch or key array for caching, one value per number.
using TKeyPatchArray = std::array<std::uint16_t, 128>;

// The platform's 32-bit volume value: Left in the low 16 bits, and in the
// high 16 bits Right on a device with separate volumes, Left otherwise.
DWORD MidiOutVolumeValue(std::uint16_t Left, std::uint16_t Right, bool Stereo);

class TMidiOutput : public TMidiIO {
public:
    // Counts the devices; selects none until DeviceID, ProductName or Technology is set.
    TMidiOutput();
    // Closes the device and releases everything the port holds, including
    // system-exclusive buffers whose notification has not come yet.
    ~TMidiOutput() override;

    // Number of output devices, counted afresh and kept in NumDevs.
    std::uint32_t DeviceCount() override;
    // The names of the output devices, counted afresh, those whose
    // capabilities cannot be read left out; the port's own device stays as
    // selected, open or not.
    static std::vector<std::string> DeviceNames();

    // Opens the selected device; true on success (also when open already).
    // Never raises: on failure Error holds the reason.
    virtual bool Open();
    // Closes an open device (reset first when FullResetOnClose); true when it
    // was open. Raises, leaving the port open, when the device refuses.
    virtual bool Close();
    // Closes, selects NewDeviceID and reopens when asked, also for the same
    // device; the result is Open's, or false when not reopened.
    virtual bool ChangeDevice(std::uint32_t NewDeviceID, bool OpenAfterChange);
    // Sends the event: a long message when it holds system-exclusive bytes,
    // otherwise a short one. The event stays the caller's.
    virtual void PutMidiEvent(const TMyMidiEvent& theEvent);
    // Sends one short message (as many bytes as the status calls for).
    virtual void PutShort(std::uint8_t MidiMessage, std::uint8_t Data1, std::uint8_t Data2);
    // Sends msgLength bytes as one long message; the bytes are copied before
    // it returns. An empty message is refused.
    virtual void PutLong(const void* TheSysex, std::uint16_t msgLength);
    // Raises what PutShort or PutLong raise when the device refuses a message
    // with Result: for a message that a thru route sent on the port's device.
    void CheckSent(MMRESULT Result, bool Long);

    // Note Off on a channel (only its low four bits count).
    void NoteOff(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Dynamics);
    // Note On on a channel.
    void NoteOn(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Dynamics);
    // Polyphonic key pressure.
    void NoteAftertouch(std::uint8_t Channel, std::uint8_t Note, std::uint8_t NewDynamics);
    // Control change.
    void ControllerChange(std::uint8_t Channel, std::uint8_t NewController, std::uint8_t Value);
    // Channel pressure.
    void ChannelAftertouch(std::uint8_t Channel, std::uint8_t NewDynamics);
    // Program change.
    void ProgramChange(std::uint8_t Channel, std::uint8_t NewProgram);
    // Program change to a General MIDI instrument.
    void ChangeInstrument(std::uint8_t Channel, TGMInstrumentPatch NewInstrument);

    // Caches or uncaches patches of a bank; false when the platform refuses.
    bool CachePatches(std::uint32_t Bank, TKeyPatchArray& PatchArray, std::uint8_t OperationFlag);
    // Caches or uncaches the keys of a drum patch; false when the platform refuses.
    bool CacheDrumPatches(std::uint32_t Patch, TKeyPatchArray& KeyArray, std::uint8_t OperationFlag);

    // Left volume of the selected device (0xFFFF full, 0 silent).
    std::uint16_t GetVolume();
    // Left volume into MonoVolume.
    void GetVolume(std::uint16_t& MonoVolume);
    // Left and right volume; Right equals Left without separate volumes.
    void GetVolume(std::uint16_t& Left, std::uint16_t& Right);
    // Sets both channels to MonoVolume.
    void SetVolume(std::uint16_t MonoVolume);
    // Sets the volume; Right counts only with separate volumes.
    void SetVolume(std::uint16_t Left, std::uint16_t Right);
    // Passes a message to the device's driver and returns its answer as it stands.
    std::uint32_t DriverMidiMessage(std::uint32_t Msg, std::uint32_t dw1, std::uint32_t dw2);

    // The notification window's handler: output buffer done, end of session.
    void MidiOutput(TMessage& AMessage);

    // Product name of the selected device.
    const std::string& ProductName() const { return FProductName; }
    // Selects the first device named Value exactly, the MIDI mapper looked at first.
    void SetProductName(const std::string& Value);
    // The selected device number; MIDI_MAPPER for the mapper.
    std::uint32_t DeviceID() const { return FDeviceID; }
    // Selects device Value (or MIDI_MAPPER, or MIDI_GRAPHPORT: our own port in
    // a graph of ports) and reads its capabilities.
    void SetDeviceID(std::uint32_t Value);
    // Technology code of the selected device.
    OutPortTech Technology() const { return FTechnology; }
    // Selects the first device of that technology, the MIDI mapper looked at first.
    void SetTechnology(OutPortTech Value);
    // Whether Close resets the device first, taking back buffers still with the driver.
    bool FullResetOnClose = false;

    // Handle of the open device; 0 when none.
    HMIDIOUT MIDIHandle() const { return FMIDIHandle; }
    // Manufacturer identifier of the selected device.
    std::uint16_t MID() const { return FMID; }
    // Product identifier of the selected device.
    std::uint16_t PID() const { return FPID; }
    // Driver version of the selected device.
    std::uint32_t DriverVersion() const { return FDriverVersion; }
    // Voices of an internal synthesizer.
    std::uint16_t Voices() const { return FVoices; }
    // Simultaneous notes of an internal synthesizer.
    std::uint16_t Notes() const { return FNotes; }
    // Channels an internal synthesizer answers, bit n for channel n.
    std::uint16_t ChannelMask() const { return FChannelMask; }
    // The platform's optional-feature bits of the selected device.
    std::uint32_t Support() const { return FSupport; }
    // Result of the last platform call the port records.
    std::uint32_t Error() const { return FError; }
    // Number of output devices when last counted.
    std::uint16_t NumDevs() const { return FNumDevs; }
    // Open or closed.
    MidiOutputState State() const { return FState; }
    // Features of the selected device.
    TFeatureSet SupportedFeatures() const;
    // Whether the device caches patches.
    bool SupportsCaching() const { return SupportedFeatures().contains(ftCaching); }
    // Whether the device takes streams.
    bool SupportsStreaming() const { return SupportedFeatures().contains(ftStreaming); }
    // Whether the device has a volume control.
    bool SupportsVolumeControl() const { return SupportedFeatures().contains(ftVolume); }
    // Whether the device has separate left and right volumes.
    bool SupportsStereoVolumeControl() const { return SupportedFeatures().contains(ftStereoVolume); }
    // System-exclusive buffers sent whose output-done notification has not been handled yet.
    std::size_t PendingLongMessages() const { return FLongBuffers.size(); }

    // Raised once for each system-exclusive buffer the driver has finished with.
    TNotifyEvent OnMidiOutput;
private:
    void WindowMessage(TMessage& AMessage) override { MidiOutput(AMessage); }

    enum TErrorContext : std::uint8_t { ecGeneral, ecShortMsg, ecLongMsg, ecPrepHeader };

    void Check(MMRESULT Result, TErrorContext Context);
    std::string GetOutputErrorText(MMRESULT Code, TErrorContext Context) const;
    std::string GetPlatformErrorText(MMRESULT Code) const;
    template <typename Matches>
    std::optional<UINT> FindDevice(Matches matches);

    std::uint32_t FDeviceID = 0;
    HMIDIOUT FMIDIHandle = 0;
    MidiOutputState FState = mosClosed;
    PMidiCtlInfo PCtlInfo = nullptr;
    std::uint32_t FError = 0;
    std::uint16_t FMID = 0;
    std::uint16_t FPID = 0;
    std::uint32_t FDriverVersion = 0;
    std::string FProductName;
    OutPortTech FTechnology = opt_None;
    std::uint16_t FVoices = 0;
    std::uint16_t FNotes = 0;
    std::uint16_t FChannelMask = 0;
    std::uint32_t FSupport = 0;
    std::uint16_t FNumDevs = 0;
    // System-exclusive buffers from PutLong until their notification is handled.
    std::vector<std::unique_ptr<TMyMidiHdr>> FLongBuffers;
};
