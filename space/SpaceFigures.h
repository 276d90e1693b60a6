// The space evaluation: the tablespace table of DB_ORA_CURRENT_SIZES turned into the space summary
// and one channel per tablespace (in item mode only the item's channel), written through the
// sensor document as it goes. The first pass over the rows works out everything the text and the
// warning need (filters, offline tablespaces, autoextend sums, channels the guard leaves out), as
// they stand in the document before the channels.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"
#include "rfc/Rfc.h"
#include "space/Forecast.h"
#include "space/Limits.h"
#include "space/WideSum.h"

// Layout of a TABLE_XPC row.
constexpr size_t kTsOffset = 0;
constexpr size_t kTsLength = 30;
constexpr size_t kTsizeOffset = 61;
constexpr size_t kTfreeOffset = 69;
constexpr size_t kPackedSizeLength = 8;
constexpr size_t kTpctusedOffset = 80;
constexpr size_t kStatusOffset = 52;
constexpr size_t kStatusLength = 9;
constexpr size_t kTsauOffset = 92;
constexpr size_t kTsauLength = 14;
constexpr size_t kTsaupctOffset = 108;

// Kilobytes of a packed size field: its signed decimal text read as a number.
int64_t PackedKilobytes(const uint8_t *field);

// Kilobytes of TSAU, the size the tablespace may grow to: its decimal text (leading blanks and a
// sign allowed) read as a number; 0 when it holds none.
int64_t AutoextendKilobytes(const uint8_t *field);

// The usage in percent as the summary shows it: 100 - free / (size / 100), both divisions
// truncating; 0 when size / 100 is 0; held to the 64-bit range where the totals are extreme.
int64_t UsagePercent(int64_t totalSize, int64_t totalFree);

// Appends the space summary line for the figures: the totals and the used space, each the exact
// sum over the rows held to the 64-bit range (without `used`: size - free, held likewise). The
// count note follows the row count (" of 25" when filters left rows out of the figures).
void AppendSpaceSummary(TextBase &text, const char *destination, uint32_t rowCount, int64_t totalSize,
                        int64_t totalFree);
void AppendSpaceSummary(TextBase &text, const char *destination, uint32_t rowCount, int64_t totalSize,
                        int64_t totalFree, int64_t used, const char *countNote = "");

// What one evaluation is asked for.
struct SpaceRequest {
    const char *destination = ""; // shown in the summary
    SizeUnit unit = SizeUnit::Percent;
    bool itemMode = false;            // only the item's row, under the item channel name
    const char *itemName = "";        // compared with the tablespace names, in any letter case
    const char *itemChannelName = ""; // the channel name of the item's row
    SpaceOptions keywords;            // LIMITS, TOTAL, AUTOEXTEND, ONLY=, SKIP=, ... (none: as always)
    // The system as FORECAST's history names it: its system ID and host.
    const char *systemId = "";
    const char *host = "";
    // How many channels the document may hold (the driver's channel guard); 0: no guard. Channels
    // past it are left out and the summary says how many.
    int32_t channelRoom = 0;
};

// The first pass over the rows: all rows, and the figures of the rows the filters keep.
struct SpaceTally {
    uint32_t rowCount = 0;
    uint32_t keptCount = 0;
    // Exact sums, shown held to 64 bits: thousands of 15-digit rows outgrow a 64-bit sum.
    WideSum totalSize;
    WideSum totalFree;
    WideSum totalMaximum;
    int64_t Size() const { return totalSize.Held(); }
    int64_t Free() const { return totalFree.Held(); }
    int64_t Maximum() const { return totalMaximum.Held(); }
    int64_t Used() const {
        WideSum used = totalSize;
        used.Subtract(totalFree);
        return used.Held();
    }
    uint32_t offlineCount = 0;
    uint32_t offlineNotNamed = 0; // offline tablespaces beyond what the text names
    FixedText<159> offlineNames;  // ", "-separated
    // MAX: the highest usage of the tablespaces with levels, the first of them on a tie.
    bool fullestFound = false;
    int64_t fullestPercent = 0;
    FixedText<kTsLength> fullestName;
    // FORECAST: how many tablespaces it covers, and the outcome over their history.
    uint32_t forecastRows = 0;
    ForecastOutcome forecast;
};

// What one evaluation found, as data: the call outcome (and the exception text of outcomes 2 and
// 3), or the library operation that failed, which ends the run; on success the summary text (not in
// item mode), whether the item's row is there, and the channels, taken one by one with
// NextSpaceChannel in the order of the rows (Fullest, Total and Days until full first). The
// channels are built from the rows the library holds, so a table of any length needs no room of the
// sensor's.
struct SpaceReport {
    int32_t outcome = RFC_OK;
    FixedText<kExceptionTextCapacity> exceptionText;
    const char *libraryFailure = nullptr; // "ItGetLine TS" ...: the run ends with the library's report
    bool itemFound = false;
    FixedText<511> summary;
    int64_t leftOut = 0; // channels past the guard's room
    // Where NextSpaceChannel stands.
    SpaceRequest request;
    SpaceTally tally;
    ITAB_H table = nullptr;
    unsigned nextRow = 1;
    bool fullestPending = false; // MAX, FORECAST and TOTAL come before the tablespaces
    bool totalPending = false;
    bool daysPending = false;
    bool guardWarning = false;
};

// Free kilobytes as a channel value: whole megabytes, or gigabytes with three decimals (a PRTG
// float: the value text "72.477").
void AppendFreeValue(TextBase &value, int64_t freeKb, SizeUnit unit);

// Fetches the tablespace table on the open connection and makes its first pass: the outcome, the
// summary and what the channels need. The table stays with the report until CloseSpaceReport.
void EvaluateSpaceFigures(RFC_HANDLE handle, const SpaceRequest &request, SpaceReport &report);
// The next channel of the report; false when there is none left, or when the library cannot hand
// out the next row (libraryFailure is then set).
bool NextSpaceChannel(SpaceReport &report, ChannelReport &channel);
// Gives the table back to the library; a failure sets libraryFailure.
void CloseSpaceReport(SpaceReport &report);
