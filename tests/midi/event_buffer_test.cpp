// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/event_buffer.h"
#include "midi/shared_block.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct BufferDeleter {
    void operator()(TCircularBuffer* buffer) const { FreeEventBuffer(buffer); }
};
using BufferPtr = std::unique_ptr<TCircularBuffer, BufferDeleter>;

TMidiBufferItem shortItem(std::uint32_t n)
{
    return TMidiBufferItem{n, 0x90 | n << 8, nullptr};
}

// Takes every queued entry, oldest first.
std::vector<std::uint32_t> drain(PCircularBuffer buffer)
{
    std::vector<std::uint32_t> stamps;
    TMidiBufferItem item;
    while (PeekEvent(buffer, item)) {
        stamps.push_back(item.timestamp);
        EXPECT_TRUE(DropEvent(buffer));
    }
    return stamps;
}

class SharedBlocks : public ::testing::Test {
protected:
    void TearDown() override { SetSharedBlockAllocationBudget(std::nullopt); }
};

} // namespace

TEST_F(SharedBlocks, AreZeroFilledDistinctAndReleasedThroughTheirHandle)
{
    const std::size_t before = SharedBlockCount();
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    auto* a = static_cast<unsigned char*>(AllocSharedBlock(300, first));
    auto* b = static_cast<unsigned char*>(AllocSharedBlock(300, second));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(std::vector<unsigned char>(a, a + 300), std::vector<unsigned char>(300, 0));
    EXPECT_EQ(SharedBlockCount(), before + 2);

    FreeSharedBlock(first, nullptr); // the pointer is not looked at
    FreeSharedBlock(first, a);       // a second release of the same handle does nothing
    FreeSharedBlock(0, b);           // nor does a zero handle
    EXPECT_EQ(SharedBlockCount(), before + 1);
    FreeSharedBlock(second, b);
    EXPECT_EQ(SharedBlockCount(), before);
}

TEST_F(SharedBlocks, FailedAllocationGivesNullAndHandleZero)
{
    std::uint32_t handle = 77;
    EXPECT_EQ(AllocSharedBlock(0, handle), nullptr);
    EXPECT_EQ(handle, 0u);

    SetSharedBlockAllocationBudget(0);
    handle = 77;
    EXPECT_EQ(AllocSharedBlock(16, handle), nullptr);
    EXPECT_EQ(handle, 0u);
}

TEST_F(SharedBlocks, EventBufferRefusesCapacityOutOfRangeAndKeepsNothingWhenMemoryRunsOut)
{
    const std::size_t before = SharedBlockCount();
    EXPECT_EQ(CreateEventBuffer(0), nullptr);
    EXPECT_EQ(CreateEventBuffer(MaxEventBufferCapacity + 1), nullptr);
    BufferPtr largest(CreateEventBuffer(MaxEventBufferCapacity));
    ASSERT_NE(largest, nullptr);
    EXPECT_EQ(largest->pEnd - largest->pStart, MaxEventBufferCapacity);
    largest.reset();

    for (std::size_t budget : {0u, 1u}) { // no record; a record but no entry area
        SetSharedBlockAllocationBudget(budget);
        EXPECT_EQ(CreateEventBuffer(16), nullptr) << "budget " << budget;
        EXPECT_EQ(SharedBlockCount(), before) << "budget " << budget;
    }
}

TEST(EventBuffer, StartsEmptyWithItsFieldsSet)
{
    BufferPtr buffer(CreateEventBuffer(8));
    ASSERT_NE(buffer, nullptr);
    EXPECT_NE(buffer->RecordHandle, 0u);
    EXPECT_NE(buffer->BufferHandle, 0u);
    EXPECT_EQ(buffer->pEnd, buffer->pStart + 8);
    EXPECT_EQ(buffer->pNextPut, buffer->pStart);
    EXPECT_EQ(buffer->pNextGet, buffer->pStart);
    EXPECT_EQ(buffer->Capacity, 8);
    EXPECT_EQ(buffer->Error, 0);
    EXPECT_EQ(buffer->EventCount.load(), 0);
}

TEST(EventBuffer, EmptyBufferGivesNothingAndLeavesTheOutputAlone)
{
    BufferPtr buffer(CreateEventBuffer(4));
    TMidiBufferItem item{1, 2, nullptr};
    EXPECT_FALSE(PeekEvent(buffer.get(), item));
    EXPECT_EQ(item.timestamp, 1u);
    EXPECT_EQ(item.data, 2u);
    EXPECT_FALSE(DropEvent(buffer.get()));
    EXPECT_EQ(buffer->EventCount.load(), 0);
    EXPECT_EQ(buffer->pNextGet, buffer->pStart);
}

TEST(EventBuffer, PeekKeepsTheEntryQueued)
{
    BufferPtr buffer(CreateEventBuffer(4));
    MIDIHDR header;
    ASSERT_TRUE(PushEvent(buffer.get(), TMidiBufferItem{5, 0, &header}));
    TMidiBufferItem first;
    TMidiBufferItem second;
    ASSERT_TRUE(PeekEvent(buffer.get(), first));
    ASSERT_TRUE(PeekEvent(buffer.get(), second));
    EXPECT_EQ(first.timestamp, 5u);
    EXPECT_EQ(first.sysex, &header);
    EXPECT_EQ(second.timestamp, first.timestamp);
    EXPECT_EQ(second.sysex, first.sysex);
    EXPECT_EQ(buffer->EventCount.load(), 1);
}

TEST(EventBuffer, CapacityOneTakesOneEntryAtATime)
{
    BufferPtr buffer(CreateEventBuffer(1));
    EXPECT_TRUE(PushEvent(buffer.get(), shortItem(1)));
    EXPECT_FALSE(PushEvent(buffer.get(), shortItem(2)));
    EXPECT_EQ(buffer->pNextPut, buffer->pNextGet);
    EXPECT_TRUE(DropEvent(buffer.get()));
    EXPECT_TRUE(PushEvent(buffer.get(), shortItem(3)));
    EXPECT_EQ(drain(buffer.get()), std::vector<std::uint32_t>{3});
}

TEST(EventBuffer, WrapsAroundInOrder)
{
    BufferPtr buffer(CreateEventBuffer(3));
    PCircularBuffer b = buffer.get();
    ASSERT_TRUE(PushEvent(b, shortItem(1)));
    ASSERT_TRUE(PushEvent(b, shortItem(2)));
    ASSERT_TRUE(DropEvent(b));
    ASSERT_TRUE(PushEvent(b, shortItem(3))); // into the last slot
    EXPECT_EQ(b->pNextPut, b->pStart);
    ASSERT_TRUE(PushEvent(b, shortItem(4))); // wrapped to the first slot
    EXPECT_EQ(b->pNextPut, b->pStart + 1);
    EXPECT_FALSE(PushEvent(b, shortItem(5))); // full: refused, nothing changed
    EXPECT_EQ(b->EventCount.load(), 3);

    EXPECT_EQ(drain(b), (std::vector<std::uint32_t>{2, 3, 4}));
    EXPECT_EQ(b->pNextGet, b->pStart + 1); // dropped from the last slot back to the start, then one more
}
