// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/messages/midi_stream_reading.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads `received` and returns what was handed on; `inPlace` reads as the
// ALSA backend does (a long message put together in the buffer), else as
// JACK does (the buffer only read).
std::vector<Bytes> Read(Bytes& received, bool inPlace)
{
    std::vector<Bytes> messages;
    readAsMessages(received.data(), received.size(), inPlace ? received.data() : nullptr,
                   [&](const std::uint8_t* data, std::size_t size) { messages.emplace_back(data, data + size); });
    return messages;
}

// One received buffer and the messages that it must give, in order; when a
// real-time byte interrupts a long message, read without changing the
// buffer it gives `inPieces` instead.
struct Case {
    const char* name;
    Bytes received;
    std::vector<Bytes> delivered;
    std::optional<std::vector<Bytes>> inPieces = std::nullopt;
};

void ExpectDelivered(std::initializer_list<Case> table)
{
    for (const Case& row : table) {
        SCOPED_TRACE(row.name);
        Bytes bytes = row.received;
        EXPECT_EQ(Read(bytes, true), row.delivered) << "in place";
        bytes = row.received;
        EXPECT_EQ(Read(bytes, false), row.inPieces.value_or(row.delivered)) << "only read";
        EXPECT_EQ(bytes, row.received) << "only read";
    }
}

TEST(MidiStreamReading, EveryMessageComesOutOnItsOwnInArrivalOrder)
{
    ExpectDelivered({
        {"one note", {0x90, 0x3C, 0x64}, {{0x90, 0x3C, 0x64}}},
        {"a whole system-exclusive message", {0xF0, 1, 2, 0xF7}, {{0xF0, 1, 2, 0xF7}}},
        {"clocks between the pieces of a long one",
         {0xF0, 1, 0xF8, 2, 0xF8, 0xF7},
         {{0xF8}, {0xF8}, {0xF0, 1, 2, 0xF7}},
         {{{0xF0, 1}, {0xF8}, {2}, {0xF8}, {0xF7}}}},
        {"a clock right after the start of a long one", {0xF0, 0xF8, 1, 0xF7}, {{0xF8}, {0xF0, 1, 0xF7}},
         {{{0xF0}, {0xF8}, {1, 0xF7}}}},
        {"a clock among data bytes alone", {0x3C, 0xF8, 0x64}, {{0xF8}, {0x3C, 0x64}}, {{{0x3C}, {0xF8}, {0x64}}}},
        {"notes after a piece that never ended",
         {0xF0, 1, 2, 0x90, 0x3E, 0x64, 0x80, 0x3E, 0x00, 0xF0, 4, 0xF7},
         {{0xF0, 1, 2}, {0x90, 0x3E, 0x64}, {0x80, 0x3E, 0x00}, {0xF0, 4, 0xF7}}},
        {"a clock inside a note", {0x90, 0xF8, 0x3C, 0x64}, {{0xF8}, {0x90, 0x3C, 0x64}}},
        {"a clock right after a note", {0x90, 0x3C, 0x64, 0xF8}, {{0x90, 0x3C, 0x64}, {0xF8}}},
        {"messages of every length", {0xC0, 5, 0xF8, 0xF2, 1, 2, 0xE0, 0, 64},
         {{0xC0, 5}, {0xF8}, {0xF2, 1, 2}, {0xE0, 0, 64}}},
        {"a note cut short", {0x90, 0x3C, 0x80, 0x3C, 0}, {{0x90, 0x3C}, {0x80, 0x3C, 0}}},
        {"data bytes alone", {0x3C, 0x64, 0x3D}, {{0x3C, 0x64, 0x3D}}},
        {"a stray end of system exclusive", {0xF7, 1, 0x90, 0x3C, 0x64}, {{0xF7, 1}, {0x90, 0x3C, 0x64}}},
        {"a system-exclusive message without data", {0xF0}, {{0xF0}}},
    });
}

// Data bytes without a status byte of their own take the last channel
// message's, as a MIDI 1.0 receiver reads them.
TEST(MidiStreamReading, RunningStatusGivesDataBytesTheLastChannelStatus)
{
    ExpectDelivered({
        {"two notes, one status byte", {0x90, 0x3C, 0x64, 0x3E, 0x50}, {{0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x50}}},
        {"a chord and its releases",
         {0x91, 60, 100, 64, 90, 67, 80, 0x81, 60, 0, 64, 0},
         {{0x91, 60, 100}, {0x91, 64, 90}, {0x91, 67, 80}, {0x81, 60, 0}, {0x81, 64, 0}}},
        {"one data byte a message", {0xC0, 5, 6, 7, 0xD2, 64, 65},
         {{0xC0, 5}, {0xC0, 6}, {0xC0, 7}, {0xD2, 64}, {0xD2, 65}}},
        {"controls and pitch bends", {0xB0, 7, 100, 10, 64, 0xE1, 0, 64, 0x7F, 0x7F},
         {{0xB0, 7, 100}, {0xB0, 10, 64}, {0xE1, 0, 64}, {0xE1, 0x7F, 0x7F}}},
        {"kept across real-time bytes", {0x90, 0x3C, 0x64, 0xF8, 0x3E, 0xFE, 0x50, 0xFA, 0x40, 0x20},
         {{0x90, 0x3C, 0x64}, {0xF8}, {0xFE}, {0x90, 0x3E, 0x50}, {0xFA}, {0x90, 0x40, 0x20}}},
        {"a real-time byte before the first status", {0xF8, 0x90, 0x3C, 0x64, 0x3E, 0x50},
         {{0xF8}, {0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x50}}},
        {"the last one cut short", {0x90, 0x3C, 0x64, 0x3E}, {{0x90, 0x3C, 0x64}, {0x90, 0x3E}}},
        {"a new status byte takes over", {0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00, 0x3E, 0x00},
         {{0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x00}, {0x80, 0x3E, 0x00}}},
        {"cancelled by a system common message", {0x90, 0x3C, 0x64, 0xF2, 1, 2, 0x3E, 0x50},
         {{0x90, 0x3C, 0x64}, {0xF2, 1, 2}, {0x3E, 0x50}}},
        {"cancelled by a tune request", {0x90, 0x3C, 0x64, 0xF6, 0x3E, 0x50},
         {{0x90, 0x3C, 0x64}, {0xF6}, {0x3E, 0x50}}},
        {"cancelled by system exclusive", {0x90, 0x3C, 0x64, 0xF0, 1, 0xF7, 0x3E, 0x50},
         {{0x90, 0x3C, 0x64}, {0xF0, 1, 0xF7}, {0x3E, 0x50}}},
        {"cancelled by a stray end of system exclusive", {0x90, 0x3C, 0x64, 0xF7, 0x3E, 0x50},
         {{0x90, 0x3C, 0x64}, {0xF7, 0x3E, 0x50}}},
        {"set by a note that ends a system-exclusive message early", {0xF0, 1, 0x90, 0x3C, 0x64, 0x3E, 0x50},
         {{0xF0, 1}, {0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x50}}},
        {"none before the first status byte", {0x3C, 0x64, 0x90, 0x3E, 0x50}, {{0x3C, 0x64}, {0x90, 0x3E, 0x50}}},
    });

    // Each call starts without: the backends hand over whole events.
    Bytes note{0x90, 0x3C, 0x64};
    Bytes alone{0x3E, 0x50};
    EXPECT_EQ(Read(note, false), (std::vector<Bytes>{{0x90, 0x3C, 0x64}}));
    EXPECT_EQ(Read(alone, false), (std::vector<Bytes>{{0x3E, 0x50}}));
}

} // namespace
