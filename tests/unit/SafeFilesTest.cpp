// Files handled safely: only regular files are read, and never with a wait; the event log is never
// written through a link; a read error (or a file that goes on beyond what a reader takes) is an
// error, never a shorter file; the trace file is read from its end.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "TempDirectory.h"
#include "driver/Listing.h"
#include "driver/Password.h"
#include "driver/Profile.h"
#include "output/Console.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"

namespace {

// A stream that hands out `good` bytes of text and then fails with EIO, as a disk or a network
// share does in the middle of a file.
FILE *FailingStream(const std::string &good) {
    struct State {
        std::string text;
        size_t at = 0;
    };
    cookie_io_functions_t functions{};
    functions.read = [](void *cookie, char *buffer, size_t size) -> ssize_t {
        State *state = static_cast<State *>(cookie);
        if (state->at >= state->text.size()) {
            errno = EIO;
            return -1;
        }
        size_t count = std::min(size, state->text.size() - state->at);
        std::memcpy(buffer, state->text.data() + state->at, count);
        state->at += count;
        return static_cast<ssize_t>(count);
    };
    functions.close = [](void *cookie) -> int {
        delete static_cast<State *>(cookie);
        return 0;
    };
    return fopencookie(new State{good}, "r", functions);
}

std::string StandardProfile() {
    return "Extcompany.: ACME\nDestination: PRD\nClient.....: 100\nUser.......: MONITOR\n"
           "Language...: E\nMode.......: R/3\nHostname...: sapprd\nSysnr......: 00\nGwhost.....: sapprd\n"
           "Gwservice..: sapgw00\n";
}

TEST(SafeFiles, OnlyRegularFilesOpenForReading) {
    TempDirectory dir;
    dir.Write("PRD.P00", StandardProfile());
    ASSERT_EQ(mkfifo("FIFO.P00", 0600), 0);
    std::filesystem::create_symlink("/dev/zero", "ZERO.P00");
    std::filesystem::create_symlink("/dev/urandom", "RANDOM.P00");
    std::filesystem::create_symlink("PRD.P00", "LINKED.P00");
    std::filesystem::create_directory("DIR.P00");

    // A FIFO without a writer: refused at once, where fopen would wait for a writer for ever.
    EXPECT_EQ(OpenFile("FIFO.P00", "rb"), nullptr);
    EXPECT_EQ(OpenFile("ZERO.P00", "rb"), nullptr);
    EXPECT_EQ(OpenFile("RANDOM.P00", "rb"), nullptr);
    EXPECT_EQ(OpenFile("DIR.P00", "rb"), nullptr);
    FixedText<31> fifo("FIFO.P00");
    EXPECT_FALSE(FileExists(fifo));
    // A link to a regular file is that file.
    FILE *linked = OpenFile("LINKED.P00", "rb");
    ASSERT_NE(linked, nullptr);
    ConnectionFields fields;
    EXPECT_EQ(ReadProfile(linked, fields, kProfileLineSingleRun, true), ProfileFault::None);
    EXPECT_STREQ(fields.hostname.c_str(), "sapprd");
    CloseFile(linked);

    // Located as a profile: "missing", as if it were not there.
    ProfileLocation location;
    ResolveProfileName("ZERO", location);
    FixedText<255> error;
    EXPECT_EQ(LocateProfile(location, false, error), nullptr);
    EXPECT_STREQ(error.c_str(), "Error 1002: Profile ZERO.P00 is missing...");
}

TEST(SafeFiles, EventLogNeverThroughALink) {
    TempDirectory dir;
    dir.Write("outside.txt", "");
    std::filesystem::create_symlink("outside.txt", "Marrowind.Log");
    EXPECT_EQ(OpenAppendFile("Marrowind.Log"), nullptr);
    ConfigureEventLog(true);
    LogEvent(0, "program started", "x");
    ConfigureEventLog(false);
    EXPECT_EQ(std::filesystem::file_size("outside.txt"), 0u);

    // A regular file (or none) is appended to.
    std::filesystem::remove("Marrowind.Log");
    FILE *log = OpenAppendFile("Marrowind.Log");
    ASSERT_NE(log, nullptr);
    fputs("line\n", log);
    CloseFile(log);
    log = OpenAppendFile("Marrowind.Log");
    ASSERT_NE(log, nullptr);
    fputs("more\n", log);
    CloseFile(log);
    EXPECT_EQ(std::filesystem::file_size("Marrowind.Log"), 10u);
    ASSERT_EQ(mkfifo("fifo.log", 0600), 0);
    EXPECT_EQ(OpenAppendFile("fifo.log"), nullptr);
}

TEST(SafeFiles, PiecesTellWhereTheirLineEnds) {
    TempDirectory dir;
    dir.Write("lines", std::string("abcdef\r\nwxyz\nab\0cdefg\nxy", 24));
    FILE *file = OpenFile("lines", "rb");
    ReadBudget budget;
    FixedText<9> piece;
    std::string pieces;
    bool lineEnded = false;
    while (ReadTextLine(file, piece, 4, budget, lineEnded) == LineRead::Line)
        pieces += std::string("[") + piece.c_str() + (lineEnded ? "]" : ">");
    CloseFile(file);
    // A line of exactly four characters leaves its line feed to a piece of its own; a zero byte
    // ends its piece's text, not the line; the last line ends with the file.
    EXPECT_EQ("[abcd>[ef\n][wxyz>[\n][ab>[defg>[\n][xy]", pieces);
}

TEST(SafeFiles, OpenFailuresOfAFileThereAreNoAbsence) {
    TempDirectory dir;
    std::filesystem::create_directory("DIR.P00");
    EXPECT_EQ(OpenFile("NONE.P00", "rb"), nullptr);
    EXPECT_EQ(ClassifyOpenFailure(errno), OpenFailure::Missing);
    EXPECT_EQ(OpenFile("DIR.P00", "rb"), nullptr);
    EXPECT_EQ(ClassifyOpenFailure(errno), OpenFailure::Missing); // no regular file counts as missing
    EXPECT_EQ(ClassifyOpenFailure(EACCES), OpenFailure::Unreadable);
    EXPECT_EQ(ClassifyOpenFailure(EMFILE), OpenFailure::Unreadable);
    EXPECT_EQ(ClassifyOpenFailure(EIO), OpenFailure::Unreadable);
    // A write-only kernel file refuses reading even to root: the real EACCES.
    std::filesystem::create_symlink("/proc/sys/vm/drop_caches", "S1.P00");
    errno = 0;
    if (OpenFile("S1.P00", "rb") == nullptr && errno == EACCES) {
        ProfileLocation location;
        ResolveProfileName("S1", location);
        FixedText<255> error;
        EXPECT_EQ(LocateProfile(location, true, error), nullptr);
        EXPECT_STREQ("Error 1034: Profile S1.P00 cannot be read !", error.c_str());
        FixedText<255> cause;
        UnopenableProfileText(cause, "S1.P00", EACCES);
        EXPECT_EQ("Error 1034: Profile S1.P00 cannot be read ! - " + std::string(strerror(EACCES)), cause.c_str());
    }
}

TEST(SafeFiles, ReadErrorIsToldFromTheEnd) {
    FixedText<99> line;
    ReadBudget budget;
    FILE *stream = FailingStream("Hostname...: sa");
    EXPECT_EQ(ReadTextLine(stream, line, 99, budget), LineRead::Failed);
    fclose(stream);
    stream = FailingStream("one\ntwo\n");
    EXPECT_EQ(ReadTextLine(stream, line, 99, budget), LineRead::Line);
    EXPECT_STREQ(line.c_str(), "one\n");
    EXPECT_EQ(ReadTextLine(stream, line, 99, budget), LineRead::Line);
    EXPECT_EQ(ReadTextLine(stream, line, 99, budget), LineRead::Failed);
    fclose(stream);
}

TEST(SafeFiles, ReadingStopsAtTheBudget) {
    TempDirectory dir;
    dir.Write("exact", std::string(100, 'x'));
    dir.Write("longer", std::string(101, 'x'));
    FixedText<199> line;
    FILE *file = OpenFile("exact", "rb");
    ReadBudget budget;
    budget.left = 100;
    EXPECT_EQ(ReadTextLine(file, line, 199, budget), LineRead::Line);
    EXPECT_EQ(ReadTextLine(file, line, 199, budget), LineRead::End);
    CloseFile(file);
    file = OpenFile("longer", "rb");
    budget.left = 100;
    EXPECT_EQ(ReadTextLine(file, line, 199, budget), LineRead::Failed);
    CloseFile(file);
    // CR LF counts two bytes.
    dir.Write("crlf", "ab\r\ncd\r\n");
    file = OpenFile("crlf", "rb");
    budget.left = 8;
    EXPECT_EQ(ReadTextLine(file, line, 199, budget), LineRead::Line);
    EXPECT_EQ(ReadTextLine(file, line, 199, budget), LineRead::Line);
    EXPECT_EQ(ReadTextLine(file, line, 199, budget), LineRead::End);
    EXPECT_EQ(budget.left, 0);
    CloseFile(file);
}

TEST(SafeFiles, ProfileCutByAReadErrorIsAnError) {
    // The read error hits in the middle of the host name: "sa" must never be used.
    std::string profile = StandardProfile();
    FILE *stream = FailingStream(profile.substr(0, profile.find("sapprd") + 2));
    ConnectionFields fields;
    EXPECT_EQ(ReadProfile(stream, fields, kProfileLineSingleRun, true), ProfileFault::Unreadable);
    fclose(stream);
    EXPECT_TRUE(fields.hostname.empty());
    EXPECT_TRUE(fields.destination.empty()); // nothing read before the error is kept either
    FixedText<255> text;
    ProfileFaultText(text, ProfileFault::Unreadable, "PRD.P00");
    EXPECT_STREQ(text.c_str(), "Error 1034: Profile PRD.P00 cannot be read !");

    // The system loop's reading: the same.
    stream = FailingStream(profile.substr(0, 40));
    ConnectionFields loop;
    loop.hostname.Assign("previous");
    EXPECT_EQ(ReadProfile(stream, loop, kProfileLineSystemLoop, false), ProfileFault::Unreadable);
    fclose(stream);
    EXPECT_TRUE(loop.hostname.empty());
}

TEST(SafeFiles, ProfileBeyondAnyProfilesSizeIsAnError) {
    TempDirectory dir;
    dir.Write("HUGE.P00", StandardProfile() + std::string(kMaxTextFileBytes, '*'));
    FILE *file = OpenFile("HUGE.P00", "rb");
    ConnectionFields fields;
    EXPECT_EQ(ReadProfile(file, fields, kProfileLineSingleRun, true), ProfileFault::Unreadable);
    CloseFile(file);
}

// A regular file whose reading fails: /proc/self/mem reads EIO at offset 0.
std::string ErrorOfListingReadFailing(const char *name, const char *sensor) {
    ProfileLocation location;
    location.name.Assign(name);
    location.path.Assign("/proc/self/mem");
    Options options;
    options.itemName.Assign("PSAPSR3");
    options.sensorName.Assign(sensor);
    static ItemListing listing;
    FixedText<255> error;
    FILE *file = nullptr;
    EXPECT_FALSE(PrepareListing(file, location, options, "diskspace", listing, error));
    return error.c_str();
}

TEST(SafeFiles, ListingCutByAReadErrorIsAnError) {
    FILE *memory = OpenFile("/proc/self/mem", "rb");
    if (memory == nullptr) GTEST_SKIP() << "no /proc/self/mem to read";
    CloseFile(memory);
    EXPECT_EQ(ErrorOfListingReadFailing("Quorvane.Prf", "X         "), "Error 1034: Profile Quorvane.Prf cannot be read !");
    EXPECT_EQ(ErrorOfListingReadFailing("SAP Quorvane.Gbl", "DISKSPACE "),
              "Error 1034: Profile SAP Quorvane.Gbl cannot be read !");
}

// What a step appended to the trace file, as this run's text.
std::string StepNotice(const TempDirectory &dir, const std::string &before, const std::string &appended) {
    dir.Write("Dev_Rfc.Trc", before);
    BeginSystemTrace();
    {
        RfcStep step("RfcOpen");
        std::ofstream(dir.path() / "Dev_Rfc.Trc", std::ios::app | std::ios::binary) << appended;
    }
    FixedText<255> message;
    AppendTraceNotice(message);
    return message.c_str();
}

TEST(SafeFiles, TraceFileReadFromItsEnd) {
    TempDirectory dir;
    // This run appended 200 KiB: its last error text stands at the end and is found.
    std::string older = "**** ERROR x\nERROR       older text\n";
    std::string filler;
    while (filler.size() < 200 * 1024)
        filler += "**** ERROR filler\nERROR       filler text\n";
    EXPECT_EQ(StepNotice(dir, older, filler + "**** ERROR y\nERROR       the last text\n"), " - the last text");
    // Only the last 64 KiB are read: an error text earlier than that is not seen.
    std::string plain;
    while (plain.size() < 100 * 1024)
        plain += "plain trace line\n";
    EXPECT_EQ(StepNotice(dir, older, "**** ERROR y\nERROR       early text\n" + plain),
              " - Please Check Trace-File !");
    // A FIFO named like the trace file is no trace file.
    std::filesystem::remove("Dev_Rfc.Trc");
    ASSERT_EQ(mkfifo("Dev_Rfc.Trc", 0600), 0);
    BeginSystemTrace();
    { RfcStep step("RfcOpen"); }
    FixedText<255> message;
    AppendTraceNotice(message);
    EXPECT_STREQ(message.c_str(), " - Look for Trace-File");
}

} // namespace
