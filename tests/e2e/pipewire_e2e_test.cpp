// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on PipeWire's JACK server (pipewire-jack), as desktops
// run it today: the test note, a sweep of every velocity through the
// default curve, and a clean end. The test itself runs under pw-jack, so
// that its probe and the program both use PipeWire's libjack.
#include "curve/curve_points.h"
#include "curve/transfer_table.h"
#include "jack_probe.h"
#include "program_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

TEST(ProgramOnPipeWire, PlaysTheTestNoteForwardsThroughTheCurveAndQuitsCleanly)
{
    if (!std::getenv("PIPEWIRE_RUNTIME_DIR"))
        GTEST_SKIP() << "needs the private PipeWire server of the test fixture";
    JackProbe probe("keyboard", true);
    ProgramProcess program;
    ASSERT_TRUE(program.running());
    ASSERT_TRUE(probe.waitForEvents(2, 30s)) << "no test note\n" << program.output();
    EXPECT_EQ(probe.events()[0].bytes, (Bytes{0x90, 0x3F, 0x64}));
    EXPECT_EQ(probe.events()[1].bytes, (Bytes{0x80, 0x3F, 0x64}));

    const TTransferTable table = BuildTransferTable(DefaultCurvePoints);
    for (int v = 0; v < 128; ++v) {
        const std::size_t before = probe.events().size();
        probe.send({0x90, 0x3C, static_cast<std::uint8_t>(v)});
        ASSERT_TRUE(probe.waitForEvents(before + 1, 5s)) << "velocity " << v;
        const Bytes& received = probe.events()[before].bytes;
        if (v == 0) {
            // PipeWire hands a Note On of velocity 0 on as the Note Off it
            // means (velocity 64), which the curve then maps.
            EXPECT_TRUE(received == (Bytes{0x90, 0x3C, table[0]}) || received == (Bytes{0x80, 0x3C, table[64]}));
            continue;
        }
        const std::uint8_t out = table[v] == 0 ? 1 : table[v];
        EXPECT_EQ(received, (Bytes{0x90, 0x3C, out})) << "velocity " << v;
    }

    EXPECT_TRUE(program.quit()) << program.output();
}

} // namespace
