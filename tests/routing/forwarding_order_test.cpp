// SPDX-License-Identifier: GPL-3.0-or-later
// A queued message leaves before the events waiting in the event loop run:
// a repaint or another handler queued ahead of it never delays it.
#include "fake_routing_view.h"
#include "platform/midi/midi_services.h"
#include "routing/midi_routing.h"
#include "virtual_midi_backend.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

class ForwardingOrder : public ::testing::Test {
protected:
    void SetUp() override
    {
        backend = std::make_shared<VirtualMidiBackend>();
        SetMidiBackend(backend);
    }

    void TearDown() override
    {
        routing.FreeMidiPorts();
        SetMidiBackend(nullptr);
    }

    // Opens an input and an output.
    void Start()
    {
        VirtualMidiBackend::DeviceSpec keys;
        keys.name = "Keys";
        backend->addInput(keys);
        VirtualMidiBackend::DeviceSpec synth;
        synth.name = "Synth";
        backend->addOutput(synth);
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

TEST_F(ForwardingOrder, AQueuedMessageLeavesBeforeTheEventsWaitingInTheLoopRun)
{
    Start();
    // Queued from inside the handler, so it waits in the loop while the message is handled.
    std::optional<std::size_t> sentWhenTheEventRan;
    view.onInputLamp = [&] {
        QTimer::singleShot(0, [&] { sentWhenTheEventRan = backend->sentMessages(0).size(); });
    };
    backend->injectBytes(0, {0x90, 60, 100});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sentWhenTheEventRan.has_value(); }, 5000));
    EXPECT_EQ(*sentWhenTheEventRan, 1u);
}

TEST_F(ForwardingOrder, AMessageThatCannotBeSentStillLightsTheInputLamp)
{
    // Without a route, the main thread's send meets an output that refuses it.
    Start();
    routing.Thru.Disconnect();
    backend->setShortSendError(0, MIDIERR_NOTREADY);
    backend->injectBytes(0, {0x90, 60, 100});
    backend->waitIdle();
    ASSERT_EQ(routing.MidiIn->MessageCount(), 1);
    EXPECT_THROW(routing.MidiInMidiInput(routing.MidiIn.get()), EMidiOutputError);
    EXPECT_TRUE(view.lamps[TLamp::MidiIn]);
}

} // namespace
