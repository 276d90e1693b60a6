#include <gtest/gtest.h>

#include <cstdint>

#include "space/Conversions.h"
#include "space/SpaceFigures.h"

namespace {

TEST(BytesToHex, TwoUpperCaseDigitsPerByte) {
    FixedText<16> text;
    const uint8_t bytes[] = {0x0A, 0xFF};
    BytesToHex(text, bytes, 2);
    EXPECT_STREQ(text.c_str(), "0AFF");
    BytesToHex(text, bytes, 0);
    EXPECT_STREQ(text.c_str(), "");
}

TEST(PackedToText, SignedDigitsWithLeadingZeros) {
    FixedText<18> text;
    uint8_t field[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34, 0x5C};
    PackedToText(text, field, 8, 0);
    EXPECT_STREQ(text.c_str(), "+000000000012345");
    field[7] = 0x5D;
    PackedToText(text, field, 8, 0);
    EXPECT_STREQ(text.c_str(), "-000000000012345");
    field[7] = 0x5F;
    PackedToText(text, field, 8, 0);
    EXPECT_STREQ(text.c_str(), "+000000000012345");
    field[7] = 0x5A; // any sign but D is positive
    PackedToText(text, field, 8, 0);
    EXPECT_STREQ(text.c_str(), "+000000000012345");
}

TEST(PackedToText, DecimalsAndDigitNibblesAboveNine) {
    FixedText<18> text;
    const uint8_t field[3] = {0x12, 0x34, 0x5D};
    PackedToText(text, field, 3, 2);
    EXPECT_STREQ(text.c_str(), "-123.45");
    PackedToText(text, field, 3, 5);
    EXPECT_STREQ(text.c_str(), "-.12345");
    PackedToText(text, field, 3, 9); // more decimals than digits: all digits are decimals
    EXPECT_STREQ(text.c_str(), "-.12345");
    const uint8_t damaged[2] = {0x1A, 0xBC};
    PackedToText(text, damaged, 2, 0);
    EXPECT_STREQ(text.c_str(), "+1AB");
    PackedToText(text, damaged, 0, 0);
    EXPECT_STREQ(text.c_str(), "");
}

TEST(PackedToText, OutputIsCutToTheCallersBuffer) {
    FixedText<5> text;
    uint8_t field[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34, 0x5C};
    PackedToText(text, field, 8, 0);
    EXPECT_STREQ(text.c_str(), "+0000");
    EXPECT_TRUE(text.truncated());
}

TEST(GroupThousands, AtMostTwoSeparators) {
    struct {
        const char *in, *out;
    } cases[] = {{"", ""},
                 {"999", "999"},
                 {"1000", "1.000"},
                 {"123456", "123.456"},
                 {"1234567", "1.234.567"},
                 {"123456789", "123.456.789"},
                 {"4294967295", "4294.967.295"},
                 {"12345678901", "12345.678.901"},
                 {"1234567890123", "1234567.890.123"}};
    for (const auto &c : cases) {
        FixedText<24> text(c.in);
        GroupThousands(text);
        EXPECT_STREQ(text.c_str(), c.out) << c.in;
    }
}

TEST(GroupThousands, NoRoomForSeparatorsCutsAndMarks) {
    FixedText<5> text("12345");
    GroupThousands(text);
    EXPECT_STREQ(text.c_str(), "12.34");
    EXPECT_TRUE(text.truncated());
}

TEST(AppendGroupedFigure, MinusSignStaysInFrontOfTheDigits) {
    FixedText<32> text;
    AppendGroupedFigure(text, -100000);
    EXPECT_STREQ(text.c_str(), "-100.000");
    text.Clear();
    AppendGroupedFigure(text, -999);
    EXPECT_STREQ(text.c_str(), "-999");
    text.Clear();
    AppendGroupedFigure(text, 3000000000LL);
    EXPECT_STREQ(text.c_str(), "3000.000.000");
    text.Clear();
    AppendGroupedFigure(text, INT64_MIN);
    EXPECT_STREQ(text.c_str(), "-9223372036854.775.808");
}

uint8_t PackedByte(int high, int low) { return static_cast<uint8_t>(high << 4 | low); }

// Packs a value into the 8-byte size field of a tablespace row.
void Pack(uint8_t *field, int64_t value) {
    uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
    int nibbles[16];
    nibbles[15] = value < 0 ? 0xD : 0xC;
    for (int i = 14; i >= 0; --i) {
        nibbles[i] = static_cast<int>(magnitude % 10);
        magnitude /= 10;
    }
    for (int i = 0; i < 8; ++i)
        field[i] = PackedByte(nibbles[2 * i], nibbles[2 * i + 1]);
}

TEST(SpaceFigures, PackedKilobytesBeyondThirtyTwoBits) {
    uint8_t field[8];
    Pack(field, 3000000000LL);
    EXPECT_EQ(PackedKilobytes(field), 3000000000LL);
    Pack(field, -42);
    EXPECT_EQ(PackedKilobytes(field), -42);
    Pack(field, 999999999999999LL);
    EXPECT_EQ(PackedKilobytes(field), 999999999999999LL);
    field[6] = 0x1A; // a damaged digit ends the number
    field[7] = 0x0C;
    EXPECT_EQ(PackedKilobytes(field), 9999999999991LL); // digits ...9991A0: the A ends the number
}

TEST(SpaceFigures, UsageTruncatesTheFreeShareFirst) {
    EXPECT_EQ(UsagePercent(1000000, 255555), 75);
    EXPECT_EQ(UsagePercent(0, 0), 0);
    EXPECT_EQ(UsagePercent(99, 10), 0);
    EXPECT_EQ(UsagePercent(-99, 10), 0);
    EXPECT_EQ(UsagePercent(6000000000LL, 1500000000LL), 75);
}

TEST(SpaceFigures, SummaryLine) {
    FixedText<255> text;
    // 1 234 567 890 KB in all, 246 913 569 KB free: used 987 654 321 KB.
    AppendSpaceSummary(text, "PRD", 27, 1234567890, 246913569);
    EXPECT_STREQ(text.c_str(),
                 "(PRD) OraSizes: NoSpc=27, DataSz=1.234.567 MB, UsedSz=987.654 MB, Usage=80% ");
    text.Clear();
    AppendSpaceSummary(text, "QAS", 0, 0, 0);
    EXPECT_STREQ(text.c_str(), "(QAS) OraSizes: NoSpc=0, DataSz=0 MB, UsedSz=0 MB, Usage=0% ");
    text.Clear();
    AppendSpaceSummary(text, "BIG", 1234, 5000000000LL, 6000000000LL);
    EXPECT_STREQ(text.c_str(),
                 "(BIG) OraSizes: NoSpc=1.234, DataSz=5.000.000 MB, UsedSz=-1.000.000 MB, Usage=-20% ");
}

} // namespace
