#include <gtest/gtest.h>

#include <string>

#include "platform/FixedText.h"

namespace {

// Appending to a FixedText behaves like std::string cut to the capacity, and says when it cut.
TEST(FixedText, AppendsLikeAStringCutToItsCapacity) {
    const char *pieces[] = {"abc", "", "defgh", "ijklmnopqrstuvwxyz", "0123456789"};
    for (size_t split = 0; split < 5; ++split) {
        FixedText<12> text;
        std::string reference;
        for (size_t i = 0; i < 5; ++i) {
            if (i == split) {
                text.AppendChar('*');
                reference += '*';
            }
            text.Append(pieces[i]);
            reference += pieces[i];
        }
        EXPECT_EQ(text.c_str(), reference.substr(0, 12));
        EXPECT_EQ(text.size(), 12u);
        EXPECT_TRUE(text.truncated());
    }
}

TEST(FixedText, FittingTextIsNotMarkedTruncated) {
    FixedText<6> text("abc");
    text.Append("def");
    EXPECT_STREQ(text.c_str(), "abcdef");
    EXPECT_FALSE(text.truncated());
    text.AppendChar('g');
    EXPECT_STREQ(text.c_str(), "abcdef");
    EXPECT_TRUE(text.truncated());
    text.Assign("x");
    EXPECT_FALSE(text.truncated());
}

TEST(FixedText, FormattedAppendIsCutAndTerminated) {
    FixedText<10> text("id=");
    text.AppendFormat("%d/%s", 12345, "abcdefgh");
    EXPECT_STREQ(text.c_str(), "id=12345/a");
    EXPECT_EQ(text.size(), 10u);
    EXPECT_TRUE(text.truncated());

    FixedText<10> exact;
    exact.Format("%05u", 42u);
    EXPECT_STREQ(exact.c_str(), "00042");
    EXPECT_FALSE(exact.truncated());
}

TEST(FixedText, HugeInputNeverPassesTheEnd) {
    std::string huge(10000, 'x');
    FixedText<127> text;
    text.Assign(huge.c_str());
    text.AppendFormat("%s", huge.c_str());
    text.AppendRepeated(' ', 500);
    EXPECT_EQ(text.size(), 127u);
    EXPECT_EQ(std::string(text.c_str()), std::string(127, 'x'));
    EXPECT_TRUE(text.truncated());
}

TEST(FixedText, TruncationTravelsWithACopiedText) {
    FixedText<3> small("abcdef");
    FixedText<20> large;
    large.Assign(small);
    EXPECT_STREQ(large.c_str(), "abc");
    EXPECT_TRUE(large.truncated());
}

TEST(FixedText, EditingOperations) {
    FixedText<40> text("(Parameters #abc@def");
    text.CutAt("#");
    EXPECT_STREQ(text.c_str(), "(Parameters ");
    text.CutAt("@"); // absent: no change
    EXPECT_STREQ(text.c_str(), "(Parameters ");

    text.Assign("a:b:c");
    text.Replace(':', ' ');
    EXPECT_STREQ(text.c_str(), "a b c");
    text.ToUpper();
    EXPECT_STREQ(text.c_str(), "A B C");

    text.Assign("line\r\n");
    text.StripLineEnd(); // the carriage return is looked for first (text lines never hold CR LF)
    EXPECT_STREQ(text.c_str(), "line\r");
    text.Assign("line\n\r");
    text.StripLineEnd(); // a carriage return first, then a line feed: both go
    EXPECT_STREQ(text.c_str(), "line");
    text.Assign("line\n\n\r");
    text.StripLineEnd(); // one of each at most
    EXPECT_STREQ(text.c_str(), "line\n");

    text.Assign("PSAPSR3   ");
    text.StripTrailingBlanks();
    EXPECT_STREQ(text.c_str(), "PSAPSR3");
    text.Assign("          ");
    text.StripTrailingBlanks();
    EXPECT_STREQ(text.c_str(), "");

    text.Assign("ITEM=x,ITEM=y");
    EXPECT_EQ(text.Find("ITEM="), 0u);
    EXPECT_EQ(text.Find("ITEM=", 1), 7u);
    EXPECT_EQ(text.Find("none"), TextBase::npos);
    EXPECT_EQ(text[100], '\0');
}

TEST(FixedText, WipeClearsEveryByte) {
    FixedText<8> secret("password");
    const char *storage = secret.c_str();
    secret.Wipe();
    for (size_t i = 0; i <= 8; ++i)
        EXPECT_EQ(storage[i], '\0');
    EXPECT_TRUE(secret.empty());
}

TEST(DecimalValue, ReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(DecimalValue("00"), 0);
    EXPECT_EQ(DecimalValue("5"), 5);
    EXPECT_EQ(DecimalValue("  -12x"), -12);
    EXPECT_EQ(DecimalValue("+000000000012345"), 12345);
    EXPECT_EQ(DecimalValue("X"), 0);
    EXPECT_EQ(DecimalValue(""), 0);
    EXPECT_EQ(DecimalValue("123456", 3), 123);
    EXPECT_GT(DecimalValue("99999999999999999999999999"), 0);
}

} // namespace
