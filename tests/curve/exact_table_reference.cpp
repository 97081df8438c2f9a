// SPDX-License-Identifier: GPL-3.0-or-later
#include "exact_table_reference.h"

#include <cstdlib>

namespace {

using Int = __int128;
using UInt = unsigned __int128;

constexpr int SignificandBits = 64;

// The value Significand * 2^Exponent, held exactly.
struct Dyadic {
    Int Significand;
    int Exponent;
};

int BitLength(UInt value)
{
    int bits = 0;
    for (; value != 0; value >>= 1)
        ++bits;
    return bits;
}

// Rounds (-1)^negative * (magnitude + f) * 2^exponent to a 64-bit significand,
// ties to even, where 0 <= f < 1 and `sticky` tells whether f > 0. A caller
// with sticky set gives a magnitude of more than 65 bits, so f only breaks ties.
Dyadic Round(bool negative, UInt magnitude, int exponent, bool sticky)
{
    const int bits = BitLength(magnitude);
    if (bits <= SignificandBits) {
        if (sticky)
            std::abort();  // the caller kept too few bits to round correctly
        return {negative ? -static_cast<Int>(magnitude) : static_cast<Int>(magnitude), exponent};
    }
    int shift = bits - SignificandBits;
    UInt kept = magnitude >> shift;
    const UInt rest = magnitude & ((UInt{1} << shift) - 1);
    const UInt half = UInt{1} << (shift - 1);
    if (rest > half || (rest == half && (sticky || (kept & 1) != 0)))
        ++kept;
    if (BitLength(kept) > SignificandBits) {
        kept >>= 1;
        ++shift;
    }
    return {negative ? -static_cast<Int>(kept) : static_cast<Int>(kept), exponent + shift};
}

UInt Magnitude(Int value)
{
    return value < 0 ? static_cast<UInt>(-value) : static_cast<UInt>(value);
}

Dyadic Divide(int a, int b)
{
    if (a == 0)
        return {0, 0};
    // 2^72 / 127 > 2^65: the integer quotient keeps more bits than the result.
    constexpr int Scale = 72;
    const UInt numerator = Magnitude(a) << Scale;
    const UInt denominator = static_cast<UInt>(b);
    return Round(a < 0, numerator / denominator, -Scale, numerator % denominator != 0);
}

Dyadic Multiply(Dyadic q, int c)
{
    return Round(q.Significand < 0, Magnitude(q.Significand) * static_cast<UInt>(c), q.Exponent, false);
}

Dyadic Add(Dyadic p, int ys)
{
    if (p.Significand == 0)
        return {ys, 0};
    // A non-zero p lies from 1/127 to 127 in magnitude with a 64-bit significand.
    if (p.Exponent >= 0 || p.Exponent < -100)
        std::abort();
    const Int sum = p.Significand + (static_cast<Int>(ys) << -p.Exponent);
    return Round(sum < 0, Magnitude(sum), p.Exponent, false);
}

int TruncateTowardZero(Dyadic s)
{
    if (s.Exponent >= 0)
        return static_cast<int>(s.Significand << s.Exponent);
    const Int whole = static_cast<Int>(Magnitude(s.Significand) >> -s.Exponent);
    return static_cast<int>(s.Significand < 0 ? -whole : whole);
}

}  // namespace

int ExactSegmentValue(int xs, int ys, int xe, int ye, int i)
{
    if (xe == xs)
        return i;
    const Dyadic q = Divide(ye - ys, xe - xs);
    const Dyadic p = Multiply(q, i - xs);
    return TruncateTowardZero(Add(p, ys));
}

std::array<int, 128> ExactReferenceTable(const CurvePoints& points)
{
    std::array<int, 128> table{};
    if (points.Count == 0) {
        for (int i = 0; i < 128; ++i)
            table[static_cast<std::size_t>(i)] = i;
        return table;
    }
    const auto segment = [&table](int xs, int ys, int xe, int ye) {
        for (int i = xs; i <= xe; ++i)
            table[static_cast<std::size_t>(i)] = ExactSegmentValue(xs, ys, xe, ye, i);
    };
    int xs = 0;
    int ys = 0;
    for (int k = 1; k <= points.Count; ++k) {
        segment(xs, ys, points.In[k - 1], points.Out[k - 1]);
        xs = points.In[k - 1] + 1;
        ys = points.Out[k - 1];
    }
    segment(xs, ys, 127, points.Out[8]);
    return table;
}
