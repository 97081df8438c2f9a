// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on a JACK server of the test's own, killed while the
// program forwards: the program stays up and says nothing, and asked to
// close, before or after the server is back, it still ends cleanly, which it
// can only do while its window answers.
#include "jack_probe.h"
#include "private_jack_server.h"
#include "program_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Watches the program for `span`, checking every few milliseconds that it
// still runs; false as soon as it has ended.
bool StaysUpFor(ProgramProcess& program, std::chrono::milliseconds span)
{
    const auto end = std::chrono::steady_clock::now() + span;
    do {
        if (!program.running())
            return false;
        std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < end);
    return program.running();
}

TEST(ProgramOnKilledServer, StaysUpSaysNothingAndStillQuitsCleanly)
{
    for (const bool serverBack : {false, true}) {
        SCOPED_TRACE(serverBack ? "quits once the server is back" : "quits while the server is gone");
        PrivateJackServer server;
        auto probe = std::make_unique<JackProbe>("keyboard");
        ProgramProcess program;
        ASSERT_TRUE(program.running());
        ASSERT_TRUE(probe->waitForEvents(2, 20s)) << "no test note";

        // Notes keep coming while the server dies.
        for (int i = 0; i < 100; ++i) {
            probe->send({0x90, 0x3C, static_cast<std::uint8_t>(1 + i)});
            std::this_thread::sleep_for(1ms);
        }
        server.kill();
        EXPECT_TRUE(probe->waitForEvents(3, 0ms)) << "nothing was forwarded before the server died";
        probe.reset();
        // It stays up from the server's death to the request to close.
        EXPECT_TRUE(StaysUpFor(program, 1s)) << program.output();
        if (serverBack) {
            server.start();
            EXPECT_TRUE(StaysUpFor(program, 1s)) << program.output();
        }
        EXPECT_TRUE(program.quit());
        EXPECT_EQ(program.output(), "");
    }
}

} // namespace
