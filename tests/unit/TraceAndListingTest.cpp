#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <string>

#include "TempDirectory.h"
#include "driver/Listing.h"
#include "driver/Options.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "rfc/Rfc.h"

namespace {

// The notice for the whole trace file, read by the trace rules.
std::string Notice() {
    FixedText<1023> message("Error 1014: RFC-Failure raised !");
    TraceText text;
    FILE *file = OpenFile("Dev_Rfc.Trc", "rb");
    if (file != nullptr) ReadTraceFrom(file, text);
    CloseFile(file);
    text.Append(message);
    return message.c_str();
}

void AppendToTrace(const TempDirectory &dir, const std::string &lines) {
    std::ofstream(dir.path() / "Dev_Rfc.Trc", std::ios::app | std::ios::binary) << lines;
}

// A step's notice quotes only what the trace file received during the step.
TEST(TraceNotice, OnlyWhatThisRunsStepsAppended) {
    TempDirectory dir;
    auto notice = [] {
        FixedText<255> message("Error 1011: x");
        AppendTraceNotice(message);
        return std::string(message.c_str());
    };
    BeginSystemTrace();
    dir.Write("Dev_Rfc.Trc", "**** ERROR x\nERROR       other system's logon\n");
    { RfcStep step("RfcOpen"); } // the step wrote nothing
    EXPECT_EQ(notice(), "Error 1011: x - Look for Trace-File");
    {
        RfcStep step("RfcOpen");
        EXPECT_TRUE(step.Locked());
        AppendToTrace(dir, "**** ERROR y\nERROR       partner not reached\n");
    }
    EXPECT_EQ(notice(), "Error 1011: x - partner not reached");
    // The next system starts afresh.
    BeginSystemTrace();
    EXPECT_EQ(notice(), "Error 1011: x - Look for Trace-File");
    // A file that shrank during a step cannot be told apart: nothing is quoted.
    {
        RfcStep step("RFC_SYSTEM_INFO");
        dir.Write("Dev_Rfc.Trc", "x\n");
    }
    EXPECT_EQ(notice(), "Error 1011: x - Look for Trace-File");
    // Lines without a text: the step wrote, but says nothing.
    {
        RfcStep step("RFC_SYSTEM_INFO");
        AppendToTrace(dir, "**** ERROR z\n");
    }
    EXPECT_EQ(notice(), "Error 1011: x - Please Check Trace-File !");
}

// Another process holds the working directory's lock: the step waits its bounded time, goes on
// without it, and what the trace file received meanwhile is not quoted (it may be the other's).
TEST(TraceNotice, AStepThatCannotHaveTheLockGoesOnAndQuotesNothing) {
    TempDirectory dir;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        char byte = AcquireDirectoryLock(1000) ? 'y' : 'n';
        if (write(ready[1], &byte, 1) != 1) _exit(1);
        SleepMilliseconds(3000);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    ConfigureRfcSteps(100);
    BeginSystemTrace();
    {
        RfcStep step("RfcOpen");
        EXPECT_FALSE(step.Locked());
        AppendToTrace(dir, "**** ERROR y\nERROR       whose text is this?\n");
    }
    EXPECT_TRUE(RfcStepMissedLock());
    FixedText<255> message("Error 1011: x");
    AppendTraceNotice(message);
    EXPECT_STREQ(message.c_str(), "Error 1011: x - Look for Trace-File");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ConfigureRfcSteps(5000);
    // The lock of a process that ended is free again.
    EXPECT_TRUE(AcquireDirectoryLock(1000));
    ReleaseDirectoryLock();
}

// A process whose step runs without the directory lock (a PARALLEL child), driven over pipes:
// 'b' begins its marked step, 'e' ends it, 'q' ends the process.
class MarkedSibling {
  public:
    MarkedSibling() {
        if (pipe(orders_) != 0 || pipe(done_) != 0) return;
        pid_ = fork();
        if (pid_ != 0) return;
        TraceStepMark mark;
        char order = 0;
        while (read(orders_[0], &order, 1) == 1 && order != 'q') {
            AcquireDirectoryLock(1000);
            if (order == 'b') BeginTraceStepMark(mark, true);
            if (order == 'e') EndTraceStepMark(mark);
            ReleaseDirectoryLock();
            if (write(done_[1], &order, 1) != 1) _exit(1);
        }
        _exit(0);
    }
    ~MarkedSibling() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    bool Order(char order) {
        char answer = 0;
        return write(orders_[1], &order, 1) == 1 && read(done_[0], &answer, 1) == 1 && answer == order;
    }
    // Dies at once, its mark still taken: the kernel drops the mark with the process.
    void Die() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

  private:
    int orders_[2] = {-1, -1};
    int done_[2] = {-1, -1};
    pid_t pid_ = -1;
};

std::string StepNotice(const TempDirectory &dir, const char *appended, const std::function<void()> &during = {}) {
    BeginSystemTrace();
    {
        RfcStep step("RfcOpen");
        AppendToTrace(dir, appended);
        if (during) during();
    }
    FixedText<255> message("Error 1011: x");
    AppendTraceNotice(message);
    return message.c_str();
}

// Steps that overlap a step of another process quote nothing: what the trace file received may be
// the other's. The file stays while such a step is under way.
TEST(TraceNotice, StepsOverlappingAnotherProcesssUnlockedStepQuoteNothing) {
    TempDirectory dir;
    MarkedSibling sibling;
    const char *block = "**** ERROR y\nERROR       partner not reached\n";
    // Alone, a step quotes what it appended.
    EXPECT_EQ(StepNotice(dir, block), "Error 1011: x - partner not reached");
    EXPECT_FALSE(OtherTraceStepsUnderWay());
    // The sibling's step is under way when this one begins.
    ASSERT_TRUE(sibling.Order('b'));
    EXPECT_TRUE(OtherTraceStepsUnderWay());
    EXPECT_EQ(StepNotice(dir, block), "Error 1011: x - Look for Trace-File");
    // A run that succeeds leaves the file to the sibling, whose library may be writing to it.
    RemoveTraceFile();
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Dev_Rfc.Trc"));
    ASSERT_TRUE(sibling.Order('e'));
    EXPECT_EQ(StepNotice(dir, block), "Error 1011: x - partner not reached");
    RemoveTraceFile();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Dev_Rfc.Trc"));

    // A sibling's step that begins and ends within this one (the lock is free during the call) is
    // found by the count of marked steps.
    EXPECT_EQ(StepNotice(dir, block), "Error 1011: x - partner not reached");
    EXPECT_EQ(StepNotice(dir, block, [&] {
                  ASSERT_TRUE(sibling.Order('b'));
                  ASSERT_TRUE(sibling.Order('e'));
              }),
              "Error 1011: x - Look for Trace-File");
    // A sibling that dies within its step drops its mark: later steps are alone again.
    ASSERT_TRUE(sibling.Order('b'));
    EXPECT_EQ(StepNotice(dir, block), "Error 1011: x - Look for Trace-File");
    sibling.Die();
    EXPECT_EQ(StepNotice(dir, block), "Error 1011: x - partner not reached");
    EXPECT_FALSE(OtherTraceStepsUnderWay());
}

TEST(TraceNotice, MissingEmptyAndTextlessTraceFiles) {
    TempDirectory dir;
    EXPECT_EQ(Notice(), "Error 1014: RFC-Failure raised ! - Look for Trace-File");
    dir.Write("Dev_Rfc.Trc", ""); // nothing written
    EXPECT_EQ(Notice(), "Error 1014: RFC-Failure raised ! - Look for Trace-File");
    dir.Write("Dev_Rfc.Trc", "written, but no error text\n");
    EXPECT_EQ(Notice(), "Error 1014: RFC-Failure raised ! - Please Check Trace-File !");
    // The last block has a header and no text: earlier texts do not count.
    dir.Write("Dev_Rfc.Trc", "**** ERROR file opened at 20261208 101010\nERROR       first\n"
                             "**** ERROR file opened at 20261208 101011\n");
    EXPECT_EQ(Notice(), "Error 1014: RFC-Failure raised ! - Please Check Trace-File !");
}

TEST(TraceNotice, LastErrorTextWins) {
    TempDirectory dir;
    dir.Write("Dev_Rfc.Trc", "**** ERROR file opened at 20261208 101010\r\nERROR       first\r\n"
                             "**** ERROR file opened at 20261208 101011\r\nERROR       second text\r\n");
    EXPECT_EQ(Notice(), "Error 1014: RFC-Failure raised ! - second text");
    dir.Write("Dev_Rfc.Trc",
              "**** ERROR file opened\nERROR       partner not reached\nXXXXXXX======> detail text\n");
    EXPECT_EQ(Notice(), "Error 1014: RFC-Failure raised ! - detail text");
    // An "ERROR " line of at most 12 characters empties the kept text.
    dir.Write("Dev_Rfc.Trc", "**** ERROR x\nERROR       text\nERROR      \n");
    EXPECT_EQ(Notice(), "Error 1014: RFC-Failure raised ! - Please Check Trace-File !");
}

TEST(TraceNotice, LongLinesAreTakenInPieces) {
    TempDirectory dir;
    // 99 characters per piece: the text of a long line ends at its first piece unless a later piece
    // itself looks like an error line.
    std::string text(150, 't');
    dir.Write("Dev_Rfc.Trc", "**** ERROR x\nERROR       " + text + "\n");
    EXPECT_EQ(Notice(), "Error 1014: RFC-Failure raised ! - " + std::string(99 - 12, 't'));
}

TEST(Listing, EntriesUpToEachHash) {
    FixedText<2047> listing("PRD.P00##QAS.P00#DEV.P00");
    FixedText<2047> entry;
    size_t next = 0;
    ASSERT_TRUE(TakeListingEntry(listing, next, entry));
    EXPECT_STREQ(entry.c_str(), "PRD.P00");
    ASSERT_TRUE(TakeListingEntry(listing, next, entry));
    EXPECT_STREQ(entry.c_str(), ""); // a listing that starts with "#" yields an empty name
    ASSERT_TRUE(TakeListingEntry(listing, next, entry));
    EXPECT_STREQ(entry.c_str(), "QAS.P00");
    ASSERT_TRUE(TakeListingEntry(listing, next, entry));
    EXPECT_STREQ(entry.c_str(), "DEV.P00"); // the unterminated last entry counts as well
    EXPECT_FALSE(TakeListingEntry(listing, next, entry));
}

TEST(Listing, AFullListingIsCutAtItsLastCompleteEntryAndCountsTheRest) {
    FixedText<20> listing;
    ListingFill fill;
    AppendToListing(listing, "PRD.P00#QAS.P00#", fill);
    EXPECT_FALSE(fill.full);
    AppendToListing(listing, "DEV.P00#TST.P00#", fill);
    EXPECT_TRUE(fill.full);
    EXPECT_STREQ(listing.c_str(), "PRD.P00#QAS.P00#");
    EXPECT_EQ(fill.entriesLeftOut, 2u);
    AppendToListing(listing, "X#", fill); // nothing more after the cut, so entries keep their order
    EXPECT_STREQ(listing.c_str(), "PRD.P00#QAS.P00#");
    EXPECT_EQ(fill.entriesLeftOut, 3u);

    FixedText<20> partly;
    ListingFill partlyFill;
    AppendToListing(partly, "PRD.P00#", partlyFill);
    AppendToListing(partly, "QAS.P00#DEV.P00#", partlyFill); // QAS fits, DEV does not
    EXPECT_STREQ(partly.c_str(), "PRD.P00#QAS.P00#");
    EXPECT_EQ(partlyFill.entriesLeftOut, 1u);
}

TEST(ItemName, UpToBlankOrCommaWithColonsAsBlanks) {
    FixedText<90> item;
    TakeItemName(item, "Psapsr3,megabyte");
    EXPECT_STREQ(item.c_str(), "Psapsr3");
    TakeItemName(item, "A:B rest");
    EXPECT_STREQ(item.c_str(), "A B");
    std::string longName(200, 'I');
    TakeItemName(item, longName.c_str());
    EXPECT_EQ(item.size(), 90u);
}

TEST(ShownOptions, CutAtHashAndAt) {
    FixedText<127> shown;
    struct {
        const char *given, *shown;
    } cases[] = {{"(Parameters #", "(No Parameters)"}, {"", "(No Parameters)"}, {"(No @", "(No Parameters)"},
                 {"megabyte #", "megabyte "},          {"a@b#c", "a"},          {"$ gigabyte", "$ gigabyte"}};
    for (const auto &c : cases) {
        FixedText<127> given(c.given);
        ShownOptions(shown, given);
        EXPECT_STREQ(shown.c_str(), c.shown) << c.given;
    }
}

TEST(TextLines, CrLfAndLfReadAlikeAndLongLinesComeInPieces) {
    TempDirectory dir;
    dir.Write("lines", "one\r\ntwo\nthree\rfour\r\n" + std::string(12, 'x') + "\n");
    FILE *file = OpenFile("lines", "rb");
    FixedText<10> line;
    const char *expected[] = {"one\n", "two\n", "three\rfour", "\n", "xxxxxxxxxx", "xx\n"};
    for (const char *want : expected) {
        ASSERT_TRUE(ReadTextLine(file, line, 10));
        EXPECT_STREQ(line.c_str(), want);
    }
    EXPECT_FALSE(ReadTextLine(file, line, 10));
    CloseFile(file);
}

TEST(FileNames, WindowsNamesOnThisPlatform) {
    FixedText<255> native;
    NativeFileName(native, "C:\\PRTG_Path.Txt");
#if defined(_WIN32)
    EXPECT_STREQ(native.c_str(), "C:\\PRTG_Path.Txt");
#else
    EXPECT_STREQ(native.c_str(), "/PRTG_Path.Txt");
    NativeFileName(native, "\\Program Files\\PRTG Network Monitor\\x.P00");
    EXPECT_STREQ(native.c_str(), "/Program Files/PRTG Network Monitor/x.P00");
    NativeFileName(native, "d:Tools\\x");
    EXPECT_STREQ(native.c_str(), "/Tools/x");
    NativeFileName(native, "sub\\PRD.P00");
    EXPECT_STREQ(native.c_str(), "sub/PRD.P00");
#endif
    TempDirectory dir;
    EXPECT_EQ(OpenFile("", "rb"), nullptr);
    EXPECT_EQ(OpenFile(".", "rb"), nullptr); // a directory is not a file
}

} // namespace
