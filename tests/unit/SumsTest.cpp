// Sums over the tablespace rows that cannot overflow: exact in 128 bits, shown held to 64 bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "space/SpaceFigures.h"
#include "space/WideSum.h"

namespace {

constexpr int64_t kLargestSize = 999999999999999; // 15 digits, the packed field's largest

TEST(Sums, ThousandsOfLargestSizesAreHeldAtTheLargestFigure) {
    WideSum sum;
    for (int i = 0; i < 9300; ++i)
        sum.Add(kLargestSize);
    EXPECT_EQ(sum.Held(), INT64_MAX);
    WideSum negative;
    for (int i = 0; i < 9300; ++i)
        negative.Add(-kLargestSize);
    EXPECT_EQ(negative.Held(), INT64_MIN);
}

TEST(Sums, ExactWhereARunningSumWouldHaveStopped) {
    // Up beyond the range and back: a sum held at every step would end 9300 * largest too low.
    WideSum sum;
    for (int i = 0; i < 18600; ++i)
        sum.Add(kLargestSize);
    for (int i = 0; i < 18599; ++i)
        sum.Add(-kLargestSize);
    EXPECT_EQ(sum.Held(), kLargestSize);
    sum.Add(INT64_MIN);
    sum.Add(INT64_MIN);
    EXPECT_EQ(sum.Held(), INT64_MIN);
}

TEST(Sums, UsedSpaceIsTheExactDifference) {
    WideSum size;
    WideSum free;
    for (int i = 0; i < 9300; ++i) {
        size.Add(kLargestSize);
        free.Add(250000000000000);
    }
    WideSum used = size;
    used.Subtract(free);
    EXPECT_EQ(size.Held(), INT64_MAX);
    EXPECT_EQ(free.Held(), 2325000000000000000);
    EXPECT_EQ(used.Held(), 6974999999999990700);
    WideSum nothing;
    nothing.Subtract(size);
    EXPECT_EQ(nothing.Held(), INT64_MIN);
}

TEST(Sums, HalvesCarryBothWays) {
    WideSum sum;
    sum.Add(-1);
    EXPECT_EQ(sum.Held(), -1);
    sum.Add(1);
    EXPECT_EQ(sum.Held(), 0);
    sum.Add(INT64_MAX);
    sum.Add(1);
    EXPECT_EQ(sum.Held(), INT64_MAX); // 2^63 lies beyond
    sum.Add(-1);
    EXPECT_EQ(sum.Held(), INT64_MAX);
    sum.Add(INT64_MIN);
    EXPECT_EQ(sum.Held(), -1);
}

TEST(Sums, SaturatingArithmetic) {
    EXPECT_EQ(SaturatingAdd(INT64_MAX, 1), INT64_MAX);
    EXPECT_EQ(SaturatingAdd(INT64_MIN, -1), INT64_MIN);
    EXPECT_EQ(SaturatingAdd(5, -7), -2);
    EXPECT_EQ(SaturatingSubtract(INT64_MIN, 1), INT64_MIN);
    EXPECT_EQ(SaturatingSubtract(0, INT64_MIN), INT64_MAX);
    EXPECT_EQ(SaturatingSubtract(100, 7), 93);
}

TEST(Sums, UsageOfExtremeTotalsNeverOverflows) {
    EXPECT_EQ(UsagePercent(INT64_MAX, 2325000000000000000), 75);
    EXPECT_EQ(UsagePercent(100, INT64_MIN), INT64_MAX);  // 100 - INT64_MIN / 1
    EXPECT_EQ(UsagePercent(100, INT64_MAX), 100 - INT64_MAX);
    EXPECT_EQ(UsagePercent(-100, INT64_MIN), 100 + INT64_MIN); // the quotient INT64_MIN / -1
    EXPECT_EQ(UsagePercent(-150, INT64_MAX), INT64_MAX);
    EXPECT_EQ(UsagePercent(INT64_MIN, INT64_MIN), 0);
}

TEST(Sums, SummaryOfHeldFigures) {
    FixedText<255> text;
    AppendSpaceSummary(text, "PRD", 9300, INT64_MAX, 2325000000000000000, 6974999999999990700);
    EXPECT_STREQ(text.c_str(), "(PRD) OraSizes: NoSpc=9.300, DataSz=9223372036.854.775 MB, "
                               "UsedSz=6974999999.999.990 MB, Usage=75% ");
    text.Clear();
    // Without the exact used space, size - free is held as well.
    AppendSpaceSummary(text, "N", 1, INT64_MIN, INT64_MAX);
    EXPECT_STREQ(text.c_str(), "(N) OraSizes: NoSpc=1, DataSz=-9223372036.854.775 MB, "
                               "UsedSz=-9223372036.854.775 MB, Usage=200% ");
}

} // namespace
