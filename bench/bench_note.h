// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The note messages the benchmarks play: each carries its sequence number,
// modulo NoteIdCount, in its channel and key, so that the receiving end knows
// which message it got and which were lost. Several sources playing into one
// port at once each take a block of channels of their own, so that every
// reply also tells its source.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// Sequence numbers wrap at this value (11 bits: 4 of channel, 7 of key).
constexpr std::uint16_t NoteIdCount = 2048;

// The ids one source's notes carry: `count` of them, from `first` on.
struct NoteIds {
    std::uint16_t first = 0;
    std::uint16_t count = NoteIdCount;
};

// The ids of source `source` of `sources` playing at once: whole channels,
// as many for each.
inline NoteIds SourceNoteIds(std::size_t source, std::size_t sources)
{
    const auto count = static_cast<std::uint16_t>(16 / sources * 128);
    return {static_cast<std::uint16_t>(source * count), count};
}

// Note On for message `sequence` of a source with `ids`; the velocity runs
// through 1 to 127, so every message changes the window's last-mapping label.
inline std::array<std::uint8_t, 3> NoteFor(std::size_t sequence, NoteIds ids = {})
{
    const auto id = static_cast<std::uint16_t>(ids.first + sequence % ids.count);
    return {static_cast<std::uint8_t>(0x90 | (id >> 7)), static_cast<std::uint8_t>(id & 0x7F),
            static_cast<std::uint8_t>(1 + sequence % 127)};
}

// The id of a message built by NoteFor; nothing for any other message.
inline std::optional<std::uint16_t> NoteIdOf(const std::uint8_t* data, std::size_t size)
{
    if (size != 3 || (data[0] & 0xF0) != 0x90)
        return std::nullopt;
    return static_cast<std::uint16_t>(((data[0] & 0x0F) << 7) | data[1]);
}
