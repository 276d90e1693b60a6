// The space evaluation: the tablespace table of DB_ORA_CURRENT_SIZES turned into the space summary
// and one channel per tablespace (in item mode only the item's channel), written through the
// sensor document as it goes. The first pass over the rows works out everything the text and the
// warning need (filters, offline tablespaces, autoextend sums, channels the guard leaves out), as
// they stand in the document before the channels.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"
#include "rfc/Rfc.h"
#include "space/Limits.h"

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
    SpaceOptions keywords;            // LIMITS, TOTAL, AUTOEXTEND, ONLY=, SKIP= (none: as always)
};

// What happened: the call outcome, the exception text of outcomes 2 and 3, and in item mode
// whether the item's row was among the rows.
struct SpaceResult {
    int32_t outcome = RFC_OK;
    FixedText<kExceptionTextCapacity> exceptionText;
    bool itemFound = false;
};

// Fetches and evaluates the tablespace table on the open connection. On success the summary and
// the channels are written out and the end of the document is left in the document buffer (not in
// item mode); on a failed call nothing is written.
void EvaluateSpaceFigures(RFC_HANDLE handle, const SpaceRequest &request, SpaceResult &result);
