// SPDX-License-Identifier: GPL-3.0-or-later
// What the curve applies to, message kind by message kind, in both modes.
#include "platform/midi/messages/thru_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The one rule of every route, event after event of one stream: what leaves
// and why, with the map's settings for each event and the carry that runs
// from one event to the next.
TEST(ThruMap, TheRuleOfEveryRoute)
{
    using Bytes = std::vector<std::uint8_t>;
    struct Settings {
        bool dropSensing = false;
        bool dropClock = false;
        bool sysexOnly = false;
        bool notesOnly = false;
        bool held = false;
    };
    const Settings none;
    const Settings filters{true, true, false, false, false};
    const Settings sysexOnly{false, false, true, false, false};
    const Settings notesOnly{false, false, false, true, false};
    const Settings held{false, false, false, false, true};
    const struct {
        std::string name;
        Settings settings;
        Bytes event;
        ThruOutcome outcome;
        Bytes leaves; // when sent
        bool inLongAfter;
    } stream[] = {
        {"a note maps its velocity", none, {0x90, 60, 100}, ThruSent, {0x90, 60, 97}, false},
        {"a note of velocity 1 is never silenced", none, {0x90, 60, 1}, ThruSent, {0x90, 60, 1}, false},
        {"a controller maps its value", none, {0xB0, 7, 64}, ThruSent, {0xB0, 7, 61}, false},
        {"only notes: a controller leaves unchanged", notesOnly, {0xB0, 7, 64}, ThruSent, {0xB0, 7, 64}, false},
        {"only notes: a note maps", notesOnly, {0x80, 60, 64}, ThruSent, {0x80, 60, 61}, false},
        {"a program change has no second data byte", none, {0xC0, 5}, ThruSent, {0xC0, 5}, false},
        {"active sensing passes", none, {0xFE}, ThruSent, {0xFE}, false},
        {"active sensing filtered", filters, {0xFE}, ThruDropped, {}, false},
        {"the timing clock filtered", filters, {0xF8}, ThruDropped, {}, false},
        {"the timing clock passes", none, {0xF8}, ThruSent, {0xF8}, false},
        {"only system exclusive: a note is dropped", sysexOnly, {0x90, 60, 100}, ThruDropped, {}, false},
        {"only system exclusive: a clock is dropped", sysexOnly, {0xF8}, ThruDropped, {}, false},
        {"a note is held", held, {0x90, 60, 100}, ThruHeld, {}, false},
        {"a filtered message is dropped, held or not", Settings{true, false, false, false, true}, {0xFE},
         ThruDropped, {}, false},
        {"a note of the wrong length", none, {0x90, 60}, ThruDropped, {}, false},
        {"two clocks in one event", none, {0xF8, 0xF8}, ThruDropped, {}, false},
        {"data bytes outside a long message", none, {6, 7}, ThruDropped, {}, false},
        {"an end outside a long message", none, {0xF7}, ThruDropped, {}, false},
        {"a long message starts", sysexOnly, {0xF0, 1, 2}, ThruSent, {0xF0, 1, 2}, true},
        {"a clock inside it passes and keeps it open", none, {0xF8}, ThruSent, {0xF8}, true},
        {"a filtered clock inside it keeps it open", filters, {0xF8}, ThruDropped, {}, true},
        {"it continues, held", held, {3, 4}, ThruHeld, {}, true},
        {"it continues, unchanged", none, {10, 100}, ThruSent, {10, 100}, true},
        {"it ends, unchanged", sysexOnly, {5, 0xF7}, ThruSent, {5, 0xF7}, false},
        {"after the end, data bytes are stray again", none, {8, 9}, ThruDropped, {}, false},
        {"a whole long message", none, {0xF0, 1, 0xF7}, ThruSent, {0xF0, 1, 0xF7}, false},
        {"a long message cut short", none, {0xF0, 1}, ThruSent, {0xF0, 1}, true},
        {"a short message ends it", none, {0x90, 60, 100}, ThruSent, {0x90, 60, 97}, false},
        {"so data bytes after it are stray", none, {2, 0xF7}, ThruDropped, {}, false},
    };
    ThruMap map;
    publishThruTable(map, FootTable());
    ThruCarry carry;
    for (const auto& row : stream) {
        SCOPED_TRACE(row.name);
        map.dropActiveSensing.store(row.settings.dropSensing);
        map.dropTimingClock.store(row.settings.dropClock);
        map.sysexOnly.store(row.settings.sysexOnly);
        map.notesOnly.store(row.settings.notesOnly);
        map.held.store(row.settings.held);
        const ThruDecision decision = decideThru(map, row.event.data(), row.event.size(), carry);
        EXPECT_EQ(decision.outcome, row.outcome);
        if (decision.outcome == ThruSent) {
            EXPECT_EQ(Bytes(decision.bytes(), decision.bytes() + decision.size), row.leaves);
        }
        EXPECT_EQ(carry.inLong, row.inLongAfter);
    }
}

// The window shows what came in: mapping never writes into the incoming
// event, and what leaves was mapped once, at the decision.
TEST(ThruMap, MappingLeavesTheIncomingBytesAsTheyCame)
{
    ThruMap map;
    publishThruTable(map, FootTable());
    ThruCarry carry;
    const std::uint8_t note[] = {0x90, 60, 100};
    const ThruDecision decision = decideThru(map, note, 3, carry);
    publishThruTable(map, std::array<std::uint8_t, 128>{});
    ASSERT_EQ(decision.outcome, ThruSent);
    EXPECT_EQ(decision.bytes()[2], 97);
    EXPECT_EQ(note[2], 100);
}

} // namespace
