// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on the private JACK server, where only the probe's two
// ports exist: it opens them at start-up, plays its test note, then forwards
// every message through the default curve.
#include "curve/curve_points.h"
#include "curve/transfer_table.h"
#include "jack_probe.h"
#include "program_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class ProgramOnJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        probe = std::make_unique<JackProbe>("keyboard");
        program = std::make_unique<ProgramProcess>();
        ASSERT_TRUE(program->running());
    }

    // Sends one message and waits for what comes back.
    Bytes RoundTrip(const Bytes& message)
    {
        const std::size_t before = probe->events().size();
        probe->send(message);
        if (!probe->waitForEvents(before + 1, 5s))
            return {};
        return probe->events()[before].bytes;
    }

    std::unique_ptr<JackProbe> probe;
    std::unique_ptr<ProgramProcess> program; // goes before the probe
};

TEST_F(ProgramOnJack, PlaysTheTestNoteForwardsThroughTheCurveAndQuitsCleanly)
{
    ASSERT_TRUE(probe->waitForEvents(2, 20s)) << "no test note";
    const auto& note = probe->events();
    EXPECT_EQ(note[0].bytes, (Bytes{0x90, 0x3F, 0x64}));
    EXPECT_EQ(note[1].bytes, (Bytes{0x80, 0x3F, 0x64}));
    // Its length is checked where the clock is the test's (the window tests):
    // a dummy server's frames fall behind the clock when the machine stalls.

    const TTransferTable table = BuildTransferTable(DefaultCurvePoints);
    for (int v = 0; v < 128; ++v) {
        const auto velocity = static_cast<std::uint8_t>(v);
        // A played note never leaves silenced, whatever the curve's foot.
        const std::uint8_t out = v > 0 && table[v] == 0 ? 1 : table[v];
        ASSERT_EQ(RoundTrip({0x90, 0x3C, velocity}), (Bytes{0x90, 0x3C, out})) << "velocity " << v;
    }

    struct Case {
        const char* name;
        Bytes in;
        Bytes out;
    };
    const Case cases[] = {
        {"note off", {0x80, 0x3C, 64}, {0x80, 0x3C, table[64]}},
        {"control change", {0xB3, 7, 80}, {0xB3, 7, table[80]}},
        {"pitch bend", {0xE0, 0x10, 60}, {0xE0, 0x10, table[60]}},
        {"key pressure", {0xA0, 0x3C, 52}, {0xA0, 0x3C, table[52]}},
        {"program change", {0xC0, 5}, {0xC0, 5}},
        {"channel pressure", {0xD0, 64}, {0xD0, 64}},
        {"timing clock", {0xF8}, {0xF8}},
        {"system exclusive", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RoundTrip(c.in), c.out) << c.name;

    // Active sensing is dropped: only the note after it comes back.
    const std::size_t before = probe->events().size();
    probe->send({0xFE});
    probe->send({0x90, 0x40, 100});
    ASSERT_TRUE(probe->waitForEvents(before + 1, 5s));
    EXPECT_EQ(probe->events()[before].bytes, (Bytes{0x90, 0x40, table[100]}));

    // Asked to close, as by the session: the window closes and the program ends with exit code 0.
    EXPECT_TRUE(program->quit()) << program->output();
}

} // namespace
