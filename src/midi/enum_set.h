// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A set of values of a small enumeration (at most 8 values), one bit each.

#include <cstdint>
#include <initializer_list>

template <typename E>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    // The set of the values listed.
    constexpr TEnumSet(std::initializer_list<E> values)
    {
        for (E value : values)
            FBits = static_cast<std::uint8_t>(FBits | bit(value));
    }
    // The set whose bit n stands for the value n.
    static constexpr TEnumSet fromBits(std::uint8_t bits)
    {
        TEnumSet set;
        set.FBits = bits;
        return set;
    }

    // Adds the value to the set.
    constexpr void include(E value) { FBits = static_cast<std::uint8_t>(FBits | bit(value)); }
    // Whether the value is in the set.
    constexpr bool contains(E value) const { return (FBits & bit(value)) != 0; }
    // Bit n set for each value n in the set.
    constexpr std::uint8_t bits() const { return FBits; }
    // Sets are equal when they hold the same values.
    friend constexpr bool operator==(TEnumSet, TEnumSet) = default;

private:
    static constexpr std::uint8_t bit(E value) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(value)); }
    std::uint8_t FBits = 0;
};
