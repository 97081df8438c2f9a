// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_input.h"
#include "port_test_support.h"

#include <functional>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class InputPort : public PortTest {
protected:
    // Device 0 "Keys" with known capabilities, device 1 "Pads".
    void addKeysAndPads()
    {
        VirtualMidiBackend::DeviceSpec keys = named("Keys");
        keys.mid = 0x0041;
        keys.pid = 0x0102;
        keys.driverVersion = 0x0305;
        backend->addInput(keys);
        backend->addInput(named("Pads"));
    }

    // Takes every queued event each time the port says messages are waiting.
    void collect(TMidiInput& port)
    {
        port.OnMidiInput = [this, &port](TMidiIO* sender) {
            EXPECT_EQ(sender, &port);
            ++inputCalls;
            while (auto event = port.GetMidiEvent())
                events.push_back(std::move(event));
        };
    }

    static Bytes sysexBytes(const TMyMidiEvent& event)
    {
        return event.Sysex ? Bytes(event.Sysex.get(), event.Sysex.get() + event.SysexLength) : Bytes{};
    }

    std::vector<std::unique_ptr<TMyMidiEvent>> events;
    int inputCalls = 0;
};

} // namespace

TEST_F(InputPort, ConstructionSelectsDeviceZeroWithTheDefaults)
{
    addKeysAndPads();
    TMidiInput port;
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(port.NumDevs(), 2u);
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.ProductName(), "Keys");
    EXPECT_EQ(port.MID(), 0x0041);
    EXPECT_EQ(port.PID(), 0x0102);
    EXPECT_EQ(port.DriverVersion(), 0x0305u);
    EXPECT_EQ(port.Capacity(), 1024);
    EXPECT_EQ(port.SysexBufferSize(), 4096);
    EXPECT_EQ(port.SysexBufferCount(), 16);
    EXPECT_FALSE(port.SysexOnly());
    EXPECT_EQ(port.FilteredMessages(), (TMidiMsgFilter{msgActiveSensing, msgTimingClock}));
    EXPECT_EQ(port.MIDIHandle(), 0);
    EXPECT_EQ(port.Error(), 0);
    EXPECT_NE(port.Handle(), nullptr);
}

TEST_F(InputPort, ConstructionFailsWhenDeviceZeroCannotBeRead)
{
    backend->addInput(named("Keys"));
    backend->setInputCapsError(0, MMSYSERR_NODRIVER);
    EXPECT_TRUE(Raises<EMidiInputError>([] { TMidiInput port; }, PlatformText(MMSYSERR_NODRIVER)));
}

TEST_F(InputPort, WithoutDevicesNothingCanBeSelectedOrOpened)
{
    TMidiInput port;
    EXPECT_EQ(port.NumDevs(), 0u);
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.ProductName(), "");
    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.SetDeviceID(0); }, "Invalid device ID"));
    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.SetProductName("Keys"); }, "MIDI Input Device Keys not installed "));
    EXPECT_THROW(port.Open(), EMidiInputError);
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(blocksHeld(), 0u);
}

TEST_F(InputPort, SelectsByNumber)
{
    addKeysAndPads();
    TMidiInput port;
    int changes = 0;
    port.OnDeviceChanged = [&](TMidiIO*) { ++changes; };

    port.SetDeviceID(1);
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(port.ProductName(), "Pads");
    EXPECT_EQ(changes, 1);

    // Refused numbers leave the port on its device; the mapper number passes the
    // range test and fails at the capability query, as this platform has none.
    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.SetDeviceID(2); }, "Invalid device ID"));
    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.SetDeviceID(MIDI_MAPPER); }, PlatformText(MMSYSERR_BADDEVICEID)));
    EXPECT_EQ(port.Error(), MMSYSERR_BADDEVICEID);
    backend->setInputCapsError(0, MMSYSERR_NODRIVER);
    EXPECT_THROW(port.SetDeviceID(0), EMidiInputError);
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(port.ProductName(), "Pads");
    EXPECT_EQ(changes, 1);
}

TEST_F(InputPort, SelectsByExactNameTheLowestNumber)
{
    backend->addInput(named("Keys"));
    backend->addInput(named("Synth"));
    backend->addInput(named("Synth"));
    TMidiInput port;
    int changes = 0;
    port.OnDeviceChanged = [&](TMidiIO*) { ++changes; };

    port.SetProductName("Synth");
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(changes, 1);

    port.SetDeviceID(0);
    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.SetProductName("synth"); }, "MIDI Input Device synth not installed "));
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.ProductName(), "Keys");

    // An unreadable device is skipped (it is not listed either), so the one after it can be chosen.
    backend->setInputCapsError(1, MMSYSERR_NODRIVER);
    port.SetProductName("Synth");
    EXPECT_EQ(port.DeviceID(), 2u);
    backend->setInputCapsError(2, MMSYSERR_NODRIVER);
    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.SetProductName("Synth"); }, "MIDI Input Device Synth not installed "));
    EXPECT_EQ(port.DeviceID(), 2u);
}

TEST_F(InputPort, DeviceCountCountsAfresh)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    backend->addInput(named("Pads"));
    EXPECT_EQ(port.NumDevs(), 1u);
    EXPECT_EQ(port.DeviceCount(), 2u);
    EXPECT_EQ(port.NumDevs(), 2u);
}

TEST_F(InputPort, SettingsThatNeedAClosedPortAreRefusedWhileOpen)
{
    addKeysAndPads();
    TMidiInput port;
    struct Setting {
        std::function<void()> set;
        std::string text;
    };
    const std::vector<Setting> settings{
        {[&] { port.SetDeviceID(1); }, "Change to DeviceID while device was open"},
        {[&] { port.SetProductName("Pads"); }, "Change to ProductName while device was open"},
        {[&] { port.SetSysexBufferSize(100); }, "Change to SysexBufferSize while device was open"},
        {[&] { port.SetSysexBufferCount(2); }, "Change to SysexBufferCount while device was open"},
    };
    port.Open();
    for (const Setting& setting : settings)
        EXPECT_TRUE(Raises<EMidiInputError>(setting.set, setting.text));
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.ProductName(), "Keys");
    EXPECT_EQ(port.SysexBufferSize(), 4096);
    EXPECT_EQ(port.SysexBufferCount(), 16);

    port.Close();
    for (const Setting& setting : settings)
        EXPECT_NO_THROW(setting.set());
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(port.SysexBufferSize(), 100);
    EXPECT_EQ(port.SysexBufferCount(), 2);
}

TEST_F(InputPort, ClosedPortDoesNothingAndGivesNothing)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    EXPECT_NO_THROW(port.Start());
    EXPECT_NO_THROW(port.Stop());
    EXPECT_NO_THROW(port.Close());
    EXPECT_NO_THROW(port.FlushQueue());
    EXPECT_EQ(port.GetMidiEvent(), nullptr);
    EXPECT_EQ(port.MessageCount(), 0);
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_FALSE(backend->isInputOpen(0));
}

TEST_F(InputPort, ShortMessagesArriveDecodedInOrder)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    collect(port);
    port.OpenAndStart();
    EXPECT_EQ(port.GetMidiEvent(), nullptr); // open, nothing queued

    backend->injectShort(0, 0x643C90, 1000);
    backend->injectShort(0, 0xFA, 1001);
    backend->injectShort(0, 0x05E0, 1002);
    ASSERT_TRUE(handleUntil([&] { return events.size() == 3; }));

    struct Expected {
        std::uint8_t status, data1, data2;
        std::uint32_t time;
    };
    const Expected expected[] = {{0x90, 0x3C, 0x64, 1000}, {0xFA, 0, 0, 1001}, {0xE0, 0x05, 0, 1002}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(events[i]->MidiMessage, expected[i].status) << i;
        EXPECT_EQ(events[i]->Data1, expected[i].data1) << i;
        EXPECT_EQ(events[i]->Data2, expected[i].data2) << i;
        EXPECT_EQ(events[i]->Time, expected[i].time) << i;
        EXPECT_EQ(events[i]->Sysex, nullptr) << i;
        EXPECT_EQ(events[i]->SysexLength, 0) << i;
    }
    EXPECT_EQ(port.MessageCount(), 0);
}

TEST_F(InputPort, SysexArrivesWholeAndItsBuffersGoBackToTheDriver)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    port.SetSysexBufferCount(2);
    port.SetSysexBufferSize(600);
    collect(port);
    port.OpenAndStart();

    // Five messages through two buffers, each taken before the next comes:
    // they can only all arrive if every buffer goes back to the driver.
    for (std::uint8_t n = 0; n < 5; ++n) {
        Bytes message(600, n);
        message.front() = 0xF0;
        message.back() = 0xF7;
        backend->injectBytes(0, message);
        ASSERT_TRUE(handleUntil([&] { return events.size() == n + 1u; })) << "message " << int(n);
        const TMyMidiEvent& event = *events.back();
        EXPECT_EQ(event.MidiMessage, 0xF0);
        EXPECT_EQ(event.Data1, 0);
        EXPECT_EQ(event.Data2, 0);
        EXPECT_EQ(event.SysexLength, 600);
        EXPECT_EQ(sysexBytes(event), message);
    }
    EXPECT_EQ(port.Error(), 0);
}

TEST_F(InputPort, EmptySysexBufferGivesAnEmptyEventAndStillGoesBack)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    port.SetSysexBufferCount(1);
    collect(port);
    port.OpenAndStart();

    // A reset hands the lent buffer back with nothing recorded in it.
    ASSERT_EQ(midiInReset(port.MIDIHandle()), MMSYSERR_NOERROR);
    ASSERT_TRUE(handleUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(events[0]->MidiMessage, 0xF0);
    EXPECT_EQ(events[0]->SysexLength, 0);
    EXPECT_EQ(events[0]->Sysex, nullptr);

    port.Start(); // the reset stopped input
    backend->injectBytes(0, {0xF0, 0x7E, 0xF7});
    ASSERT_TRUE(handleUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(sysexBytes(*events[1]), (Bytes{0xF0, 0x7E, 0xF7}));
}

TEST_F(InputPort, WithoutSysexBuffersNoSysexArrives)
{
    backend->addInput(named("Keys"));
    for (const auto& [count, size] : {std::pair<std::uint16_t, std::uint16_t>{0, 4096}, {16, 0}}) {
        TMidiInput port;
        port.SetSysexBufferCount(count);
        port.SetSysexBufferSize(size);
        events.clear();
        collect(port);
        port.OpenAndStart();
        backend->injectBytes(0, {0xF0, 0x01, 0xF7});
        backend->injectShort(0, 0x643C90); // delivered after the sysex
        ASSERT_TRUE(handleUntil([&] { return !events.empty(); }));
        deliver();
        ASSERT_EQ(events.size(), 1u) << count << " buffers of " << size;
        EXPECT_EQ(events[0]->MidiMessage, 0x90);
    }
}

TEST_F(InputPort, FiltersApplyAtOnceWhileOpen)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    collect(port);
    port.OpenAndStart();

    struct Step {
        TMidiMsgFilter filter;
        bool sysexOnly;
        Bytes expected; // statuses that come through of 0xFE, 0xF8, 0x90, sysex
    };
    const Step steps[] = {
        {{msgActiveSensing, msgTimingClock}, false, {0x90, 0xF0}},
        {{}, false, {0xFE, 0xF8, 0x90, 0xF0}},
        {{msgActiveSensing}, false, {0xF8, 0x90, 0xF0}},
        {{}, true, {0xF0}},
    };
    for (const Step& step : steps) {
        port.SetFilteredMessages(step.filter);
        port.SetSysexOnly(step.sysexOnly);
        events.clear();
        backend->injectShort(0, 0xFE);
        backend->injectShort(0, 0xF8);
        backend->injectShort(0, 0x643C90);
        backend->injectBytes(0, {0xF0, 0x01, 0xF7}); // the last one: waited for
        ASSERT_TRUE(handleUntil([&] { return !events.empty() && events.back()->MidiMessage == 0xF0; }));
        Bytes statuses;
        for (const auto& event : events)
            statuses.push_back(event->MidiMessage);
        EXPECT_EQ(statuses, step.expected) << "filter bits " << int(step.filter.bits()) << " sysex only "
                                           << step.sysexOnly;
    }
}

TEST_F(InputPort, OneInputEventPerNotificationOnlyWhileMessagesWait)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    collect(port);
    port.OpenAndStart();
    for (DWORD n = 0; n < 3; ++n)
        backend->injectShort(0, 0x90 | n << 8);
    backend->waitIdle();
    ASSERT_TRUE(handleUntil([&] { return events.size() == 3; }));
    deliver();
    // The first notification took all three; the two after it found nothing.
    EXPECT_EQ(inputCalls, 1);
}

TEST_F(InputPort, OverflowLosesTheNewestMessageAndReachesOnOverflow)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    port.SetCapacity(2);
    int overflows = 0;
    port.OnOverflow = [&](TMidiIO* sender) {
        EXPECT_EQ(sender, &port);
        ++overflows;
    };
    port.OpenAndStart();
    for (DWORD n = 1; n <= 3; ++n)
        backend->injectShort(0, 0x90 | n << 8);
    ASSERT_TRUE(handleUntil([&] { return overflows == 1; }));
    deliver();
    EXPECT_EQ(overflows, 1);
    ASSERT_EQ(port.MessageCount(), 2);
    EXPECT_EQ(port.GetMidiEvent()->Data1, 1);
    EXPECT_EQ(port.GetMidiEvent()->Data1, 2);
    EXPECT_EQ(port.GetMidiEvent(), nullptr);
}

TEST_F(InputPort, NotificationsAfterCloseAreIgnored)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    collect(port);
    int overflows = 0;
    port.OnOverflow = [&](TMidiIO*) { ++overflows; };
    port.OpenAndStart();
    backend->injectShort(0, 0x643C90);
    backend->waitIdle(); // the data notification is posted, not yet handled
    port.StopAndClose();
    PostMessageW(port.Handle(), WM_USER, 0, 0);
    EXPECT_NO_THROW(QCoreApplication::processEvents());
    EXPECT_EQ(inputCalls, 0);
    EXPECT_EQ(overflows, 0);
}

TEST_F(InputPort, AnswersTheEndOfSessionQuery)
{
    TMidiInput port;
    TMessage query{WM_QUERYENDSESSION, 0, 0, 0};
    port.MidiInput(query);
    EXPECT_EQ(query.Result, 1);
}

TEST_F(InputPort, FlushQueueDiscardsEverythingAndHandsTheBuffersBack)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    port.SetSysexBufferCount(1);
    port.OpenAndStart();
    backend->injectShort(0, 0x643C90);
    backend->injectBytes(0, {0xF0, 0x01, 0xF7});
    backend->waitIdle();
    ASSERT_EQ(port.MessageCount(), 2);
    port.FlushQueue();
    EXPECT_EQ(port.MessageCount(), 0);

    backend->injectBytes(0, {0xF0, 0x02, 0xF7}); // the one buffer is lent again
    backend->waitIdle();
    ASSERT_EQ(port.MessageCount(), 1);
    EXPECT_EQ(sysexBytes(*port.GetMidiEvent()), (Bytes{0xF0, 0x02, 0xF7}));
}

TEST_F(InputPort, ChangeDeviceToTheCurrentOneDoesNothing)
{
    addKeysAndPads();
    TMidiInput port;
    port.ChangeDevice(0, true);
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_FALSE(backend->isInputOpen(0));
}

TEST_F(InputPort, ChangeDeviceClosesSelectsAndReopensWhenAsked)
{
    addKeysAndPads();
    TMidiInput port;
    collect(port);
    port.OpenAndStart();

    port.ChangeDevice(1, false);
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(port.ProductName(), "Pads");
    EXPECT_FALSE(backend->isInputOpen(0));
    EXPECT_FALSE(backend->isInputOpen(1));

    port.ChangeDevice(0, true);
    EXPECT_EQ(port.State(), misOpen);
    EXPECT_TRUE(backend->isInputOpen(0));
    backend->injectShort(0, 0x643C90); // started, too
    ASSERT_TRUE(handleUntil([&] { return events.size() == 1; }));
}

TEST_F(InputPort, OpenRefusesACapacityOutOfRange)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    for (std::uint16_t capacity : {std::uint16_t(0), std::uint16_t(MaxEventBufferCapacity + 1)}) {
        port.SetCapacity(capacity);
        EXPECT_TRUE(Raises<EMidiInputError>([&] { port.Open(); }, "Invalid Capacity " + std::to_string(capacity) +
                                                                      ": the input queue holds 1 to 5461 messages"));
        EXPECT_EQ(port.State(), misClosed);
        EXPECT_FALSE(backend->isInputOpen(0));
        EXPECT_EQ(blocksHeld(), 0u);
    }
    port.SetCapacity(MaxEventBufferCapacity);
    EXPECT_NO_THROW(port.Open());
}

TEST_F(InputPort, FailedOpenReleasesEverythingAndCanBeRetried)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    port.SetSysexBufferCount(4);

    backend->setInputOpenError(0, MMSYSERR_ALLOCATED);
    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.Open(); }, PlatformText(MMSYSERR_ALLOCATED)));
    EXPECT_EQ(port.Error(), MMSYSERR_ALLOCATED); // no close was made
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(port.MIDIHandle(), 0);
    EXPECT_EQ(blocksHeld(), 0u);
    backend->setInputOpenError(0, MMSYSERR_NOERROR);

    // Memory runs out at the third system-exclusive buffer: the two already
    // lent are taken back before the device closes.
    SetSharedBlockAllocationBudget(2 + 1 + 2 * 2 + 1);
    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.Open(); }, PlatformText(MMSYSERR_NOMEM)));
    EXPECT_EQ(port.Error(), MMSYSERR_NOERROR); // the result of the cleaning's close
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(port.MIDIHandle(), 0);
    EXPECT_FALSE(backend->isInputOpen(0));
    EXPECT_EQ(blocksHeld(), 0u);

    SetSharedBlockAllocationBudget(std::nullopt);
    port.OpenAndStart();
    EXPECT_EQ(port.State(), misOpen);
    EXPECT_EQ(blocksHeld(), 2 + 1 + 4 * 2u);
}

TEST_F(InputPort, CloseReleasesTheQueueAndBuffersButKeepsTheControlRecord)
{
    backend->addInput(named("Keys"));
    {
        TMidiInput port;
        port.OpenAndStart();
        backend->injectBytes(0, {0xF0, 0x01, 0xF7});
        backend->waitIdle();
        port.StopAndClose();
        EXPECT_EQ(port.MIDIHandle(), 0);
        EXPECT_FALSE(backend->isInputOpen(0));
        EXPECT_EQ(blocksHeld(), 1u);

        port.OpenAndStart(); // open again on the same control record
        EXPECT_TRUE(backend->isInputOpen(0));
    }
    EXPECT_FALSE(backend->isInputOpen(0));
    EXPECT_EQ(blocksHeld(), 0u);
}

TEST_F(InputPort, DeviceLostBehindThePortsBackIsForgottenAtTheNextOpen)
{
    backend->addInput(named("Keys"));
    TMidiInput port;
    collect(port);
    port.OpenAndStart();
    const HMIDIIN lost = port.MIDIHandle();
    ASSERT_EQ(midiInClose(lost), MMSYSERR_NOERROR);

    EXPECT_TRUE(Raises<EMidiInputError>([&] { port.Close(); }, PlatformText(MMSYSERR_INVALHANDLE)));
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(port.MIDIHandle(), lost);

    port.OpenAndStart();
    EXPECT_NE(port.MIDIHandle(), lost);
    backend->injectShort(0, 0x643C90);
    ASSERT_TRUE(handleUntil([&] { return events.size() == 1; }));
}

TEST_F(InputPort, SysexThatCannotGoBackStaysQueued)
{
    backend->addInput(named("Keys"));
    {
        TMidiInput port;
        port.OpenAndStart();
        backend->injectBytes(0, {0xF0, 0x01, 0xF7});
        backend->waitIdle();
        ASSERT_EQ(midiInClose(port.MIDIHandle()), MMSYSERR_NOERROR);

        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_TRUE(Raises<EMidiInputError>([&] { port.GetMidiEvent(); }, PlatformText(MMSYSERR_INVALHANDLE)));
            EXPECT_EQ(port.Error(), MMSYSERR_INVALHANDLE);
            EXPECT_EQ(port.MessageCount(), 1);
        }
    }
    EXPECT_EQ(blocksHeld(), 0u);
}
