// SPDX-License-Identifier: GPL-3.0-or-later
// How a device named on the command line is found among the listed ones.
#include "app/device_match.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Kind = TDeviceMatch::TKind;

struct MatchCase {
    const char* name;
    std::vector<std::string> listed;
    std::string wanted;
    Kind kind;
    std::string found;                   // the device found; empty unless Found
    std::vector<std::string> candidates; // for Ambiguous: the names holding the part, in the list's order
};

void PrintTo(const MatchCase& c, std::ostream* out)
{
    *out << c.name;
}

class MatchDeviceNameCases : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchDeviceNameCases, FindsTheDeviceOrSaysWhyNot)
{
    const MatchCase& c = GetParam();
    const TDeviceMatch match = MatchDeviceName(c.listed, c.wanted);
    EXPECT_EQ(match.Kind, c.kind);
    EXPECT_EQ(match.Name, c.found);
    if (c.kind == Kind::Ambiguous) {
        EXPECT_EQ(match.Candidates, c.candidates);
    }
}

const std::vector<std::string> Ports{"keyboard:out", "synth:out", "Clavier Électrique:out", "Midi Through:Port-0"};

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchDeviceNameCases,
    ::testing::Values(
        MatchCase{"exact", Ports, "synth:out", Kind::Found, "synth:out", {}},
        MatchCase{"part_in_another_case", Ports, "SYNTH", Kind::Found, "synth:out", {}},
        MatchCase{"part_with_accents_in_another_case", Ports, "électrique", Kind::Found, "Clavier Électrique:out", {}},
        MatchCase{"part_held_by_several", {"keys-a:out", "synth:out", "keys-b:out"}, "KEYS", Kind::Ambiguous, {},
                  {"keys-a:out", "keys-b:out"}},
        MatchCase{"missing", Ports, "piano", Kind::Missing, {}, {}},
        MatchCase{"nothing_listed", {}, "synth", Kind::Missing, {}, {}},
        MatchCase{"longer_than_every_name", Ports, "synth:out:1", Kind::Missing, {}, {}},
        MatchCase{"empty_name_matches_nothing", Ports, "", Kind::Missing, {}, {}},
        // "keys:out" is also part of "keys:out 2": the exact name wins.
        MatchCase{"exact_wins_over_a_part", {"keys:out 2", "keys:out"}, "keys:out", Kind::Found, "keys:out", {}},
        MatchCase{"exact_case_wins_over_another_case", {"Keys:out", "keys:out"}, "keys:out", Kind::Found, "keys:out",
                  {}}));

} // namespace
