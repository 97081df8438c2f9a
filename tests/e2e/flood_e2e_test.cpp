// SPDX-License-Identifier: GPL-3.0-or-later
// The real program under a flood: the probe sends 10,000 messages a second
// of every kind the program forwards (active sensing among them, which it
// drops), and every one comes back, in order, through the curve. The
// resident memory of the program is sampled all along.
//
// The test runs 3 seconds; VELOMORPH_FLOOD_SECONDS sets another length (the
// documented stage run takes 60) and the figures are printed either way.
#include "curve/curve_points.h"
#include "curve/transfer_table.h"
#include "jack_probe.h"
#include "program_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int MessagesPerSecond = 10000;

int FloodSeconds()
{
    const char* text = std::getenv("VELOMORPH_FLOOD_SECONDS");
    const int seconds = text ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 3;
}

// Message i of the flood: notes on and off most of the time, then controls,
// program changes, pitch bends, the timing clock and active sensing.
Bytes FloodMessage(std::size_t i)
{
    const auto channel = static_cast<std::uint8_t>(i % 16);
    const auto key = static_cast<std::uint8_t>(36 + (i / 2) % 48);
    const auto value = static_cast<std::uint8_t>(i % 128);
    switch (i % 20) {
    case 12:
    case 13:
        return {static_cast<std::uint8_t>(0xB0 | channel), 7, value};
    case 14:
        return {0xF8};
    case 15:
        return {0xFE};
    case 16:
        return {static_cast<std::uint8_t>(0xC0 | channel), value};
    case 17:
        return {static_cast<std::uint8_t>(0xE0 | channel), static_cast<std::uint8_t>(127 - value), value};
    default:
        if (i % 2 == 0)
            return {static_cast<std::uint8_t>(0x90 | channel), key, static_cast<std::uint8_t>(1 + i % 127)};
        return {static_cast<std::uint8_t>(0x80 | channel), key, value};
    }
}

// What leaves the program for one message: nothing for active sensing, the
// second data byte remapped for three-byte messages (a played note never
// silenced), the rest unchanged.
std::optional<Bytes> Forwarded(const Bytes& message, const TTransferTable& table)
{
    if (message[0] == 0xFE)
        return std::nullopt;
    if (message.size() != 3)
        return message;
    const std::uint8_t out = table[message[2]];
    const bool played = (message[0] & 0xF0) == 0x90 && message[2] > 0 && out == 0;
    return Bytes{message[0], message[1], played ? std::uint8_t{1} : out};
}

class ProgramUnderFlood : public ::testing::Test {
protected:
    void SetUp() override
    {
        probe = std::make_unique<JackProbe>("keyboard");
        program = std::make_unique<ProgramProcess>();
        ASSERT_TRUE(program->running());
    }

    std::unique_ptr<JackProbe> probe;
    std::unique_ptr<ProgramProcess> program; // goes before the probe
};

TEST_F(ProgramUnderFlood, TenThousandMessagesASecondAllComeBackInOrder)
{
    ASSERT_TRUE(probe->waitForEvents(2, 20s)) << "no test note";
    const std::size_t testNote = probe->events().size();
    const TTransferTable table = BuildTransferTable(DefaultCurvePoints);
    const std::size_t total = static_cast<std::size_t>(FloodSeconds()) * MessagesPerSecond;
    std::vector<Bytes> expected;
    for (std::size_t i = 0; i < total; ++i) {
        if (const std::optional<Bytes> out = Forwarded(FloodMessage(i), table))
            expected.push_back(*out);
    }

    std::vector<long> residentKiB{program->residentKiB()};
    const auto start = std::chrono::steady_clock::now();
    auto nextSample = start + 1s;
    std::size_t sent = 0;
    while (sent < total) {
        const auto now = std::chrono::steady_clock::now();
        const auto due = static_cast<std::size_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(now - start).count() * MessagesPerSecond / 1000000);
        for (; sent < std::min(due, total); ++sent)
            probe->send(FloodMessage(sent));
        probe->waitForEvents(0, 0ms); // takes in what came back so far
        if (now >= nextSample) {
            residentKiB.push_back(program->residentKiB());
            nextSample += 1s;
        }
        std::this_thread::sleep_for(1ms);
    }
    const double sendingSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool allBack = probe->waitForEvents(testNote + expected.size(), 20s);
    residentKiB.push_back(program->residentKiB());

    const auto& events = probe->events();
    const std::size_t received = events.size() - testNote;
    std::printf("flood: %zu messages sent in %.1f s (%.0f a second), %zu forwarded expected, %zu received\n",
                total, sendingSeconds, static_cast<double>(total) / sendingSeconds, expected.size(), received);
    std::printf("flood: program resident memory %ld KiB before, %ld KiB after, %ld KiB at most\n",
                residentKiB.front(), residentKiB.back(),
                *std::max_element(residentKiB.begin(), residentKiB.end()));
    EXPECT_TRUE(allBack);
    ASSERT_EQ(received, expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(events[testNote + i].bytes, expected[i]) << "message " << i << " of the flood";

    EXPECT_TRUE(program->quit());
}

} // namespace
