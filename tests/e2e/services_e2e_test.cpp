// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI services on the real RtMidi backend against a private JACK server:
// device listing, short, system-exclusive and real-time messages in both
// directions, exchanged with a probe client of our own.

#include "jack_probe.h"
#include "wait_until.h"

#include "platform/midi/backends/alsa/rtmidi_backend.h"
#include "platform/midi/callback_recorder.h"
#include "platform/midi/midi_services.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

std::vector<std::string> inputNames()
{
    std::vector<std::string> names;
    const UINT count = midiInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIINCAPSW caps;
        EXPECT_EQ(midiInGetDevCapsW(i, &caps, sizeof caps), MMSYSERR_NOERROR);
        names.emplace_back(caps.szPname);
    }
    return names;
}

std::vector<std::string> outputNames()
{
    std::vector<std::string> names;
    const UINT count = midiOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIOUTCAPSW caps;
        EXPECT_EQ(midiOutGetDevCapsW(i, &caps, sizeof caps), MMSYSERR_NOERROR);
        names.emplace_back(caps.szPname);
    }
    return names;
}

// The device number of a port name in a fresh listing; -1 when absent.
int indexOf(const std::vector<std::string>& names, const std::string& name)
{
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

// System-exclusive buffers owned by a test, at fixed addresses.
class TestBufferSet {
public:
    MIDIHDR& add(DWORD size)
    {
        auto item = std::make_unique<Item>();
        item->data.resize(size);
        item->header.lpData = item->data.data();
        item->header.dwBufferLength = size;
        items_.push_back(std::move(item));
        return items_.back()->header;
    }
    MIDIHDR& at(std::size_t i) { return items_.at(i)->header; }

private:
    struct Item {
        std::vector<char> data;
        MIDIHDR header;
    };
    std::vector<std::unique_ptr<Item>> items_;
};

std::string ourClientName()
{
    return "Velomorph:";
}

class ServicesOnJackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            GTEST_SKIP() << "needs the private JACK server of the test fixture";
        SetMidiBackend(nullptr);
        probe = std::make_unique<JackProbe>("probe");
    }

    void TearDown() override
    {
        if (in)
            midiInClose(in);
        if (out)
            midiOutClose(out);
        probe.reset();
    }

    void openInputOnProbe()
    {
        const int device = indexOf(inputNames(), probe->outputPort());
        ASSERT_GE(device, 0);
        ASSERT_EQ(midiInOpen(&in, device, &CallbackRecorder::callback, recorder.instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
    }

    void openOutputOnProbe()
    {
        const int device = indexOf(outputNames(), probe->inputPort());
        ASSERT_GE(device, 0);
        ASSERT_EQ(midiOutOpen(&out, device, &CallbackRecorder::callback, recorder.instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
    }

    std::unique_ptr<JackProbe> probe;
    CallbackRecorder recorder;
    TestBufferSet buffers; // outlives the devices, closed in TearDown
    HMIDIIN in = 0;
    HMIDIOUT out = 0;
};

TEST_F(ServicesOnJackTest, ListsTheProbesPortsButNotOurs)
{
    openInputOnProbe();
    openOutputOnProbe();
    ASSERT_TRUE(probe->waitForOutputConnected(10s));
    ASSERT_TRUE(probe->waitForInputConnected(10s));

    // Our two ports exist on the server...
    const auto all = probe->allPorts();
    const std::string us = ourClientName();
    std::vector<std::string> ours;
    std::copy_if(all.begin(), all.end(), std::back_inserter(ours), [&](const std::string& p) { return p.rfind("Velomorph", 0) == 0; });
    EXPECT_EQ(ours, (std::vector<std::string>{"Velomorph:in", "Velomorph:out"}));
    // ...and are left out of both lists.
    for (const auto& names : {inputNames(), outputNames()}) {
        for (const std::string& name : names)
            EXPECT_NE(name.rfind(us, 0), 0u) << name;
    }
    const auto inputs = inputNames();
    const auto outputs = outputNames();
    EXPECT_GE(indexOf(inputs, "probe:out"), 0);
    EXPECT_GE(indexOf(outputs, "probe:in"), 0);
    EXPECT_LT(indexOf(inputs, "probe:in"), 0) << "an input port is nothing to read from";
    EXPECT_LT(indexOf(outputs, "probe:out"), 0);
}

TEST_F(ServicesOnJackTest, HardwarePortsAreListedFirst)
{
    // Registered after the probe, listed before it.
    JackProbe device("hwdevice", true);
    const auto inputs = inputNames();
    const auto outputs = outputNames();
    ASSERT_GE(indexOf(inputs, "probe:out"), 0);
    EXPECT_EQ(indexOf(inputs, "hwdevice:out"), 0);
    EXPECT_EQ(indexOf(outputs, "hwdevice:in"), 0);
    EXPECT_GT(indexOf(outputs, "probe:in"), 0);
}

TEST_F(ServicesOnJackTest, InputDeliversShortSysexAndRealTimeMessages)
{
    openInputOnProbe();
    for (int i = 0; i < 2; ++i) {
        MIDIHDR& h = buffers.add(64);
        ASSERT_EQ(midiInPrepareHeader(in, &h, sizeof h), MMSYSERR_NOERROR);
        ASSERT_EQ(midiInAddBuffer(in, &h, sizeof h), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(probe->waitForOutputConnected(10s));

    const Bytes sysex = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    probe->send({0x90, 0x3C, 0x64});
    probe->send(sysex);
    probe->send({0xFE});
    probe->send({0xF8});
    probe->send({0xC5, 0x07});
    ASSERT_TRUE(WaitUntil([&] {
        return recorder.calls(MIM_DATA).size() >= 4 && recorder.calls(MIM_LONGDATA).size() >= 1;
    }, 10s)) << recorder.calls().size() << " calls";
    const auto data = recorder.calls(MIM_DATA);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0].param1, 0x643C90u);
    EXPECT_EQ(data[1].param1, 0xFEu);
    EXPECT_EQ(data[2].param1, 0xF8u);
    EXPECT_EQ(data[3].param1, 0x07C5u);
    for (std::size_t i = 1; i < data.size(); ++i)
        EXPECT_LE(data[i - 1].param2, data[i].param2) << "time stamps count up";
    const auto longData = recorder.calls(MIM_LONGDATA);
    ASSERT_EQ(longData.size(), 1u);
    EXPECT_EQ(longData[0].param1, reinterpret_cast<DWORD_PTR>(&buffers.at(0)));
    EXPECT_EQ(longData[0].bytes, sysex);

    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    const auto handedBack = recorder.calls(MIM_LONGDATA);
    ASSERT_EQ(handedBack.size(), 2u);
    EXPECT_EQ(handedBack[1].param1, reinterpret_cast<DWORD_PTR>(&buffers.at(1)));
}

TEST_F(ServicesOnJackTest, OutputReachesTheProbeByteForByte)
{
    openOutputOnProbe();
    ASSERT_TRUE(probe->waitForInputConnected(10s));
    ASSERT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x7707C5), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x3C90F8), MMSYSERR_NOERROR);

    MIDIHDR& h = buffers.add(6);
    const Bytes sysex = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7};
    std::copy(sysex.begin(), sysex.end(), h.lpData);
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    const auto done = recorder.calls(MOM_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].param1, reinterpret_cast<DWORD_PTR>(&h));

    ASSERT_TRUE(probe->waitForEvents(4, 10s)) << probe->events().size();
    const auto& events = probe->events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].bytes, (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_EQ(events[1].bytes, (Bytes{0xC5, 0x07}));
    EXPECT_EQ(events[2].bytes, (Bytes{0xF8}));
    EXPECT_EQ(events[3].bytes, sysex);
    for (std::size_t i = 1; i < events.size(); ++i)
        EXPECT_LE(events[i - 1].frame, events[i].frame);
}

// Captures everything written to the process's standard output and error.
class OutputCapture {
public:
    OutputCapture()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        char path[] = "/tmp/velomorph-capture-XXXXXX";
        file_ = ::mkstemp(path);
        ::unlink(path);
        savedOut_ = ::dup(1);
        savedErr_ = ::dup(2);
        ::dup2(file_, 1);
        ::dup2(file_, 2);
    }

    ~OutputCapture() { restore(); }

    // Restores the streams and returns what was written meanwhile.
    std::string restore()
    {
        if (savedOut_ < 0)
            return captured_;
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(savedOut_, 1);
        ::dup2(savedErr_, 2);
        ::close(savedOut_);
        ::close(savedErr_);
        savedOut_ = savedErr_ = -1;
        std::string text;
        char chunk[256];
        ::lseek(file_, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(file_, chunk, sizeof chunk)) > 0;)
            text.append(chunk, static_cast<std::size_t>(n));
        ::close(file_);
        captured_ = text;
        return captured_;
    }

private:
    int file_ = -1;
    int savedOut_ = -1;
    int savedErr_ = -1;
    std::string captured_;
};

TEST(ServicesWithoutServerTest, NothingIsListedAndNothingPrinted)
{
    const char* fixtureServer = std::getenv("JACK_DEFAULT_SERVER");
    const std::string saved = fixtureServer ? fixtureServer : "";
    const std::string absent = "velomorph-absent-" + std::to_string(::getpid());
    ::setenv("JACK_DEFAULT_SERVER", absent.c_str(), 1);

    OutputCapture capture;
    unsigned inputs = 0;
    unsigned outputs = 0;
    std::vector<std::string> names;
    {
        RtMidiBackend backend(MidiClientName());
        inputs = backend.inputCount();
        outputs = backend.outputCount();
        for (unsigned i = 0; i < inputs; ++i) {
            MIDIINCAPSW caps;
            backend.inputCaps(i, caps);
            names.emplace_back(caps.szPname);
        }
        std::unique_ptr<MidiOutputConnection> connection;
        EXPECT_EQ(backend.openOutput(outputs, connection), MMSYSERR_BADDEVICEID);
    }
    const std::string printed = capture.restore();

    // No server was started on our behalf either.
    jack_client_t* client = jack_client_open(absent.c_str(), JackNoStartServer, nullptr);
    EXPECT_EQ(client, nullptr);
    if (client)
        jack_client_close(client);
    if (fixtureServer)
        ::setenv("JACK_DEFAULT_SERVER", saved.c_str(), 1);
    else
        ::unsetenv("JACK_DEFAULT_SERVER");

    EXPECT_EQ(printed, "");
    struct stat sequencer {};
    if (::stat("/dev/snd/seq", &sequencer) != 0) {
        EXPECT_EQ(inputs, 0u);
        EXPECT_EQ(outputs, 0u);
    }
    // Whatever ALSA lists, nothing comes from JACK.
    for (const std::string& name : names)
        EXPECT_EQ(name.find("system:"), std::string::npos) << name;
}

} // namespace
