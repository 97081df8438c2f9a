// SPDX-License-Identifier: GPL-3.0-or-later
// What the curve applies to, message kind by message kind, in both modes.
#include "platform/midi/thru_map.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A table like the default curve's at its foot: the lowest velocities map to 0.
std::array<std::uint8_t, 128> FootTable()
{
    std::array<std::uint8_t, 128> table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint8_t>(i < 3 ? 0 : i - 3);
    return table;
}

TEST(ThruMap, EveryKindInBothModes)
{
    const struct {
        std::string name;
        std::uint8_t status;
        std::uint8_t data2;
        std::uint8_t all;       // what leaves when every kind is mapped
        std::uint8_t notesOnly; // what leaves when only notes are
    } table[] = {
        {"note on", 0x90, 100, 97, 97},
        {"note on, another channel", 0x9F, 100, 97, 97},
        {"note on velocity 1 is never silenced", 0x90, 1, 1, 1},
        {"note on velocity 2 is never silenced", 0x93, 2, 1, 1},
        {"note on velocity 0 is a release and keeps the table's value", 0x90, 0, 0, 0},
        {"note off maps, to 0 too", 0x80, 1, 0, 0},
        {"key pressure", 0xA0, 52, 49, 49},
        {"key pressure to 0", 0xA2, 2, 0, 0},
        {"control change", 0xB0, 64, 61, 64},
        {"control change to 0", 0xB0, 1, 0, 1},
        {"pitch bend msb", 0xE0, 0x40, 0x3D, 0x40},
        {"song position msb", 0xF2, 10, 7, 10},
    };
    ThruMap map;
    publishThruTable(map, FootTable());
    for (const bool notesOnly : {false, true}) {
        map.notesOnly.store(notesOnly);
        for (const auto& row : table) {
            SCOPED_TRACE(row.name + (notesOnly ? ", notes only" : ", every kind"));
            EXPECT_EQ(thruSecondDataByte(map, row.status, row.data2), notesOnly ? row.notesOnly : row.all);
            const bool note = (row.status & 0xF0) <= 0xA0;
            EXPECT_EQ(thruMapsSecondDataByte(map, row.status), !notesOnly || note);
        }
    }
}

TEST(ThruMap, TheFilterAndTheStreamRules)
{
    ThruMap map;
    const std::uint8_t clock[] = {0xF8};
    const std::uint8_t sensing[] = {0xFE};
    const std::uint8_t note[] = {0x90, 60, 100};
    const std::uint8_t sysex[] = {0xF0, 1, 0xF7};
    EXPECT_TRUE(thruPasses(map, sensing, 1));
    map.dropActiveSensing.store(true);
    map.dropTimingClock.store(true);
    EXPECT_FALSE(thruPasses(map, sensing, 1));
    EXPECT_FALSE(thruPasses(map, clock, 1));
    map.sysexOnly.store(true);
    EXPECT_FALSE(thruPasses(map, note, 3));
    EXPECT_TRUE(thruPasses(map, sysex, 3));

    // A long message in pieces, a clock between them, then data bytes that
    // belong to no message.
    const struct {
        std::vector<std::uint8_t> event;
        ThruEventKind kind;
        bool inLongAfter;
    } stream[] = {
        {{0xF0, 1, 2}, ThruEventKind::LongPiece, true},
        {{0xF8}, ThruEventKind::Short, true},
        {{3, 4}, ThruEventKind::LongPiece, true},
        {{5, 0xF7}, ThruEventKind::LongPiece, false},
        {{6, 7}, ThruEventKind::Refused, false},
        {{0xF0, 1}, ThruEventKind::LongPiece, true},
        {{0x90, 60, 100}, ThruEventKind::Short, false},
        {{0x90, 60}, ThruEventKind::Refused, false},
        {{0xF8, 0xF8}, ThruEventKind::Refused, false},
    };
    bool inLong = false;
    for (const auto& row : stream) {
        EXPECT_EQ(classifyThruEvent(row.event.data(), row.event.size(), inLong), row.kind);
        EXPECT_EQ(inLong, row.inLongAfter);
    }
}

} // namespace
