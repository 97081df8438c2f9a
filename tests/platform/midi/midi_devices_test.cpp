// SPDX-License-Identifier: GPL-3.0-or-later
// Result texts, handle checks, device numbering and capabilities of the MIDI
// services, over the virtual backend.

#include "platform/exception.h"
#include "platform/midi/virtual_services_fixture.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using DevicesTest = VirtualServicesTest;

TEST(MidiErrorTextTest, EveryCodeHasItsText)
{
    const std::pair<MMRESULT, const char*> table[] = {
        {MMSYSERR_NOERROR, "The operation completed without error."},
        {MMSYSERR_ERROR, "An unspecified error occurred in the MIDI services."},
        {MMSYSERR_BADDEVICEID, "The MIDI device number is out of range."},
        {MMSYSERR_NOTENABLED, "The MIDI driver is not enabled."},
        {MMSYSERR_ALLOCATED, "The MIDI device is already in use."},
        {MMSYSERR_INVALHANDLE, "The MIDI device handle is invalid."},
        {MMSYSERR_NODRIVER, "No MIDI driver is present for the device."},
        {MMSYSERR_NOMEM, "Not enough memory for the MIDI operation."},
        {MMSYSERR_NOTSUPPORTED, "The MIDI device does not support this function."},
        {MMSYSERR_BADERRNUM, "The error number is out of range."},
        {MMSYSERR_INVALFLAG, "An invalid flag was passed to the MIDI services."},
        {MMSYSERR_INVALPARAM, "An invalid parameter was passed to the MIDI services."},
        {MMSYSERR_HANDLEBUSY, "The MIDI device handle is busy on another thread."},
        {MIDIERR_UNPREPARED, "The MIDI buffer has not been prepared."},
        {MIDIERR_STILLPLAYING, "MIDI buffers are still with the device."},
        {MIDIERR_NOMAP, "No MIDI map is set up."},
        {MIDIERR_NOTREADY, "The MIDI device is busy with other data."},
        {MIDIERR_NODEVICE, "The MIDI device is no longer connected."},
        {MIDIERR_INVALIDSETUP, "The MIDI setup is damaged."},
        {MIDIERR_BADOPENMODE, "The operation is not allowed in the mode the MIDI device was opened in."},
        {MIDIERR_DONT_CONTINUE, "The MIDI driver stopped at the callback's request."},
    };
    for (const auto& [code, text] : table) {
        char in[MAXERRORLENGTH];
        char out[MAXERRORLENGTH];
        EXPECT_EQ(midiInGetErrorTextW(code, in, MAXERRORLENGTH), MMSYSERR_NOERROR) << code;
        EXPECT_EQ(midiOutGetErrorTextW(code, out, MAXERRORLENGTH), MMSYSERR_NOERROR) << code;
        EXPECT_STREQ(in, text) << code;
        EXPECT_STREQ(out, text) << code;
    }
}

TEST(MidiErrorTextTest, UnknownCodeAnswersBadErrNumWithEmptyText)
{
    for (const MMRESULT code : {MMRESULT{13}, MMRESULT{63}, MMRESULT{72}, MMRESULT{0xFFFFFFFF}}) {
        char text[MAXERRORLENGTH];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(midiInGetErrorTextW(code, text, MAXERRORLENGTH), MMSYSERR_BADERRNUM) << code;
        EXPECT_STREQ(text, "") << code;
    }
}

TEST(MidiErrorTextTest, RespectsTheBufferLengthAndAlwaysTerminates)
{
    char text[8];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(midiOutGetErrorTextW(MIDIERR_UNPREPARED, text, 5), MMSYSERR_NOERROR);
    EXPECT_STREQ(text, "The ");
    EXPECT_EQ(text[5], 'x') << "wrote past the given length";

    EXPECT_EQ(midiInGetErrorTextW(MIDIERR_UNPREPARED, text, 1), MMSYSERR_NOERROR);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(midiInGetErrorTextW(MIDIERR_UNPREPARED, text, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiInGetErrorTextW(MIDIERR_UNPREPARED, nullptr, 8), MMSYSERR_INVALPARAM);
}

TEST_F(DevicesTest, EveryHandleFunctionRefusesAHandleThatIsNotOpen)
{
    backend->addInput(named("In"));
    backend->addOutput(named("Out"));
    const HMIDIIN closedIn = openInput();
    ASSERT_EQ(midiInClose(closedIn), MMSYSERR_NOERROR);
    const HMIDIOUT closedOut = openOutput();
    ASSERT_EQ(midiOutClose(closedOut), MMSYSERR_NOERROR);
    // An open handle of the other direction is no handle here either.
    const HMIDIIN openIn = openInput();
    const HMIDIOUT openOut = openOutput();

    TestBuffer buffer(16);
    MIDIHDR* h = &buffer.header;
    const UINT size = sizeof(MIDIHDR);
    WORD patches[128] = {};
    for (const HMIDIIN in : {HMIDIIN{0}, closedIn, HMIDIIN{openOut}, HMIDIIN{-7}, HMIDIIN{123456}}) {
        SCOPED_TRACE(in);
        EXPECT_EQ(midiInClose(in), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiInPrepareHeader(in, h, size), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiInUnprepareHeader(in, h, size), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiInAddBuffer(in, h, size), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiInStart(in), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiInStop(in), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiInReset(in), MMSYSERR_INVALHANDLE);
    }
    for (const HMIDIOUT out : {HMIDIOUT{0}, closedOut, HMIDIOUT{openIn}, HMIDIOUT{-7}, HMIDIOUT{123456}}) {
        SCOPED_TRACE(out);
        EXPECT_EQ(midiOutClose(out), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiOutPrepareHeader(out, h, size), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiOutUnprepareHeader(out, h, size), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiOutLongMsg(out, h, size), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiOutReset(out), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiOutCachePatches(out, 0, patches, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiOutCacheDrumPatches(out, 0, patches, 0), MMSYSERR_INVALHANDLE);
    }
    EXPECT_TRUE(backend->sentBytes(0).empty());
}

TEST_F(DevicesTest, HandlesAreNeverReused)
{
    backend->addInput(named("In"));
    backend->addOutput(named("Out"));
    std::vector<std::int32_t> seen;
    for (int i = 0; i < 3; ++i) {
        const HMIDIIN in = openInput();
        const HMIDIOUT out = openOutput();
        seen.push_back(in);
        seen.push_back(out);
        ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    EXPECT_GT(seen.front(), 0);
}

TEST_F(DevicesTest, CapabilitiesComeFromTheDeviceWithItsFullName)
{
    VirtualMidiBackend::DeviceSpec in = named("Keyboard");
    in.mid = 1;
    in.pid = 2;
    in.driverVersion = 0x0305;
    in.support = 0x10;
    backend->addInput(in);
    // Longer than the 32 characters of old, and than 255 bytes.
    const std::string longName = "Synth " + std::string(400, 'n') + " \xC3\xA9t\xC3\xA9";
    VirtualMidiBackend::DeviceSpec out = named(longName.c_str());
    out.mid = 3;
    out.pid = 4;
    out.driverVersion = 0x0102;
    out.technology = MOD_SWSYNTH;
    out.voices = 32;
    out.notes = 64;
    out.channelMask = 0x00FF;
    out.support = MIDICAPS_VOLUME | MIDICAPS_CACHE;
    backend->addOutput(out);

    ASSERT_EQ(midiInGetNumDevs(), 1u);
    ASSERT_EQ(midiOutGetNumDevs(), 1u);
    MIDIINCAPSW inCaps;
    ASSERT_EQ(midiInGetDevCapsW(0, &inCaps, sizeof inCaps), MMSYSERR_NOERROR);
    EXPECT_EQ(inCaps.wMid, 1);
    EXPECT_EQ(inCaps.wPid, 2);
    EXPECT_EQ(inCaps.vDriverVersion, 0x0305u);
    EXPECT_STREQ(inCaps.szPname, "Keyboard");
    EXPECT_EQ(inCaps.dwSupport, 0x10u);

    MIDIOUTCAPSW outCaps;
    ASSERT_EQ(midiOutGetDevCapsW(0, &outCaps, sizeof outCaps), MMSYSERR_NOERROR);
    EXPECT_EQ(outCaps.wMid, 3);
    EXPECT_EQ(outCaps.wPid, 4);
    EXPECT_EQ(outCaps.vDriverVersion, 0x0102u);
    EXPECT_EQ(std::string(outCaps.szPname), longName);
    EXPECT_EQ(outCaps.wTechnology, MOD_SWSYNTH);
    EXPECT_EQ(outCaps.wVoices, 32);
    EXPECT_EQ(outCaps.wNotes, 64);
    EXPECT_EQ(outCaps.wChannelMask, 0x00FF);
    EXPECT_EQ(outCaps.dwSupport, DWORD{MIDICAPS_VOLUME | MIDICAPS_CACHE});
}

TEST_F(DevicesTest, MapperAndNumbersOutOfRangeAreBadDeviceIds)
{
    backend->addInput(named("In"));
    backend->addOutput(named("Out"));
    MIDIINCAPSW inCaps;
    MIDIOUTCAPSW outCaps;
    HMIDIIN in = 99;
    HMIDIOUT out = 99;
    for (const UINT device : {UINT{1}, UINT{1000}, MIDI_MAPPER}) {
        SCOPED_TRACE(device);
        EXPECT_EQ(midiInGetDevCapsW(device, &inCaps, sizeof inCaps), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(midiOutGetDevCapsW(device, &outCaps, sizeof outCaps), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(midiInOpen(&in, device, &CallbackRecorder::callback, 0, CALLBACK_FUNCTION), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(midiOutOpen(&out, device, &CallbackRecorder::callback, 0, CALLBACK_FUNCTION),
                  MMSYSERR_BADDEVICEID);
        EXPECT_EQ(in, 0);
        EXPECT_EQ(out, 0);
        DWORD volume = 0;
        EXPECT_EQ(midiOutGetVolume(device, &volume), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(midiOutSetVolume(device, 0xFFFFFFFF), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(midiOutMessage(device, 0x800, 0, 0), MMSYSERR_BADDEVICEID);
    }
}

TEST_F(DevicesTest, BadArgumentsAreRefusedWithoutOpening)
{
    backend->addInput(named("In"));
    backend->addOutput(named("Out"));
    MIDIINCAPSW inCaps;
    MIDIOUTCAPSW outCaps;
    EXPECT_EQ(midiInGetDevCapsW(0, nullptr, sizeof inCaps), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiInGetDevCapsW(0, &inCaps, 10), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiInGetDevCapsW(0, &inCaps, 76), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutGetDevCapsW(0, nullptr, sizeof outCaps), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutGetDevCapsW(0, &outCaps, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutGetDevCapsW(0, &outCaps, 84), MMSYSERR_NOERROR);

    HMIDIIN in = 0;
    HMIDIOUT out = 0;
    const auto cb = &CallbackRecorder::callback;
    EXPECT_EQ(midiInOpen(nullptr, 0, cb, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiInOpen(&in, 0, cb, 0, 0x50000), MMSYSERR_INVALFLAG);
    EXPECT_EQ(midiInOpen(&in, 0, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutOpen(nullptr, 0, cb, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutOpen(&out, 0, cb, 0, CALLBACK_FUNCTION | 0x1), MMSYSERR_INVALFLAG);
    EXPECT_EQ(midiOutOpen(&out, 0, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_FALSE(backend->isInputOpen(0));
    EXPECT_FALSE(backend->isOutputOpen(0));
}

TEST_F(DevicesTest, DeviceFaultsComeBackAsTheirCodes)
{
    backend->addInput(named("In"));
    backend->addOutput(named("Out"));
    backend->setInputCapsError(0, MMSYSERR_NODRIVER);
    backend->setOutputCapsError(0, MMSYSERR_NOMEM);
    backend->setInputOpenError(0, MMSYSERR_ALLOCATED);
    backend->setOutputOpenError(0, MMSYSERR_ALLOCATED);
    MIDIINCAPSW inCaps;
    MIDIOUTCAPSW outCaps;
    EXPECT_EQ(midiInGetDevCapsW(0, &inCaps, sizeof inCaps), MMSYSERR_NODRIVER);
    EXPECT_EQ(midiOutGetDevCapsW(0, &outCaps, sizeof outCaps), MMSYSERR_NOMEM);
    HMIDIIN in = 5;
    HMIDIOUT out = 5;
    EXPECT_EQ(midiInOpen(&in, 0, &CallbackRecorder::callback, recorder.instance(), CALLBACK_FUNCTION),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(midiOutOpen(&out, 0, &CallbackRecorder::callback, recorder.instance(), CALLBACK_FUNCTION),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 0);
    EXPECT_TRUE(recorder.calls().empty()) << "a failed open calls nothing back";

    // A device whose capabilities cannot be read is still a device.
    DWORD volume = 0;
    EXPECT_EQ(midiOutGetVolume(0, &volume), MMSYSERR_NOTSUPPORTED);

    backend->setInputOpenError(0, MMSYSERR_NOERROR);
    openInput();
    HMIDIIN second = 0;
    EXPECT_EQ(midiInOpen(&second, 0, &CallbackRecorder::callback, 0, CALLBACK_FUNCTION), MMSYSERR_ALLOCATED);
}

TEST_F(DevicesTest, UnpluggedDevicesLeaveTheListAndTheOthersMoveUp)
{
    backend->addOutput(named("A"));
    const unsigned b = backend->addOutput(named("B"));
    backend->addOutput(named("C"));
    const HMIDIOUT open = openOutput(1);
    backend->removeOutput(b);
    ASSERT_EQ(midiOutGetNumDevs(), 2u);
    MIDIOUTCAPSW caps;
    ASSERT_EQ(midiOutGetDevCapsW(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "C");
    EXPECT_EQ(midiOutShortMsg(open, 0x643C90), MMSYSERR_NODRIVER);
    EXPECT_EQ(midiOutClose(open), MMSYSERR_NOERROR);
}

TEST_F(DevicesTest, ReplacingTheBackendWhileADeviceIsOpenIsRefused)
{
    backend->addOutput(named("Out"));
    const HMIDIOUT out = openOutput();
    EXPECT_THROW(SetMidiBackend(std::make_shared<VirtualMidiBackend>()), Exception);
    EXPECT_EQ(&CurrentMidiBackend(), backend.get());
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_NO_THROW(SetMidiBackend(backend));
}

} // namespace
