// SPDX-License-Identifier: GPL-3.0-or-later
#include "fake_routing_view.h"
#include "platform/midi/midi_services.h"
#include "routing/midi_routing.h"
#include "virtual_midi_backend.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using Bytes = std::vector<std::uint8_t>;

VirtualMidiBackend::DeviceSpec Named(const std::string& name)
{
    VirtualMidiBackend::DeviceSpec spec;
    spec.name = name;
    return spec;
}

class MidiRoutingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        backend = std::make_shared<VirtualMidiBackend>();
        SetMidiBackend(backend);
        TTransferTable reversed{};
        for (int i = 0; i < 128; ++i)
            reversed[i] = static_cast<std::uint8_t>(127 - i);
        routing.PublishTransferTable(reversed);
    }

    void TearDown() override
    {
        routing.FreeMidiPorts();
        SetMidiBackend(nullptr);
    }

    // The window's start-up: ports, lists, then each side's default choice.
    void StartUp()
    {
        routing.CreateMidiPorts();
        routing.AttachView(&view);
        routing.FillDeviceLists();
        routing.ChooseDevice(TPortSide::Input);
        routing.ChooseDevice(TPortSide::Output);
    }

    std::shared_ptr<VirtualMidiBackend> backend;
    FakeRoutingView view;
    TMidiRouting routing;
};

// Without a route the main thread sends what arrives: a burst it has not
// taken yet waits for it up to 1024 messages; those beyond are lost, counted
// and shown on the error lamp.
TEST_F(MidiRoutingTest, WithoutARouteABurstWaitsForTheMainThreadUpTo1024Messages)
{
    backend->addInput(Named("Keys"));
    backend->addOutput(Named("Synth"));
    StartUp();
    routing.Thru.Disconnect();

    constexpr int Burst = 1100;
    constexpr int Held = 1024;
    std::vector<Bytes> expected;
    for (int i = 0; i < Burst; ++i) {
        const auto key = static_cast<std::uint8_t>(i % 128);
        const auto velocity = static_cast<std::uint8_t>(1 + i % 126);
        backend->injectBytes(0, {0x90, key, velocity});
        if (i < Held)
            expected.push_back({0x90, key, static_cast<std::uint8_t>(127 - velocity)});
    }
    backend->waitIdle();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return routing.MidiIn->MessageCount() == 0 && routing.Traffic().Lost == Burst - Held; }, 5000));
    EXPECT_EQ(backend->sentMessages(0), expected);
    EXPECT_TRUE(view.lamps[TLamp::MidiErr]);
}

// A note still sounding on the output that is left gets no Note Off and no
// reset: the output closes without a word to its device.
TEST_F(MidiRoutingTest, ChoosingAnotherOutputSendsNothingToTheOneLeft)
{
    backend->addInput(Named("Keys"));
    const unsigned synth = backend->addOutput(Named("Synth"));
    const unsigned sampler = backend->addOutput(Named("Sampler"));
    StartUp();
    backend->injectBytes(0, {0x90, 60, 100});
    backend->waitIdle();
    ASSERT_EQ(backend->sentMessages(synth), (std::vector<Bytes>{{0x90, 60, 27}}));

    view.selection[TPortSide::Output] = "Sampler";
    routing.ChooseDevice(TPortSide::Output);
    EXPECT_FALSE(backend->isOutputOpen(synth));
    EXPECT_TRUE(backend->isOutputOpen(sampler));
    EXPECT_EQ(backend->sentMessages(synth), (std::vector<Bytes>{{0x90, 60, 27}}));
}

TEST_F(MidiRoutingTest, AnInputPortThatCannotBeCreatedLeavesTheOutputWorkingAlone)
{
    // The input port reads device 0 when it is created.
    backend->addInput(Named("Broken"));
    backend->setInputCapsError(0, MMSYSERR_ERROR);
    backend->addOutput(Named("Synth"));
    routing.CreateMidiPorts();
    routing.AttachView(&view);
    EXPECT_EQ(routing.MidiIn, nullptr);
    ASSERT_NE(routing.MidiOut, nullptr);

    routing.FillDeviceLists();
    routing.ChooseDevice(TPortSide::Input);
    routing.ChooseDevice(TPortSide::Output);
    EXPECT_TRUE(view.lists[TPortSide::Input].empty());
    EXPECT_FALSE(view.colours[TPortSide::Input].has_value());
    EXPECT_TRUE(view.hints[TPortSide::Input].empty());
    EXPECT_EQ(view.colours[TPortSide::Output], std::optional<bool>(true));
    EXPECT_EQ(view.waitCursorDepth, 0);

    const Bytes note{0x90, 60, 100};
    routing.SendMidiBytes(note.data(), note.size());
    EXPECT_EQ(backend->sentMessages(0), std::vector<Bytes>{note});
}

TEST_F(MidiRoutingTest, WithoutAnOutputPortSendingReportsTheClosedPort)
{
    routing.CreateMidiPorts();
    routing.AttachView(&view);
    routing.MidiOut.reset();
    const Bytes note{0x90, 60, 100};
    try {
        routing.SendMidiBytes(note.data(), note.size());
        FAIL() << "sending without an output port must fail";
    } catch (const EMidiOutputError& e) {
        EXPECT_STREQ(e.what(), "MIDI Output device not open");
    }
    EXPECT_FALSE(view.lamps[TLamp::MidiOut]);
}

TEST_F(MidiRoutingTest, AnUnreadableOutputEndsTheOutputListingWithItsError)
{
    backend->addOutput(Named("Synth"));
    backend->addOutput(Named("Broken"));
    backend->setOutputCapsError(1, MMSYSERR_NODRIVER);
    routing.CreateMidiPorts();
    routing.AttachView(&view);
    EXPECT_THROW(routing.FillDeviceLists(), EMidiOutputError);
    EXPECT_TRUE(view.lists[TPortSide::Output].empty());
    EXPECT_EQ(view.waitCursorDepth, 0);
}

// Two copies of the program that take each other's ports by default make
// an endless loop: a port of another copy is never the default choice, on
// either side, but may still be chosen on purpose (curves in a chain).
TEST_F(MidiRoutingTest, APortOfAnotherCopyIsNeverChosenByDefault)
{
    VirtualMidiBackend::DeviceSpec copyOut = Named("Velomorph-B:out");
    copyOut.kind = PortKind::OtherCopy;
    VirtualMidiBackend::DeviceSpec copyIn = Named("Velomorph-B:in");
    copyIn.kind = PortKind::OtherCopy;
    const unsigned copyInput = backend->addInput(copyOut);
    const unsigned keys = backend->addInput(Named("Keys"));
    const unsigned copyOutput = backend->addOutput(copyIn);
    StartUp();
    EXPECT_EQ(view.SelectedDevice(TPortSide::Input), "Keys");
    EXPECT_TRUE(backend->isInputOpen(keys));
    EXPECT_FALSE(backend->isInputOpen(copyInput));
    // The only output is another copy's: none is chosen, the port stays closed.
    EXPECT_EQ(view.lists[TPortSide::Output], std::vector<std::string>{"Velomorph-B:in"});
    EXPECT_EQ(view.SelectedDevice(TPortSide::Output), "");
    EXPECT_FALSE(backend->isOutputOpen(copyOutput));
    EXPECT_EQ(view.colours[TPortSide::Output], std::optional<bool>(false));

    // Chosen on purpose, it opens.
    view.selection[TPortSide::Output] = "Velomorph-B:in";
    routing.ChooseDevice(TPortSide::Output);
    EXPECT_TRUE(backend->isOutputOpen(copyOutput));
    EXPECT_EQ(view.colours[TPortSide::Output], std::optional<bool>(true));
}

TEST_F(MidiRoutingTest, MessagesAreRemappedThroughThePublishedTable)
{
    backend->addInput(Named("Keys"));
    backend->addOutput(Named("Synth"));
    StartUp();

    backend->injectBytes(0, {0x90, 60, 100});
    backend->injectBytes(0, {0x80, 60, 0});
    backend->waitIdle();
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 60, 27}, {0x80, 60, 127}}));
    // The window shows them once the main thread has taken them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return routing.MidiIn->MessageCount() == 0 && !view.mappings.empty(); }, 5000));
    EXPECT_EQ(view.mappings, (std::vector<std::pair<int, int>>{{100, 27}}));
    EXPECT_TRUE(view.lamps[TLamp::MidiIn]);
    EXPECT_TRUE(view.lamps[TLamp::MidiOut]);
}

TEST_F(MidiRoutingTest, PlayedVelocitiesAreCountedAsTheyArriveAndLeave)
{
    backend->addInput(Named("Keys"));
    backend->addOutput(Named("Synth"));
    StartUp();

    // Note Ons on two channels; a Note On at velocity 0, a Note Off, a
    // controller and key pressure are no played notes. 127 leaves at 1, not 0.
    for (const Bytes& message : std::vector<Bytes>{{0x90, 60, 100}, {0x95, 61, 100}, {0x90, 62, 1}, {0x90, 63, 127},
                                                   {0x90, 60, 0}, {0x80, 60, 100}, {0xB0, 7, 100}, {0xA0, 60, 100}})
        backend->injectBytes(0, message);
    backend->waitIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return routing.MidiIn->MessageCount() == 0 && view.mappings.size() == 7; }, 5000));

    VelocityCounts in{}, out{};
    in[100] = 2;
    in[1] = 1;
    in[127] = 1;
    out[27] = 2;
    out[126] = 1;
    out[1] = 1;
    EXPECT_EQ(routing.PlayedIn(), in);
    EXPECT_EQ(routing.PlayedOut(), out);
    EXPECT_EQ(view.playedShown, 4);

    routing.ResetPlayedVelocities();
    EXPECT_EQ(routing.PlayedIn(), VelocityCounts{});
    EXPECT_EQ(routing.PlayedOut(), VelocityCounts{});
    EXPECT_EQ(view.playedShown, 5);
}

// A clock running, a key held, a sysex sent while the ports open at start-up:
// what reaches the input during its opening wait, before the output is open,
// is lost, counted and shown on the error lamp, never raised. The input's
// opening goes on: its shape turns lime and the output opens after it.
TEST_F(MidiRoutingTest, WhatArrivesBeforeTheOutputIsOpenIsCountedLostAndTheInputShowsOpen)
{
    backend->addInput(Named("Keys"));
    backend->addOutput(Named("Synth"));
    routing.CreateMidiPorts();
    routing.AttachView(&view);
    routing.FillDeviceLists();
    const std::vector<Bytes> arriving{{0xF8}, {0x90, 60, 100}, {0xF0, 0x7D, 0x01, 0xF7}, {0xF8}};
    bool injected = false;
    bool outputWasOpen = true;
    // Runs inside the input's opening wait, which handles events.
    QTimer::singleShot(0, [&] {
        outputWasOpen = backend->isOutputOpen(0);
        for (const Bytes& message : arriving)
            backend->injectBytes(0, message);
        backend->waitIdle();
        injected = true;
    });
    routing.ChooseDevice(TPortSide::Input);
    ASSERT_TRUE(injected);
    ASSERT_FALSE(outputWasOpen);
    EXPECT_EQ(view.colours[TPortSide::Input], std::optional<bool>(true));
    EXPECT_EQ(view.hints[TPortSide::Input], "Port MidiIn ouvert");
    EXPECT_EQ(routing.Traffic().In, arriving.size());
    EXPECT_EQ(routing.Traffic().Lost, arriving.size());
    EXPECT_EQ(routing.Traffic().Out, 0u);
    EXPECT_TRUE(view.lamps[TLamp::MidiErr]);
    EXPECT_TRUE(view.errors.empty());

    // The output opens after it and what comes from then on leaves.
    routing.ChooseDevice(TPortSide::Output);
    EXPECT_EQ(view.colours[TPortSide::Output], std::optional<bool>(true));
    EXPECT_EQ(view.hints[TPortSide::Output], "Port MidiOut ouvert");
    backend->injectBytes(0, {0x90, 60, 100});
    backend->waitIdle();
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 60, 27}}));
    EXPECT_TRUE(view.errors.empty());
}

// While the window is being closed nothing leaves and nothing counts as
// lost, with or without an output.
TEST_F(MidiRoutingTest, WhileClosingWhatArrivesWithoutAnOutputIsHeldNotLost)
{
    backend->addInput(Named("Keys"));
    StartUp();
    routing.SetCloseRequested(true);
    backend->injectBytes(0, {0x90, 60, 100});
    backend->waitIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return routing.Traffic().In == 1; }, 5000));
    EXPECT_EQ(routing.Traffic().Lost, 0u);
    EXPECT_FALSE(view.lamps[TLamp::MidiErr]);
}

// Any other error of a message taken during a port's opening wait ends the
// wait, not the opening: the open port still shows lime and "ouvert".
TEST_F(MidiRoutingTest, AnErrorDuringTheOpeningWaitLeavesTheOpenPortShownOpen)
{
    backend->addInput(Named("Keys"));
    backend->addOutput(Named("Synth"));
    routing.CreateMidiPorts();
    routing.AttachView(&view);
    routing.FillDeviceLists();
    routing.ChooseDevice(TPortSide::Output);
    // The route set as the input opens meets an output that refuses.
    backend->setShortSendError(0, MIDIERR_NOTREADY);
    bool injected = false;
    QTimer::singleShot(0, [&] {
        backend->injectBytes(0, {0x90, 60, 100});
        backend->waitIdle();
        injected = true;
    });
    routing.ChooseDevice(TPortSide::Input);
    ASSERT_TRUE(injected);
    EXPECT_TRUE(backend->isInputOpen(0));
    EXPECT_EQ(view.colours[TPortSide::Input], std::optional<bool>(true));
    EXPECT_EQ(view.hints[TPortSide::Input], "Port MidiIn ouvert");
}

// A route whose send finds the output's device gone: the message is lost,
// counted once and shown on the error lamp, without an error.
TEST_F(MidiRoutingTest, ARoutedMessageThatFindsTheOutputGoneIsCountedLost)
{
    backend->addInput(Named("Keys"));
    backend->addOutput(Named("Synth"));
    StartUp();
    backend->setShortSendError(0, MIDIERR_NODEVICE);
    backend->injectBytes(0, {0x90, 60, 100});
    backend->waitIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return routing.MidiIn->MessageCount() == 0 && view.lamps[TLamp::MidiErr]; }, 5000));
    EXPECT_EQ(routing.Traffic().Lost, 1u);
    EXPECT_EQ(routing.Traffic().Out, 0u);
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(MidiRoutingTest, TheStartUpWaitsAreThoseOfTheSequenceUnlessSetOtherwise)
{
    EXPECT_EQ(routing.Waits.OpenSettleMs, 200u);
    EXPECT_EQ(routing.Waits.TestNoteLengthMs, 300u);

    backend->addOutput(Named("Synth"));
    routing.CreateMidiPorts();
    routing.AttachView(&view);
    routing.Waits.TestNoteLengthMs = 400;
    routing.FillDeviceLists();
    routing.ChooseDevice(TPortSide::Output);
    const auto start = std::chrono::steady_clock::now();
    routing.SendTestNote();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 63, 100}, {0x80, 63, 100}}));
}

} // namespace

namespace {

// Virtual devices whose opening breaks in a way no port error stands for.
class BrokenOpeningBackend final : public VirtualMidiBackend {
public:
    MMRESULT openInput(unsigned, MidiInputSink&, std::unique_ptr<MidiInputConnection>&) override
    {
        throw std::logic_error("broken backend");
    }
};

TEST(PortErrors, OnlyThePortsOwnErrorsAreSwallowed)
{
    auto backend = std::make_shared<BrokenOpeningBackend>();
    SetMidiBackend(backend);
    {
        VirtualMidiBackend::DeviceSpec keys;
        keys.name = "Keys";
        backend->addInput(keys);
        backend->addOutput(keys);
        FakeRoutingView view;
        TMidiRouting routing;
        routing.CreateMidiPorts();
        routing.AttachView(&view);
        routing.FillDeviceLists();
        // A port error (a refused opening) shows on the shape and goes no further...
        backend->setOutputOpenError(0, MMSYSERR_ALLOCATED);
        EXPECT_NO_THROW(routing.ChooseDevice(TPortSide::Output));
        EXPECT_EQ(view.hints[TPortSide::Output], "Port MidiOut fermé");
        // ...anything else reaches the error report.
        EXPECT_THROW(routing.ChooseDevice(TPortSide::Input), std::logic_error);
        routing.FreeMidiPorts();
    }
    SetMidiBackend(nullptr);
}

} // namespace
