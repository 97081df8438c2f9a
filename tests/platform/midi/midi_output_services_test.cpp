// SPDX-License-Identifier: GPL-3.0-or-later
// Output through the MIDI services: short messages by status, long messages
// handed back with MOM_DONE, reset, and the functions the platform lacks.

#include "platform/midi/virtual_services_fixture.h"

namespace {

class OutputTest : public VirtualServicesTest {
protected:
    void SetUp() override
    {
        VirtualServicesTest::SetUp();
        backend->addOutput(named("Out"));
        out = openOutput();
        recorder.clear();
    }

    HMIDIOUT out = 0;
};

using Bytes = std::vector<std::uint8_t>;

TEST_F(OutputTest, ShortMessagesSendTheBytesTheirStatusCallsFor)
{
    const struct {
        DWORD packed;
        Bytes sent;
    } table[] = {
        {0x643C90, {0x90, 0x3C, 0x64}},
        {0x643C80, {0x80, 0x3C, 0x64}},
        {0x223CA1, {0xA1, 0x3C, 0x22}},
        {0x7F07B2, {0xB2, 0x07, 0x7F}},
        {0x4000E3, {0xE3, 0x00, 0x40}},
        {0x7705C4, {0xC4, 0x05}},
        {0x7732D5, {0xD5, 0x32}},
        {0x7712F1, {0xF1, 0x12}},
        {0x7703F3, {0xF3, 0x03}},
        {0x7F10F2, {0xF2, 0x10, 0x7F}},
        {0x3344F6, {0xF6}},
        {0x3344F8, {0xF8}},
        {0x3344FA, {0xFA}},
        {0x3344FE, {0xFE}},
        {0x3344FF, {0xFF}},
    };
    for (const auto& row : table) {
        EXPECT_EQ(midiOutShortMsg(out, row.packed), MMSYSERR_NOERROR) << std::hex << row.packed;
        const auto sent = backend->sentMessages(0);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), row.sent) << std::hex << row.packed;
    }
    EXPECT_EQ(backend->sentMessages(0).size(), std::size(table));
    EXPECT_TRUE(recorder.calls().empty()) << "short messages call nothing back";
}

TEST_F(OutputTest, AShortMessageWithoutAStatusByteIsRefusedAndNothingIsSent)
{
    // Data bytes, and the system-exclusive bytes that only long messages carry.
    for (const DWORD packed : {DWORD{0x643C}, DWORD{0x00}, DWORD{0x7F}, DWORD{0x0102F0}, DWORD{0xF7}}) {
        EXPECT_EQ(midiOutShortMsg(out, packed), MMSYSERR_INVALPARAM) << std::hex << packed;
    }
    EXPECT_TRUE(backend->sentBytes(0).empty());
}

TEST_F(OutputTest, ALongMessageIsSentWholeAndHandedBackBeforeTheCallReturns)
{
    TestBuffer buffer(6);
    const Bytes sysex = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    std::copy(sysex.begin(), sysex.end(), buffer.data.begin());
    MIDIHDR& h = buffer.header;
    EXPECT_EQ(midiOutLongMsg(out, &h, sizeof h), MIDIERR_UNPREPARED);
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);

    EXPECT_EQ(backend->sentMessages(0), std::vector<Bytes>{sysex});
    const auto done = recorder.calls();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].message, MOM_DONE);
    EXPECT_EQ(done[0].device, out);
    EXPECT_EQ(done[0].param1, reinterpret_cast<DWORD_PTR>(&h));
    EXPECT_EQ(done[0].bytes, sysex);
    EXPECT_EQ(h.dwFlags, DWORD{MHDR_PREPARED | MHDR_DONE});
    EXPECT_EQ(midiOutUnprepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.dwFlags, DWORD{MHDR_DONE});
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(OutputTest, AFailedSendIsReportedAndHandsNothingBack)
{
    backend->setShortSendError(0, MIDIERR_NOTREADY);
    backend->setLongSendError(0, MIDIERR_NOTREADY);
    EXPECT_EQ(midiOutShortMsg(out, 0x643C90), MIDIERR_NOTREADY);
    TestBuffer buffer(3);
    MIDIHDR& h = buffer.header;
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutLongMsg(out, &h, sizeof h), MIDIERR_NOTREADY);
    EXPECT_TRUE(recorder.calls().empty());
    EXPECT_EQ(h.dwFlags, DWORD{MHDR_PREPARED});
    EXPECT_TRUE(backend->sentBytes(0).empty());
}

TEST_F(OutputTest, LongMessageArgumentsAreChecked)
{
    TestBuffer buffer(3);
    MIDIHDR& h = buffer.header;
    EXPECT_EQ(midiOutPrepareHeader(out, nullptr, sizeof h), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutPrepareHeader(out, &h, 63), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutPrepareHeader(out, &h, 64), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutLongMsg(out, nullptr, sizeof h), MMSYSERR_INVALPARAM);
    h.dwBufferLength = 0;
    EXPECT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_INVALPARAM);
    TestBuffer empty(0);
    EXPECT_EQ(midiOutPrepareHeader(out, &empty.header, sizeof h), MMSYSERR_INVALPARAM);
    EXPECT_TRUE(backend->sentBytes(0).empty());
}

TEST_F(OutputTest, ResetSendsAllNotesOffOnEveryChannel)
{
    ASSERT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    std::vector<Bytes> expected;
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        expected.push_back({static_cast<std::uint8_t>(0xB0 | channel), 123, 0});
    EXPECT_EQ(backend->sentMessages(0), expected);
    EXPECT_TRUE(recorder.calls().empty()) << "no buffer was outstanding";
}

TEST_F(OutputTest, PatchCachingVolumeAndDriverMessagesAreNotSupported)
{
    WORD patches[128] = {};
    EXPECT_EQ(midiOutCachePatches(out, 0, patches, 0), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(midiOutCacheDrumPatches(out, 0, patches, 0), MMSYSERR_NOTSUPPORTED);
    DWORD volume = 0x1234;
    EXPECT_EQ(midiOutGetVolume(0, &volume), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(volume, 0x1234u);
    EXPECT_EQ(midiOutSetVolume(0, 0xFFFFFFFF), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(midiOutMessage(0, 0x800, 1, 2), MMSYSERR_NOTSUPPORTED);
    // Volume and driver messages take a device number: a closed device answers too.
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutGetVolume(0, &volume), MMSYSERR_NOTSUPPORTED);
}

TEST_F(OutputTest, OpenAndCloseAreAnnouncedAndCloseReleasesTheDevice)
{
    EXPECT_TRUE(backend->isOutputOpen(0));
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_FALSE(backend->isOutputOpen(0));
    const auto calls = recorder.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, MOM_CLOSE);
    const HMIDIOUT again = openOutput();
    EXPECT_NE(again, out);
    EXPECT_EQ(recorder.calls().back().message, MOM_OPEN);
}

} // namespace
