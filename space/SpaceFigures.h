// The space evaluation: the tablespace table of DB_ORA_CURRENT_SIZES turned into the space summary
// and one channel per tablespace (in item mode only the item's channel).
//
// Reads from the run state: item mode, the item name, the item channel name, the option text
// ("MEGABYTE", "GIGABYTE") and the destination. Writes: the run status, the item-found marker.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"
#include "rfc/RfcLibrary.h"

// Layout of a TABLE_XPC row.
constexpr size_t kTableXpcRowLength = 112;
constexpr size_t kTsOffset = 0;
constexpr size_t kTsLength = 30;
constexpr size_t kTsizeOffset = 61;
constexpr size_t kTfreeOffset = 69;
constexpr size_t kPackedSizeLength = 8;
constexpr size_t kTpctusedOffset = 80;

// Kilobytes of a packed size field: its signed decimal text read as a number.
int64_t PackedKilobytes(const uint8_t *field);

// The usage in percent as the summary shows it: 100 - free / (size / 100), both divisions
// truncating; 0 when size / 100 is 0.
int64_t UsagePercent(int64_t totalSize, int64_t totalFree);

// Appends the space summary line for the figures.
void AppendSpaceSummary(TextBase &text, const char *destination, uint32_t rowCount, int64_t totalSize,
                        int64_t totalFree);

// Fetches and evaluates the tablespace table on the open connection; returns the call outcome.
int32_t EvaluateSpaceFigures(RFC_HANDLE handle);
