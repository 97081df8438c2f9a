#include "platform/midi/midi_stream_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class RecordingSink final : public MidiInputSink {
public:
    void onMessage(const std::uint8_t* data, std::size_t size) noexcept override
    {
        messages.emplace_back(data, data + size);
    }
    std::vector<Bytes> messages;
};

TEST(MidiStreamSplit, EveryMessageComesOutOnItsOwnInArrivalOrder)
{
    const struct {
        const char* name;
        Bytes received;
        std::vector<Bytes> delivered;
    } table[] = {
        {"one note", {0x90, 0x3C, 0x64}, {{0x90, 0x3C, 0x64}}},
        {"a whole system-exclusive message", {0xF0, 1, 2, 0xF7}, {{0xF0, 1, 2, 0xF7}}},
        {"clocks between the pieces of a long one",
         {0xF0, 1, 0xF8, 2, 0xF8, 0xF7},
         {{0xF8}, {0xF8}, {0xF0, 1, 2, 0xF7}}},
        {"notes after a piece that never ended",
         {0xF0, 1, 2, 0x90, 0x3E, 0x64, 0x80, 0x3E, 0x00, 0xF0, 4, 0xF7},
         {{0xF0, 1, 2}, {0x90, 0x3E, 0x64}, {0x80, 0x3E, 0x00}, {0xF0, 4, 0xF7}}},
        {"a clock inside a note", {0x90, 0xF8, 0x3C, 0x64}, {{0xF8}, {0x90, 0x3C, 0x64}}},
        {"a clock right after a note", {0x90, 0x3C, 0x64, 0xF8}, {{0x90, 0x3C, 0x64}, {0xF8}}},
        {"messages of every length", {0xC0, 5, 0xF8, 0xF2, 1, 2, 0xE0, 0, 64},
         {{0xC0, 5}, {0xF8}, {0xF2, 1, 2}, {0xE0, 0, 64}}},
        {"a note cut short", {0x90, 0x3C, 0x80, 0x3C, 0}, {{0x90, 0x3C}, {0x80, 0x3C, 0}}},
        {"data bytes alone", {0x3C, 0x64, 0x3D}, {{0x3C, 0x64, 0x3D}}},
        {"data bytes after a whole note", {0x90, 0x3C, 0x64, 0x3E, 0x64}, {{0x90, 0x3C, 0x64}, {0x3E, 0x64}}},
        {"a stray end of system exclusive", {0xF7, 1, 0x90, 0x3C, 0x64}, {{0xF7, 1}, {0x90, 0x3C, 0x64}}},
        {"a system-exclusive message without data", {0xF0}, {{0xF0}}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        Bytes bytes = row.received;
        RecordingSink sink;
        deliverAsMessages(bytes.data(), bytes.size(), sink);
        EXPECT_EQ(sink.messages, row.delivered);
    }
}

} // namespace
