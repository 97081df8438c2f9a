// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_event.h"
#include "midi/midi_hdr.h"
#include "midi/shared_block.h"

#include <gtest/gtest.h>

namespace {

class BufferHeader : public ::testing::Test {
protected:
    void TearDown() override { SetSharedBlockAllocationBudget(std::nullopt); }
    const std::size_t blocksBefore = SharedBlockCount();
};

} // namespace

TEST_F(BufferHeader, OwnsAHeaderPointingAtItsZeroFilledData)
{
    {
        TMyMidiHdr buffer(1000);
        ASSERT_NE(buffer.hdrPointer, nullptr);
        ASSERT_NE(buffer.sysexPointer, nullptr);
        EXPECT_NE(buffer.hdrHandle, 0u);
        EXPECT_NE(buffer.sysexHandle, 0u);
        EXPECT_EQ(buffer.hdrPointer->lpData, buffer.sysexPointer);
        EXPECT_EQ(buffer.hdrPointer->dwBufferLength, 1000u);
        EXPECT_EQ(buffer.hdrPointer->dwBytesRecorded, 0u);
        EXPECT_EQ(buffer.hdrPointer->dwUser, 0u);
        const auto* data = static_cast<const unsigned char*>(buffer.sysexPointer);
        EXPECT_EQ(data[0], 0);
        EXPECT_EQ(data[999], 0);
        EXPECT_EQ(SharedBlockCount(), blocksBefore + 2);
    }
    EXPECT_EQ(SharedBlockCount(), blocksBefore);
}

TEST_F(BufferHeader, SizeZeroAllocatesNothing)
{
    {
        TMyMidiHdr buffer(0);
        EXPECT_EQ(buffer.hdrHandle, 0u);
        EXPECT_EQ(buffer.hdrPointer, nullptr);
        EXPECT_EQ(buffer.sysexHandle, 0u);
        EXPECT_EQ(buffer.sysexPointer, nullptr);
        EXPECT_EQ(SharedBlockCount(), blocksBefore);
    }
    EXPECT_EQ(SharedBlockCount(), blocksBefore);
}

TEST_F(BufferHeader, FailedAllocationReleasesWhatItGotAndRaises)
{
    for (std::size_t budget : {0u, 1u}) { // no header; a header but no data
        SetSharedBlockAllocationBudget(budget);
        EXPECT_THROW(TMyMidiHdr(64), EMidiBufferAllocError) << "budget " << budget;
        EXPECT_EQ(SharedBlockCount(), blocksBefore) << "budget " << budget;
    }
}

TEST(MidiEvent, StartsWithEveryFieldZero)
{
    const TMyMidiEvent event;
    EXPECT_EQ(event.MidiMessage, 0);
    EXPECT_EQ(event.Data1, 0);
    EXPECT_EQ(event.Data2, 0);
    EXPECT_EQ(event.Time, 0u);
    EXPECT_EQ(event.SysexLength, 0);
    EXPECT_EQ(event.Sysex, nullptr);
}
