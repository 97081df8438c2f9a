// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/transfer_table.h"

#include <limits>
#include <numeric>

// Some entries depend on the exact rounding of a 64-bit significand: (0, 0) to
// (7, 59) gives 58 at entry 7, where a 53-bit double or exact arithmetic gives 59.
static_assert(std::numeric_limits<long double>::digits == 64,
              "the transfer table needs a long double with a 64-bit significand");

// One statement per operation, each rounded to the 64-bit significand in this
// order; the file is built with -ffp-contract=off so nothing is fused.
std::uint8_t TransferSegmentValue(int xs, int ys, int xe, int ye, int i)
{
    if (xe == xs)
        return static_cast<std::uint8_t>(i);  // a zero-width segment gives the index, not ye
    const long double a = ye - ys;
    const long double b = xe - xs;
    const long double c = i - xs;
    const long double q = a / b;
    const long double p = q * c;
    const long double s = p + static_cast<long double>(ys);
    // s lies within a few units in the last place of [min(ys, ye), max(ys, ye)],
    // so truncation toward zero keeps it within 0 to 127.
    return static_cast<std::uint8_t>(static_cast<int>(s));
}

namespace {

// Writes entries xs to xe; a segment that starts right of its end writes nothing.
void WriteSegment(TTransferTable& table, int xs, int ys, int xe, int ye)
{
    for (int i = xs; i <= xe; ++i)
        table[static_cast<std::size_t>(i)] = TransferSegmentValue(xs, ys, xe, ye, i);
}

}  // namespace

TTransferTable BuildTransferTable(const CurvePoints& given)
{
    const CurvePoints points = ClampCurvePoints(given);
    TTransferTable table{};
    if (points.Count == 0) {
        std::iota(table.begin(), table.end(), std::uint8_t{0});
        return table;
    }
    // Segment k starts one step right of point k - 1, at that point's Out value;
    // later segments overwrite earlier ones where decreasing In values overlap.
    WriteSegment(table, 0, 0, points.In[0], points.Out[0]);
    for (int k = 2; k <= points.Count; ++k)
        WriteSegment(table, points.In[k - 2] + 1, points.Out[k - 2], points.In[k - 1], points.Out[k - 1]);
    const int last = points.Count - 1;
    WriteSegment(table, points.In[last] + 1, points.Out[last], MaxPointValue, points.Out[EndPoint - 1]);
    return table;
}

bool CheckCurveValid(const CurvePoints& given)
{
    const CurvePoints points = ClampCurvePoints(given);
    for (int k = 2; k <= points.Count; ++k) {
        if (points.In[k - 1] < points.In[k - 2])
            return false;
    }
    return true;
}
