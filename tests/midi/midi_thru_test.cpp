// SPDX-License-Identifier: GPL-3.0-or-later
// The thru route between two ports: connected only while both are open,
// each queued event carries what the route did with it, and the route ends
// before either port closes.
#include "midi/midi_thru.h"
#include "port_test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class MidiThruTest : public PortTest {
protected:
    void SetUp() override
    {
        PortTest::SetUp();
        backend->addInput(named("Keys"));
        backend->addOutput(named("Synth"));
        input = std::make_unique<TMidiInput>();
        output = std::make_unique<TMidiOutput>();
        output->SetDeviceID(0);
    }

    void TearDown() override
    {
        thru.Disconnect();
        input.reset();
        output.reset();
        PortTest::TearDown();
    }

    std::unique_ptr<TMidiInput> input;
    std::unique_ptr<TMidiOutput> output;
    TMidiThru thru;
};

TEST_F(MidiThruTest, ConnectsOnlyTwoOpenPortsAndEachEventCarriesTheRoutesOutcome)
{
    EXPECT_FALSE(thru.Connect(*input, *output));
    input->OpenAndStart();
    EXPECT_FALSE(thru.Connect(*input, *output));
    ASSERT_TRUE(output->Open());
    ASSERT_TRUE(thru.Connect(*input, *output));
    EXPECT_TRUE(thru.Connected());

    std::array<std::uint8_t, 128> table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint8_t>(i / 2);
    thru.PublishTable(table);
    backend->injectBytes(0, {0x90, 60, 100});
    backend->injectBytes(0, {0xF0, 1, 0xF7});
    backend->injectBytes(0, {0xFE}); // the input's filter drops active sensing, and so does the route
    backend->waitIdle();
    thru.SetHeld(true);
    backend->injectBytes(0, {0x90, 61, 100});
    deliver();
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 60, 50}, {0xF0, 1, 0xF7}}));

    std::vector<ThruOutcome> outcomes;
    while (auto event = input->GetMidiEvent())
        outcomes.push_back(event->Thru);
    EXPECT_EQ(outcomes, (std::vector<ThruOutcome>{ThruSent, ThruSent, ThruHeld}));
}

TEST_F(MidiThruTest, ClosingEitherPortAfterDisconnectingLeavesNothingRouted)
{
    input->OpenAndStart();
    ASSERT_TRUE(output->Open());
    ASSERT_TRUE(thru.Connect(*input, *output));
    thru.Disconnect();
    EXPECT_FALSE(thru.Connected());
    backend->injectBytes(0, {0x90, 60, 100});
    deliver();
    EXPECT_TRUE(backend->sentMessages(0).empty());
    auto event = input->GetMidiEvent();
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->Thru, ThruNone);
    EXPECT_TRUE(output->Close());
    input->StopAndClose();
}

TEST_F(MidiThruTest, TheInputsFilterChangedWhileConnectedIsTheRoutes)
{
    input->OpenAndStart();
    ASSERT_TRUE(output->Open());
    ASSERT_TRUE(thru.Connect(*input, *output));
    input->SetFilteredMessages({});
    backend->injectBytes(0, {0xFE});
    backend->waitIdle();
    input->SetSysexOnly(true);
    backend->injectBytes(0, {0x90, 60, 100});
    backend->injectBytes(0, {0xF0, 1, 0xF7});
    deliver();
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0xFE}, {0xF0, 1, 0xF7}}));
    EXPECT_TRUE(thru.Map().sysexOnly.load());
    EXPECT_FALSE(thru.Map().dropActiveSensing.load());

    // Without a route, the main thread's decision follows the same filter.
    thru.Disconnect();
    input->SetSysexOnly(false);
    input->SetFilteredMessages({msgActiveSensing});
    const std::uint8_t sensing[] = {0xFE};
    const std::uint8_t clock[] = {0xF8};
    EXPECT_EQ(thru.Decide(sensing, 1).outcome, ThruDropped);
    EXPECT_EQ(thru.Decide(clock, 1).outcome, ThruSent);
}

} // namespace
