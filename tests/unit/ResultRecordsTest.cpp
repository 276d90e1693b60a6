// The result records a child of PARALLEL=n writes and the sensor reads back: any bytes survive,
// and a record cut short (a child ended while writing) is not taken as whole.
#include <gtest/gtest.h>

#include "TempDirectory.h"
#include "platform/Children.h"
#include "platform/Platform.h"

TEST(ResultRecords, AnyTextReadsBackInOrder) {
    TempDirectory dir;
    ASSERT_TRUE(OpenResultRecords("result.res"));
    WriteResultRecord('O', "\n* 12:00:00 PRD.P00 State=Processed\n");
    WriteResultRecord('C', "12:34 name");
    WriteResultRecord('c', "");
    WriteResultRecord('E', "Error 1018: DataBase mismatch !\nO5:xxxxx");
    CloseResultRecords();

    FILE *file = OpenFile("result.res", "rb");
    ASSERT_NE(file, nullptr);
    FixedText<255> text;
    char tag = 0;
    ASSERT_TRUE(ReadResultRecord(file, tag, text));
    EXPECT_EQ(tag, 'O');
    EXPECT_STREQ(text.c_str(), "\n* 12:00:00 PRD.P00 State=Processed\n");
    ASSERT_TRUE(ReadResultRecord(file, tag, text));
    EXPECT_EQ(tag, 'C');
    EXPECT_STREQ(text.c_str(), "12:34 name");
    ASSERT_TRUE(ReadResultRecord(file, tag, text));
    EXPECT_EQ(tag, 'c');
    EXPECT_TRUE(text.empty());
    ASSERT_TRUE(ReadResultRecord(file, tag, text));
    EXPECT_EQ(tag, 'E');
    EXPECT_STREQ(text.c_str(), "Error 1018: DataBase mismatch !\nO5:xxxxx");
    EXPECT_FALSE(ReadResultRecord(file, tag, text));
    CloseFile(file);
}

TEST(ResultRecords, CutRecordIsNotTaken) {
    TempDirectory dir;
    dir.Write("cut.res", "N1:P\nD0:\nE30:Error 1018");
    FILE *file = OpenFile("cut.res", "rb");
    ASSERT_NE(file, nullptr);
    FixedText<255> text;
    char tag = 0;
    ASSERT_TRUE(ReadResultRecord(file, tag, text));
    EXPECT_EQ(tag, 'N');
    ASSERT_TRUE(ReadResultRecord(file, tag, text));
    EXPECT_EQ(tag, 'D');
    EXPECT_FALSE(ReadResultRecord(file, tag, text));
    CloseFile(file);
}
