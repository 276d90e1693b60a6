// The sensor's RFC access: opening the connection, the two function-module calls with their
// structure descriptions, the system information reader and the failure reports. Every operation
// takes what it needs as parameters and returns what happened; none decides how the run ends,
// except the library's failure handler, which the library itself calls.
#pragma once

#include <cstdint>
#include <cstdio>

#include "output/Document.h"
#include "platform/FixedText.h"
#include "platform/DirectoryLock.h"
#include "platform/Process.h"
#include "rfc/RfcBinding.h"
#include "rfc/RfcLibrary.h"

// The connection values of a profile.
struct ConnectionFields {
    FixedText<63> extcompany;
    FixedText<11> destination;
    FixedText<11> client;
    FixedText<47> user;
    FixedText<40> password; // SAP's passwords hold up to 40 characters
    FixedText<31> language;
    FixedText<31> mode;
    FixedText<47> hostname;
    FixedText<47> shownHost; // the host shown in the system line
    FixedText<31> sysnr;
    FixedText<61> gwhost;
    FixedText<31> gwservice;
};

// ",HOST=" and ",NO=" of the options: the host name and system number used instead of the
// profile's (an empty host is a null host; an empty system number keeps the previous one).
struct ConnectionOverrides {
    bool host = false;
    FixedText<47> hostname;
    bool sysnr = false;
    FixedText<31> sysnrText;
};

// The records handed to the library and the copies they point into; the caller keeps them for
// the whole run, so the library may hold on to the pointers.
struct RfcOpenRecords {
    RFC_OPTIONS options{};
    RFC_CONNOPT_GATEWAY gateway{};
    RFC_CONNOPT_SERVER server{};
    ConnectionFields copies;
};

// Fills the open records from the fields and overrides: user and password padded with blanks to
// 12 and 10, empty host and gateway texts as null pointers, the system number written only when
// its text is not empty (otherwise the previous connection's stays).
void FillOpenRecords(const ConnectionFields &fields, const ConnectionOverrides &overrides, RfcOpenRecords &records);

// "CLIENT=.. USER=.. PASSWD=.. LANG=D DEST=..": user and password as the profile gives them.
void BuildConnectString(TextBase &connect, const ConnectionFields &fields);

// Whether the open goes through the destination file "SapRfc." + destination.
bool UsesDestinationFile(const ConnectionFields &fields);

// Opens the connection: through "SapRfc." + destination copied to "SapRfc.ini" and RfcOpenEx when
// that file exists, otherwise through RfcOpen. 0: no connection.
// When the destination file cannot be copied, no open is tried and `failure` says why.
RFC_HANDLE OpenRfcConnection(const ConnectionFields &fields, const ConnectionOverrides &overrides,
                             RfcOpenRecords &records, TextBase &failure);

// The error text of trace lines, by the trace rules: a "**** ERROR " line starts a new block, an
// "ERROR " line's text is behind column 12, a line with "======> " at column 8 gives the text
// behind it; the last text of the last block counts.
struct TraceText {
    bool written = false; // any line at all
    FixedText<99> kept;
    void Feed(const TextBase &line);
    // " - " and the text; " - Please Check Trace-File !" when lines came but no text;
    // " - Look for Trace-File" when no line came.
    void Append(TextBase &message) const;
};
// Feeds the lines from the file's position to its end, in pieces of 99 characters.
void ReadTraceFrom(FILE *trace, TraceText &text);

// One call into the RFC library that may append to "Dev_Rfc.Trc". Under the working directory's
// lock (waiting at most the configured time) it takes the trace file's length and marks the step
// for the other processes; the lock is free while the library runs; after the call, under the lock
// again, what the call appended is read as this run's when no other process's step overlapped it,
// and otherwise the error says " - Look for Trace-File".
class RfcStep {
  public:
    explicit RfcStep(const char *name);
    ~RfcStep();
    RfcStep(const RfcStep &) = delete;
    RfcStep &operator=(const RfcStep &) = delete;
    // Whether the step had the lock for its start.
    bool Locked() const { return locked_; }

  private:
    bool locked_ = false;
    int64_t before_ = 0;
    TraceStepMark mark_;
};

// The working directory's lock for bookkeeping between steps (the destination copy), held while the
// object lives; Held() is false when it could not be had in the configured time.
class DirectoryBookkeeping {
  public:
    DirectoryBookkeeping();
    ~DirectoryBookkeeping();
    DirectoryBookkeeping(const DirectoryBookkeeping &) = delete;
    DirectoryBookkeeping &operator=(const DirectoryBookkeeping &) = delete;
    bool Held() const { return held_; }

  private:
    bool held_ = false;
};

// How long a step waits for the working directory's lock before it goes on without it.
void ConfigureRfcSteps(uint32_t lockWaitMs);
// Whether a step went on without the lock (its trace text then counts as unknown).
bool RfcStepMissedLock();
// The library call under way ("RfcOpen", "RFC_SYSTEM_INFO", ...), "" between calls; any thread.
const char *CurrentRfcStep();

// Forgets the trace text of earlier systems: each system's errors quote only its own steps.
void BeginSystemTrace();

// Appends the notice of the current system's trace text (see TraceText::Append).
void AppendTraceNotice(TextBase &message);

// Deletes "Dev_Rfc.Trc" after a successful run (a file only), under the directory lock.
void RemoveTraceFile();

// What the library's last error says of a failed operation.
void ReadLibraryFailure(const char *operation, LibraryFailureReport &failure);
// How the run ends after a failure inside the library; it must not return.
using LibraryFailureEnd = void (*)(const LibraryFailureReport &failure);
void SetLibraryFailureEnd(LibraryFailureEnd end);
// The library's error handler (it cannot return into the library): reads the last error and hands
// it to the end that was set.
[[noreturn]] void RFC_CALL RfcFailureHandler(const char *operation);

constexpr size_t kExceptionTextCapacity = 255;

// RFC_SYSTEM_INFO; the RFCSI record is 200 bytes.
struct SystemInfoAnswer {
    int32_t currentResources = 0;
    char dialogUserType[1] = {};
    int32_t maximalResources = 0;
    int32_t recommendedDelay = 0;
    uint8_t rfcsi[200] = {};
    char loginComplete[1] = {};
    const char *libraryFailure = nullptr; // a library operation failed: the run ends with its report
};
int CallSystemInfo(RFC_HANDLE handle, SystemInfoAnswer &answer, TextBase &exceptionText);

// DB_ORA_CURRENT_SIZES; the rows of TS (TABLE_XPC, 112 bytes) go to the caller's internal table.
struct CurrentSizesAnswer {
    char currentDate[8] = {};
    char currentTime[6] = {};
    uint8_t dateTime[14] = {};
    const char *libraryFailure = nullptr; // a library operation failed: the run ends with its report
};
int CallCurrentSizes(RFC_HANDLE handle, CurrentSizesAnswer &answer, ITAB_H table, TextBase &exceptionText);

// The message of a call outcome other than 0: "Error 1012: Exception.: " and the exception text,
// "Error 1013", "Error 1014" or "Error 1015".
void AppendOutcomeMessage(TextBase &message, int outcome, const TextBase &exceptionText);

// What RFC_SYSTEM_INFO told: on outcome 0 the database system (RFCDBSYS), the system's host
// (RFCHOST) and its system ID (RFCSYSID, without trailing blanks); otherwise the exception text for
// outcomes 2 and 3.
struct SystemInfo {
    int outcome = RFC_OK;
    const char *libraryFailure = nullptr; // a library operation failed: the run ends with its report
    FixedText<kExceptionTextCapacity> exceptionText;
    FixedText<10> databaseSystem;
    FixedText<8> host;
    FixedText<8> systemId;
};
void ReadSystemInfo(RFC_HANDLE handle, SystemInfo &info);
