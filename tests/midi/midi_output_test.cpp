// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_output.h"
#include "port_test_support.h"

#include <functional>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;

class OutputPort : public PortTest {
protected:
    // Device 0 "Synth" with known capabilities, device 1 "Port".
    void addSynthAndPort()
    {
        VirtualMidiBackend::DeviceSpec synth = named("Synth");
        synth.mid = 0x0041;
        synth.pid = 0x0102;
        synth.driverVersion = 0x0305;
        synth.technology = MOD_SYNTH;
        synth.voices = 24;
        synth.notes = 32;
        synth.channelMask = 0x00FF;
        synth.support = MIDICAPS_VOLUME | MIDICAPS_CACHE;
        backend->addOutput(synth);
        backend->addOutput(named("Port"));
    }

    // An open port on device 0.
    std::unique_ptr<TMidiOutput> openPort()
    {
        auto port = std::make_unique<TMidiOutput>();
        EXPECT_TRUE(port->Open());
        return port;
    }
};

} // namespace

TEST_F(OutputPort, ConstructionReadsNoCapabilities)
{
    addSynthAndPort();
    backend->setOutputCapsError(0, MMSYSERR_NODRIVER);
    TMidiOutput port;
    EXPECT_EQ(port.State(), mosClosed);
    EXPECT_EQ(port.NumDevs(), 2);
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.ProductName(), "");
    EXPECT_EQ(port.MIDIHandle(), 0);
    EXPECT_FALSE(port.FullResetOnClose);
    EXPECT_NE(port.Handle(), nullptr);
}

TEST_F(OutputPort, SelectsByNumberAndTakesTheCapabilities)
{
    addSynthAndPort();
    TMidiOutput port;
    int changes = 0;
    port.OnDeviceChanged = [&](TMidiIO* sender) {
        EXPECT_EQ(sender, &port);
        ++changes;
    };
    port.SetDeviceID(1);
    port.SetDeviceID(0);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(port.ProductName(), "Synth");
    EXPECT_EQ(port.MID(), 0x0041);
    EXPECT_EQ(port.PID(), 0x0102);
    EXPECT_EQ(port.DriverVersion(), 0x0305u);
    EXPECT_EQ(port.Technology(), opt_Synth);
    EXPECT_EQ(port.Voices(), 24);
    EXPECT_EQ(port.Notes(), 32);
    EXPECT_EQ(port.ChannelMask(), 0x00FF);
    EXPECT_EQ(port.Support(), MIDICAPS_VOLUME | MIDICAPS_CACHE);

    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.SetDeviceID(2); }, "Invalid device ID"));
    // The mapper number passes the range test; this platform has no mapper.
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.SetDeviceID(MIDI_MAPPER); }, PlatformText(MMSYSERR_BADDEVICEID)));
    EXPECT_EQ(port.Error(), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.ProductName(), "Synth");
    EXPECT_EQ(changes, 2);
}

TEST_F(OutputPort, KeepsATechnologyCodeWithoutName)
{
    VirtualMidiBackend::DeviceSpec soft = named("Soft synth");
    soft.technology = MOD_SWSYNTH;
    backend->addOutput(soft);
    TMidiOutput port;
    port.SetDeviceID(0);
    EXPECT_EQ(port.Technology(), 7);
    EXPECT_EQ(OutPortTechName(port.Technology()), "Technology 7");
}

TEST_F(OutputPort, SelectsByExactNameTheLowestNumberAfterTheMapper)
{
    backend->addOutput(named("Port"));
    backend->addOutput(named("Synth"));
    backend->addOutput(named("Synth"));
    TMidiOutput port;
    port.SetProductName("Synth");
    EXPECT_EQ(port.DeviceID(), 1u);

    port.SetDeviceID(0);
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.SetProductName("synth"); }, "MIDI output Device synth not installed"));
    EXPECT_EQ(port.DeviceID(), 0u);

    backend->setOutputCapsError(1, MMSYSERR_NODRIVER); // an unreadable device ends the search
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.SetProductName("Synth"); }, PlatformText(MMSYSERR_NODRIVER)));
    EXPECT_EQ(port.DeviceID(), 0u);
}

TEST_F(OutputPort, WithoutDevicesNoNameIsInstalled)
{
    TMidiOutput port;
    EXPECT_EQ(port.NumDevs(), 0);
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.SetProductName("Synth"); }, "MIDI output Device Synth not installed"));
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.State(), mosClosed);
}

TEST_F(OutputPort, SelectsByTechnology)
{
    addSynthAndPort();
    TMidiOutput port;
    port.SetTechnology(opt_MidiPort);
    EXPECT_EQ(port.DeviceID(), 1u);
    port.SetTechnology(opt_Synth);
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.SetTechnology(opt_FMSynth); },
                                         "MIDI output technology FM Synth not installed"));
    EXPECT_EQ(port.DeviceID(), 0u);
}

TEST_F(OutputPort, SelectionIsRefusedWhileOpen)
{
    addSynthAndPort();
    auto port = openPort();
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port->SetDeviceID(1); }, "Change to DeviceID while device was open"));
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port->SetProductName("Port"); },
                                         "Change to ProductName while device was open"));
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port->SetTechnology(opt_MidiPort); },
                                         "Change to Product Technology while device was open"));
    EXPECT_EQ(port->DeviceID(), 0u);
    ASSERT_TRUE(port->Close());
    EXPECT_NO_THROW(port->SetProductName("Port"));
    EXPECT_EQ(port->DeviceID(), 1u);
}

TEST_F(OutputPort, FailedOpenReturnsFalseAndKeepsNothing)
{
    addSynthAndPort();
    backend->setOutputOpenError(0, MMSYSERR_ALLOCATED);
    TMidiOutput port;
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.State(), mosClosed);
    EXPECT_EQ(port.Error(), MMSYSERR_ALLOCATED);
    EXPECT_EQ(port.MIDIHandle(), 0);
    EXPECT_EQ(blocksHeld(), 0u);

    backend->setOutputOpenError(0, MMSYSERR_NOERROR);
    SetSharedBlockAllocationBudget(0);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.Error(), MMSYSERR_NOMEM);
    SetSharedBlockAllocationBudget(std::nullopt);
    EXPECT_TRUE(port.Open());
    EXPECT_TRUE(backend->isOutputOpen(0));
}

TEST_F(OutputPort, OpenOnAnOpenPortKeepsItsDevice)
{
    addSynthAndPort();
    auto port = openPort();
    const HMIDIOUT handle = port->MIDIHandle();
    EXPECT_TRUE(port->Open());
    EXPECT_EQ(port->MIDIHandle(), handle);
    ASSERT_TRUE(port->Close());
    EXPECT_FALSE(backend->isOutputOpen(0));
}

TEST_F(OutputPort, CloseResetsOnlyWhenAsked)
{
    addSynthAndPort();
    TMidiOutput port;
    EXPECT_FALSE(port.Close()); // closed already: false, nothing called

    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(port.State(), mosClosed);
    EXPECT_EQ(port.MIDIHandle(), 0);
    EXPECT_FALSE(backend->isOutputOpen(0));
    EXPECT_TRUE(backend->sentBytes(0).empty());

    port.FullResetOnClose = true;
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(backend->sentBytes(0).empty()); // the reset's notes off
}

TEST_F(OutputPort, ChangeDeviceGoesThroughEvenForTheSameDevice)
{
    addSynthAndPort();
    auto port = openPort();
    const HMIDIOUT first = port->MIDIHandle();
    EXPECT_TRUE(port->ChangeDevice(0, true));
    EXPECT_EQ(port->State(), mosOpen);
    EXPECT_NE(port->MIDIHandle(), first);

    EXPECT_FALSE(port->ChangeDevice(1, false));
    EXPECT_EQ(port->State(), mosClosed);
    EXPECT_EQ(port->DeviceID(), 1u);
    EXPECT_FALSE(backend->isOutputOpen(0));
}

TEST_F(OutputPort, ClosedPortRefusesToSend)
{
    addSynthAndPort();
    TMidiOutput port;
    const std::uint8_t sysex[] = {0xF0, 0x01, 0xF7};
    TMyMidiEvent shortEvent;
    shortEvent.MidiMessage = 0x90;
    TMyMidiEvent sysexEvent;
    sysexEvent.MidiMessage = 0xF0;
    sysexEvent.SysexLength = 3;
    sysexEvent.Sysex = std::make_unique<std::uint8_t[]>(3);

    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.PutShort(0x90, 0x3C, 0x64); }, "(Short Msg) Device not opened."));
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.PutLong(sysex, 3); }, "(Long Msg) Device not opened."));
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.NoteOn(0, 60, 100); }, "(Short Msg) Device not opened."));
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.PutMidiEvent(shortEvent); }, "MIDI Output device not open"));
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.PutMidiEvent(sysexEvent); }, "MIDI Output device not open"));
}

TEST_F(OutputPort, ShortAndChannelMessagesAreEncoded)
{
    addSynthAndPort();
    auto port = openPort();
    struct Case {
        std::function<void()> send;
        Bytes expected;
    };
    const std::vector<Case> cases{
        {[&] { port->PutShort(0x90, 0x3C, 0x64); }, {0x90, 0x3C, 0x64}},
        {[&] { port->PutShort(0xF8, 0x12, 0x34); }, {0xF8}},
        {[&] { port->NoteOn(17, 60, 100); }, {0x91, 60, 100}},
        {[&] { port->NoteOff(3, 60, 64); }, {0x83, 60, 64}},
        {[&] { port->NoteAftertouch(15, 61, 70); }, {0xAF, 61, 70}},
        {[&] { port->ControllerChange(4, 7, 99); }, {0xB4, 7, 99}},
        {[&] { port->ProgramChange(5, 12); }, {0xC5, 12}},
        {[&] { port->ChangeInstrument(0, gmiGunshot); }, {0xC0, 127}},
        {[&] { port->ChangeInstrument(9, gmiAcousticGrandPiano); }, {0xC9, 0}},
        {[&] { port->ChannelAftertouch(2, 50); }, {0xD2, 50}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        backend->clearSent(0);
        cases[i].send();
        EXPECT_EQ(backend->sentMessages(0), Messages{cases[i].expected}) << "case " << i;
    }
    EXPECT_EQ(port->Error(), 0u);
}

TEST_F(OutputPort, EventsGoOutShortOrLong)
{
    addSynthAndPort();
    auto port = openPort();
    TMyMidiEvent note;
    note.MidiMessage = 0x90;
    note.Data1 = 0x3C;
    note.Data2 = 0x64;
    TMyMidiEvent sysex;
    sysex.MidiMessage = 0xF0;
    sysex.SysexLength = 3;
    sysex.Sysex = std::make_unique<std::uint8_t[]>(3);
    sysex.Sysex[0] = 0xF0;
    sysex.Sysex[1] = 0x7D;
    sysex.Sysex[2] = 0xF7;

    port->PutMidiEvent(note);
    port->PutMidiEvent(sysex);
    EXPECT_EQ(backend->sentMessages(0), (Messages{{0x90, 0x3C, 0x64}, {0xF0, 0x7D, 0xF7}}));
    ASSERT_NE(sysex.Sysex, nullptr); // the event stays the caller's
}

TEST_F(OutputPort, LongMessageIsCopiedAndReleasedWhenTheDriverIsDone)
{
    addSynthAndPort();
    auto port = openPort();
    int done = 0;
    port->OnMidiOutput = [&](TMidiIO* sender) {
        EXPECT_EQ(sender, port.get());
        ++done;
    };
    const std::size_t heldWhenOpen = blocksHeld();

    Bytes caller{0xF0, 0x41, 0x10, 0x42, 0xF7};
    port->PutLong(caller.data(), static_cast<std::uint16_t>(caller.size()));
    const Bytes sent = caller;
    std::fill(caller.begin(), caller.end(), 0);
    caller.clear();
    caller.shrink_to_fit();
    EXPECT_EQ(port->PendingLongMessages(), 1u);

    ASSERT_TRUE(handleUntil([&] { return done == 1; }));
    deliver();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(backend->sentMessages(0), Messages{sent});
    EXPECT_EQ(port->PendingLongMessages(), 0u);
    EXPECT_EQ(blocksHeld(), heldWhenOpen);
}

TEST_F(OutputPort, OnlyItsOwnBuffersAreReleased)
{
    addSynthAndPort();
    auto port = openPort();
    int done = 0;
    port->OnMidiOutput = [&](TMidiIO*) { ++done; };
    MIDIHDR stranger;
    TMessage message{MOM_DONE, 0, reinterpret_cast<std::uintptr_t>(&stranger), 0};
    port->MidiOutput(message);
    EXPECT_EQ(done, 0);

    TMessage query{WM_QUERYENDSESSION, 0, 0, 0};
    port->MidiOutput(query);
    EXPECT_EQ(query.Result, 1);
    TMessage other{WM_USER, 0, 0, 5};
    port->MidiOutput(other);
    EXPECT_EQ(other.Result, 0);
}

TEST_F(OutputPort, RefusedLongMessageIsReleasedAtOnce)
{
    addSynthAndPort();
    auto port = openPort();
    const std::size_t heldWhenOpen = blocksHeld();
    const std::uint8_t sysex[] = {0xF0, 0x01, 0xF7};

    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port->PutLong(sysex, 0); }, "(Long Msg) The message is empty."));

    backend->setLongSendError(0, MIDIERR_NOTREADY);
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port->PutLong(sysex, 3); },
                                         "(Long Msg) The hardware is busy with other data."));
    EXPECT_EQ(port->Error(), MIDIERR_NOTREADY);
    backend->setLongSendError(0, MMSYSERR_NOERROR);

    SetSharedBlockAllocationBudget(1); // a header, but no data block
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port->PutLong(sysex, 3); },
                                         "(Prep Header) The system is unable to allocate or lock memory."));
    EXPECT_EQ(port->Error(), MMSYSERR_NOMEM);
    SetSharedBlockAllocationBudget(std::nullopt);

    EXPECT_EQ(port->PendingLongMessages(), 0u);
    EXPECT_EQ(blocksHeld(), heldWhenOpen);
    EXPECT_TRUE(backend->sentMessages(0).empty());
    EXPECT_TRUE(port->Close()); // nothing left with the driver
}

TEST_F(OutputPort, SendErrorsNameTheirKindOfMessage)
{
    addSynthAndPort();
    auto port = openPort();
    const std::uint8_t sysex[] = {0xF0, 0x01, 0xF7};
    struct Case {
        bool isLong;
        MMRESULT code;
        std::string text;
    };
    const Case cases[] = {
        {false, MMSYSERR_INVALHANDLE, "(Short Msg) The specified device handle is invalid."},
        {false, MIDIERR_NOTREADY, "(Short Msg) The hardware is busy with other data."},
        {false, MIDIERR_BADOPENMODE,
         "(Short Msg) The application sent a message without a status byte to a stream handle."},
        {false, MMSYSERR_INVALPARAM, PlatformText(MMSYSERR_INVALPARAM)},
        {false, 1234, "Specified error number is out of range"},
        {true, MMSYSERR_INVALHANDLE, "(Long Msg) The specified device handle is invalid."},
        {true, MMSYSERR_INVALPARAM, "(Long Msg) The specified pointer or structure is invalid."},
        {true, MIDIERR_UNPREPARED, "(Long Msg) The buffer pointed to by lpMidiOutHdr has not been prepared."},
        {true, MIDIERR_NOTREADY, "(Long Msg) The hardware is busy with other data."},
        {true, MIDIERR_BADOPENMODE, PlatformText(MIDIERR_BADOPENMODE)},
        {true, MMSYSERR_NOMEM, PlatformText(MMSYSERR_NOMEM)},
    };
    for (const Case& c : cases) {
        if (c.isLong)
            backend->setLongSendError(0, c.code);
        else
            backend->setShortSendError(0, c.code);
        EXPECT_TRUE(Raises<EMidiOutputError>(
            [&] {
                if (c.isLong)
                    port->PutLong(sysex, 3);
                else
                    port->PutShort(0x90, 60, 100);
            },
            c.text))
            << (c.isLong ? "long " : "short ") << c.code;
        EXPECT_EQ(port->Error(), c.code);
        backend->setLongSendError(0, MMSYSERR_NOERROR);
        backend->setShortSendError(0, MMSYSERR_NOERROR);
    }
}

TEST_F(OutputPort, FeaturesFollowTheSupportBits)
{
    struct Case {
        DWORD support;
        TFeatureSet features;
    };
    const Case cases[] = {
        {0, {}},
        {MIDICAPS_CACHE, {ftCaching}},
        {MIDICAPS_STREAM, {ftStreaming}},
        {MIDICAPS_VOLUME, {ftVolume}},
        {MIDICAPS_VOLUME | MIDICAPS_LRVOLUME, {ftVolume, ftStereoVolume}},
        {0x000F, {ftCaching, ftStreaming, ftVolume, ftStereoVolume}},
    };
    for (const Case& c : cases) {
        VirtualMidiBackend::DeviceSpec spec = named("Synth");
        spec.support = c.support;
        const unsigned device = backend->addOutput(spec);
        TMidiOutput port;
        port.SetDeviceID(device);
        EXPECT_EQ(port.SupportedFeatures(), c.features) << "support " << c.support;
        EXPECT_EQ(port.SupportsCaching(), c.features.contains(ftCaching));
        EXPECT_EQ(port.SupportsStreaming(), c.features.contains(ftStreaming));
        EXPECT_EQ(port.SupportsVolumeControl(), c.features.contains(ftVolume));
        EXPECT_EQ(port.SupportsStereoVolumeControl(), c.features.contains(ftStereoVolume));
    }
}

TEST(OutputVolume, PacksRightOnlyWithSeparateVolumes)
{
    EXPECT_EQ(MidiOutVolumeValue(0xFFFF, 0, true), 0x0000FFFFu);
    EXPECT_EQ(MidiOutVolumeValue(0xFFFF, 0, false), 0xFFFFFFFFu);
    EXPECT_EQ(MidiOutVolumeValue(0x1234, 0xABCD, true), 0xABCD1234u);
}

TEST_F(OutputPort, VolumeCachingAndDriverMessagesReportThePlatformsAnswer)
{
    addSynthAndPort();
    TMidiOutput port;
    port.SetDeviceID(0);
    TKeyPatchArray patches{};
    EXPECT_FALSE(port.CachePatches(0, patches, 0)); // closed: no handle
    EXPECT_EQ(port.Error(), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(port.DriverMidiMessage(0x800, 1, 2), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(port.Error(), MMSYSERR_INVALHANDLE); // not recorded

    // Volume works on the device number, open or not; this platform has none.
    std::uint16_t left = 0;
    std::uint16_t right = 0;
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.GetVolume(left, right); }, PlatformText(MMSYSERR_NOTSUPPORTED)));
    EXPECT_TRUE(Raises<EMidiOutputError>([&] { port.SetVolume(0xFFFF); }, PlatformText(MMSYSERR_NOTSUPPORTED)));

    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.CacheDrumPatches(0, patches, 0));
    EXPECT_EQ(port.Error(), MMSYSERR_NOTSUPPORTED);
}

TEST_F(OutputPort, DestructionReleasesBuffersWhoseNotificationNeverCame)
{
    addSynthAndPort();
    {
        auto port = openPort();
        const std::uint8_t sysex[] = {0xF0, 0x01, 0xF7};
        port->PutLong(sysex, 3);
        port->PutLong(sysex, 3);
        EXPECT_EQ(port->PendingLongMessages(), 2u);
    }
    QCoreApplication::processEvents(); // the window went with the port
    EXPECT_FALSE(backend->isOutputOpen(0));
    EXPECT_EQ(blocksHeld(), 0u);
}

TEST_F(OutputPort, RefusedCloseLeavesThePortOpenUntilDestroyed)
{
    addSynthAndPort();
    {
        auto port = openPort();
        const HMIDIOUT lost = port->MIDIHandle();
        ASSERT_EQ(midiOutClose(lost), MMSYSERR_NOERROR);
        EXPECT_TRUE(Raises<EMidiOutputError>([&] { port->Close(); }, PlatformText(MMSYSERR_INVALHANDLE)));
        EXPECT_EQ(port->State(), mosOpen);
        EXPECT_EQ(port->MIDIHandle(), lost);
    }
    EXPECT_EQ(blocksHeld(), 0u);
}
