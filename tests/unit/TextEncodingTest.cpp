// Text files as editors write them: no mark, a UTF-8 mark, UTF-16 in either byte order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempDirectory.h"
#include "platform/Platform.h"

namespace {

using Pieces = std::vector<std::string>;

Pieces ReadPieces(const TempDirectory &dir, const std::string &bytes, size_t maxChars) {
    dir.Write("text.txt", bytes);
    FILE *file = OpenFile("text.txt", "rb");
    EXPECT_NE(file, nullptr);
    Pieces pieces;
    FixedText<64> line;
    while (ReadTextLine(file, line, maxChars))
        pieces.push_back(line.c_str());
    CloseFile(file);
    return pieces;
}

// UTF-16 with its mark; every character of text is one code unit, units may be given as \u escapes.
std::string Utf16(const std::u16string &text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

std::u16string Widened(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(TextEncoding, WithoutAMarkEveryByteReadsAsItIs) {
    TempDirectory dir;
    EXPECT_EQ(ReadPieces(dir,
                         "A\xE4"
                         "B\r\nC\n",
                         64),
              (Pieces{"A\xE4"
                      "B\n",
                      "C\n"}));
    // Beginnings of a mark that do not complete one are text.
    EXPECT_EQ(ReadPieces(dir, "\xEF\xBBX\n", 64), (Pieces{"\xEF\xBBX\n"}));
    EXPECT_EQ(ReadPieces(dir,
                         "\xFF"
                         "A\n",
                         64),
              (Pieces{"\xFF"
                      "A\n"}));
    EXPECT_EQ(ReadPieces(dir, "\xFE", 64), (Pieces{"\xFE"}));
    EXPECT_EQ(ReadPieces(dir, "", 64), (Pieces{}));
}

TEST(TextEncoding, Utf8MarkIsSkippedAndABinaryReadKeepsIt) {
    TempDirectory dir;
    EXPECT_EQ(ReadPieces(dir, "\xEF\xBB\xBFUser.......: x\r\nNext\n", 64),
              (Pieces{"User.......: x\n", "Next\n"}));
    EXPECT_EQ(ReadPieces(dir, "\xEF\xBB\xBF", 64), (Pieces{}));

    FILE *file = OpenFile("text.txt", "rb");
    ASSERT_NE(file, nullptr);
    char bytes[4] = {};
    EXPECT_EQ(fread(bytes, 1, sizeof bytes, file), 3u);
    EXPECT_EQ(std::string(bytes, 3), "\xEF\xBB\xBF");
    CloseFile(file);
}

TEST(TextEncoding, Utf16InBothByteOrdersReadsAsTheAsciiItHolds) {
    TempDirectory dir;
    for (bool bigEndian : {false, true}) {
        // U+00E4 and U+0143 are no ASCII; U+0143 holds the byte of "C", U+4100 the byte of "A".
        std::u16string text = u"Client.....: 100\r\n\u00E4\u0143lient\u4100\r\n\r\nlast";
        EXPECT_EQ(ReadPieces(dir, Utf16(text, bigEndian), 64),
                  (Pieces{"Client.....: 100\n", "??lient?\n", "\n", "last"}))
            << bigEndian;
        // A zero unit ends the text of its piece, as a zero byte does.
        EXPECT_EQ(ReadPieces(dir, Utf16(std::u16string(u"ab") + u'\0' + u"cd\nef", bigEndian), 64),
                  (Pieces{"ab", "ef"}));
        // Half a code unit at the end is no character.
        EXPECT_EQ(ReadPieces(dir, Utf16(u"A\n", bigEndian) + "B", 64), (Pieces{"A\n"}));
        EXPECT_EQ(ReadPieces(dir, Utf16(u"A", bigEndian) + "B", 64), (Pieces{"A"}));
        EXPECT_EQ(ReadPieces(dir, Utf16(u"", bigEndian), 64), (Pieces{}));
    }
}

TEST(TextEncoding, Utf16PiecesAndLineEndsMatchTheAsciiFile) {
    TempDirectory dir;
    const char *texts[] = {"ABCDEFG\r\nH",   "ABC\r\nD",     "A\rB\r\r\nC\r",  "\r\n\r\n",
                           "one\ntwo\r\n\n", "x\r\r\r\ny\n", "longer line\r\n"};
    for (const char *text : texts) {
        for (size_t maxChars = 1; maxChars <= 8; ++maxChars) {
            Pieces ascii = ReadPieces(dir, text, maxChars);
            EXPECT_EQ(ReadPieces(dir, Utf16(Widened(text), false), maxChars), ascii)
                << text << " " << maxChars;
            EXPECT_EQ(ReadPieces(dir, Utf16(Widened(text), true), maxChars), ascii)
                << text << " " << maxChars;
        }
    }
    EXPECT_EQ(ReadPieces(dir, Utf16(u"ABCDEFG\r\nH", false), 4), (Pieces{"ABCD", "EFG\n", "H"}));
}

TEST(TextEncoding, EachFileIsReadInItsOwnEncoding) {
    TempDirectory dir;
    dir.Write("wide.txt", Utf16(u"wide 1\r\nwide 2\r\n", false));
    dir.Write("plain.txt", "plain 1\nplain 2\n");
    FILE *wide = OpenFile("wide.txt", "rb");
    FILE *plain = OpenFile("plain.txt", "rb");
    ASSERT_TRUE(wide != nullptr && plain != nullptr);
    FixedText<64> line;
    ASSERT_TRUE(ReadTextLine(wide, line, 64));
    EXPECT_STREQ(line.c_str(), "wide 1\n");
    ASSERT_TRUE(ReadTextLine(plain, line, 64));
    EXPECT_STREQ(line.c_str(), "plain 1\n");
    ASSERT_TRUE(ReadTextLine(wide, line, 64));
    EXPECT_STREQ(line.c_str(), "wide 2\n");
    CloseFile(plain);
    // A file closed elsewhere without CloseFile leaves its entry; a file opened later at the same
    // address is still read by its own content.
    fclose(wide);
    FILE *again = OpenFile("plain.txt", "rb");
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(ReadTextLine(again, line, 64));
    EXPECT_STREQ(line.c_str(), "plain 1\n");
    CloseFile(again);
    again = OpenFile("wide.txt", "rb");
    ASSERT_TRUE(ReadTextLine(again, line, 64));
    EXPECT_STREQ(line.c_str(), "wide 1\n");
    CloseFile(again);
}

// A file opened by OpenFile is read in blocks, any other stream a character at a time: both give
// the same pieces and the same end, also where a line end or a code unit meets a block's edge.
TEST(TextEncoding, BlockReadingMatchesReadingByCharacter) {
    TempDirectory dir;
    std::string text;
    for (int i = 0; text.size() < 10000; ++i)
        text += std::string(static_cast<size_t>(i * 37 % 91), static_cast<char>('a' + i % 26)) +
                (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    text[5000] = '\0';
    std::string crAtEdge = std::string(4095, 'x') + "\r\ny\n"; // CR last in the first block
    const std::string files[] = {text, "\xEF\xBB\xBF" + text, Utf16(Widened(text), false),
                                 Utf16(Widened(text), true), crAtEdge, Utf16(Widened(crAtEdge), false)};
    for (const std::string &bytes : files) {
        for (size_t maxChars : {1, 7, 64}) {
            for (int64_t budgetBytes : {int64_t{1} << 20, int64_t{4097}}) {
                std::vector<std::pair<LineRead, std::string>> read[2];
                dir.Write("text.txt", bytes);
                FILE *streams[2] = {OpenFile("text.txt", "rb"),
                                    fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb")};
                for (int i = 0; i < 2; ++i) {
                    ASSERT_NE(streams[i], nullptr);
                    ReadBudget budget;
                    budget.left = budgetBytes;
                    FixedText<64> line;
                    LineRead result;
                    do {
                        result = ReadTextLine(streams[i], line, maxChars, budget);
                        read[i].emplace_back(result, line.c_str());
                    } while (result == LineRead::Line);
                    CloseFile(streams[i]);
                }
                EXPECT_TRUE(read[0] == read[1]) << bytes.size() << " bytes, " << maxChars << ", " << budgetBytes;
                EXPECT_GT(read[0].size(), 2u);
            }
        }
    }
}

} // namespace
