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

TEST(ProgramOnKilledServer, StaysUpSaysNothingAndStillQuitsCleanly)
{
    for (const bool serverBack : {false, true}) {
        SCOPED_TRACE(serverBack ? "quits once the server is back" : "quits while the server is gone");
        PrivateJackServer server;
        auto probe = std::make_unique<JackProbe>("keyboard");
        ProgramProcess program;
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(probe->waitForEvents(2, 20s)) << "no test note";

        // Notes keep coming while the server dies.
        for (int i = 0; i < 100; ++i) {
            probe->send({0x90, 0x3C, static_cast<std::uint8_t>(1 + i)});
            std::this_thread::sleep_for(1ms);
        }
        server.kill();
        EXPECT_TRUE(probe->waitForEvents(3, 0ms)) << "nothing was forwarded before the server died";
        probe.reset();
        std::this_thread::sleep_for(1s);
        EXPECT_TRUE(program.running());

        if (serverBack) {
            server.start();
            std::this_thread::sleep_for(1s);
            EXPECT_TRUE(program.running());
        }
        EXPECT_TRUE(program.quit());
        EXPECT_EQ(program.output(), "");
    }
}

} // namespace
