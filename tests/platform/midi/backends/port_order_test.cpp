// SPDX-License-Identifier: GPL-3.0-or-later
// How the RtMidi backend classifies, filters and orders the ports it lists.

#include "platform/midi/backends/port_name.h"
#include "platform/midi/backends/port_order.h"
#include "platform/midi/messages/midi_message.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PortOrderTest, AlsaNamesAreClassifiedByTheirClientNumber)
{
    const struct {
        const char* name;
        bool parsed;
        int client;
        int port;
        PortKind kind;
    } table[] = {
        {"Midi Through:Midi Through Port-0 14:0", true, 14, 0, PortKind::Through},
        {"USB Keyboard:USB Keyboard MIDI 1 20:0", true, 20, 0, PortKind::Hardware},
        {"Last Card:Port 127:3", true, 127, 3, PortKind::Hardware},
        {"FLUID Synth (1234):Synth input port (1234:0) 128:0", true, 128, 0, PortKind::Program},
        {"System:Timer 0:0", true, 0, 0, PortKind::Program},
        {"Odd name without address", false, -1, -1, PortKind::Program},
        {"Odd:name 12:x", false, -1, -1, PortKind::Program},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        int client = -1;
        int port = -1;
        EXPECT_EQ(parseAlsaAddress(row.name, client, port), row.parsed);
        const ListedPort listed = alsaPort(row.name);
        EXPECT_EQ(listed.api, PortApi::Alsa);
        EXPECT_EQ(listed.name, row.name);
        EXPECT_EQ(listed.alsaClient, row.client);
        EXPECT_EQ(listed.alsaPort, row.port);
        EXPECT_EQ(listed.kind, row.kind);
    }
}

TEST(PortOrderTest, OurOwnAlsaPortsAreRecognisedByClientName)
{
    const std::string us = "Velomorph-123";
    const struct {
        const char* name;
        bool ours;
    } table[] = {
        {"Velomorph-123:in 130:0", true},
        {"Velomorph-123:out", true},
        {"Velomorph-1234:in 131:0", false},
        {"Velomorph-12:in", false},
        {"probe:Velomorph-123:in", false},
        {"system:midi_capture_1", false},
    };
    for (const auto& row : table)
        EXPECT_EQ(isOwnAlsaPort(row.name, us), row.ours) << row.name;
}

TEST(PortOrderTest, JackPortsAreHardwareProgramsOrThroughPorts)
{
    EXPECT_EQ(jackPort("system:midi_capture_1", true).kind, PortKind::Hardware);
    EXPECT_EQ(jackPort("synth:input", false).kind, PortKind::Program);
    EXPECT_EQ(jackPort("Midi-Bridge:Midi Through Port-0 (capture)", false).kind, PortKind::Through);
    EXPECT_EQ(jackPort("a2j:Midi Through [14] (capture): Midi Through Port-0", false).kind, PortKind::Through);
    EXPECT_EQ(jackPort("Velomorph:out", false, true).kind, PortKind::OtherCopy);
}

TEST(PortOrderTest, HardwareComesFirstThenProgramsThenOtherCopiesThenMidiThrough)
{
    std::vector<ListedPort> ports = {
        jackPort("Velomorph:out", false, true),
        alsaPort("Midi Through:Midi Through Port-0 14:0"),
        alsaPort("Sequencer:out 128:0"),
        jackPort("probe:out", false),
        alsaPort("Keyboard:MIDI 1 24:0"),
        jackPort("system:midi_capture_1", true),
        alsaPort("Midi Through:Midi Through Port-1 14:1"),
        alsaPort("Pads:MIDI 1 20:0"),
        alsaPort("Other:out 129:0"),
    };
    orderPorts(ports);
    std::vector<std::string> names;
    for (const ListedPort& port : ports)
        names.push_back(port.name);
    const std::vector<std::string> expected = {
        "Keyboard:MIDI 1 24:0",
        "Pads:MIDI 1 20:0",
        "system:midi_capture_1",
        "Sequencer:out 128:0",
        "Other:out 129:0",
        "probe:out",
        "Velomorph:out",
        "Midi Through:Midi Through Port-0 14:0",
        "Midi Through:Midi Through Port-1 14:1",
    };
    EXPECT_EQ(names, expected);
}

TEST(PortOrderTest, OnlyTheThroughPortThatAnOpenInputListensToWouldLoop)
{
    const std::vector<std::pair<int, int>> openInputs = {{14, 0}, {20, 0}};
    const struct {
        ListedPort output;
        bool loops;
    } table[] = {
        {alsaPort("Midi Through:Midi Through Port-0 14:0"), true},
        {alsaPort("Midi Through:Midi Through Port-1 14:1"), false},
        // A keyboard with a synth inside: its own input and output.
        {alsaPort("Keyboard:MIDI 1 20:0"), false},
        {alsaPort("Sequencer:in 128:0"), false},
        {jackPort("system:midi_playback_1", true), false},
    };
    for (const auto& row : table)
        EXPECT_EQ(feedsBack(row.output, openInputs), row.loops) << row.output.name;
    EXPECT_FALSE(feedsBack(alsaPort("Midi Through:Midi Through Port-0 14:0"), {}));
}

TEST(PortNameTest, LongNamesAreCutOnlyAtACharacterBoundary)
{
    char target[MAXPNAMELEN];
    copyPortName("probe:out", target);
    EXPECT_STREQ(target, "probe:out");

    // A two-byte character straddling the last byte is left out whole.
    const std::string name = std::string(MAXPNAMELEN - 2, 'a') + "\xC3\xA9" + "tail";
    copyPortName(name, target);
    EXPECT_EQ(std::string(target), std::string(MAXPNAMELEN - 2, 'a'));
}

TEST(MidiMessageTest, ShortMessageSizeFollowsTheStatusByte)
{
    const struct {
        std::uint8_t status;
        std::size_t size;
    } table[] = {
        {0x00, 0}, {0x7F, 0}, {0x80, 3}, {0x9F, 3}, {0xA0, 3}, {0xB5, 3}, {0xC0, 2}, {0xCF, 2},
        {0xD3, 2}, {0xE0, 3}, {0xEF, 3}, {0xF0, 0}, {0xF1, 2}, {0xF2, 3}, {0xF3, 2}, {0xF4, 1},
        {0xF5, 1}, {0xF6, 1}, {0xF7, 0}, {0xF8, 1}, {0xF9, 1}, {0xFA, 1}, {0xFE, 1}, {0xFF, 1},
    };
    for (const auto& row : table)
        EXPECT_EQ(shortMessageSize(row.status), row.size) << std::hex << int(row.status);
}

} // namespace
