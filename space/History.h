// The history of used space that FORECAST keeps between runs: per SAP system (system ID and host)
// one small text file in the working directory, "Marrowind-<SID>-<host>.hst", with at most one
// sample per tablespace and hour for 35 days. The time is the SAP system's own (the date and time
// DB_ORA_CURRENT_SIZES answers), so a probe with a wrong clock does not distort the trend.
//
// The file:
//     SAP Marrowind history 1
//     System PRD sapprd01
//     2026120815 2343441531 PSAPSR3
//     ...
// one line per tablespace and hour: the hour as YYYYMMDDHH, the used kilobytes, the name; lines in
// the order of their hours. Anything else makes the whole file damaged: it is started afresh.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/FixedText.h"

constexpr int32_t kHistoryHours = 35 * 24;
// 35 days of hourly samples for 78 tablespaces; beyond it the oldest hours go first.
constexpr uint32_t kHistoryEntryCapacity = 65536;
constexpr uint32_t kHistoryTablespaceCapacity = 512;
constexpr size_t kHistoryNameCapacity = 30;
// A file of kHistoryEntryCapacity lines of the longest form is less than this.
constexpr int64_t kHistoryFileBytes = int64_t{4} << 20;

// Hours since 1970-01-01 00:00 of a date "YYYYMMDD" and a time "HHMMSS" (8 and 6 characters, not
// terminated); false when they are no valid date and time (a year before 1970 included).
bool HoursSinceEpoch(const char *date, const char *time, int32_t &hours);
// "YYYYMMDDHH" of such an hour.
void AppendHourStamp(TextBase &text, int32_t hours);

struct HistoryEntry {
    int32_t hour;
    uint16_t tablespace; // index into the store's names
    int64_t usedKb;
};

// One system's history in memory: every entry in the order of its hours. Large (about 1 MiB):
// keep it in static storage.
struct HistoryStore {
    FixedText<kHistoryNameCapacity> names[kHistoryTablespaceCapacity];
    uint32_t nameCount = 0;
    HistoryEntry entries[kHistoryEntryCapacity];
    uint32_t entryCount = 0;

    void Clear() {
        nameCount = 0;
        entryCount = 0;
    }
    // The index of a name; kHistoryTablespaceCapacity when it is not there.
    uint32_t Find(const char *name) const;
};

enum class HistoryState {
    Missing,    // no file yet
    Read,       // read whole
    Damaged,    // not in the form above, or beyond the capacity: started afresh
    Foreign,    // another system's (or another program's) file: started afresh
    Unreadable, // there but cannot be read: started afresh
};

// The system as the history names it: "PRD sapprd01".
void HistorySystemLine(TextBase &line, const char *systemId, const char *host);
// "Marrowind-PRD-sapprd01.hst": every character but letters, digits, '-' and '_' as '_'.
void HistoryFileName(TextBase &name, const char *systemId, const char *host);

// Reads a history file into the store (empty unless Read).
HistoryState ReadHistory(FILE *file, const TextBase &systemLine, HistoryStore &store);

// Whether a name can be kept (1 to 30 characters, none of them a control character).
bool StorableTablespaceName(const char *name);

// Samples up to this many hours after the system's time stay (a sensor beside this one may have
// written the next hour's); later ones come from a clock that was set back, and go.
constexpr int32_t kHistoryLeadHours = 24;

// Drops entries 35 days or more before `now`, and those more than a day after it.
void DropStaleEntries(HistoryStore &store, int32_t now);

// Adds a tablespace's sample of hour `now` in hour order, unless it has one for that hour already;
// the oldest hours make room when the store is full. False when it cannot be kept.
bool AddHistorySample(HistoryStore &store, int32_t now, const char *name, int64_t usedKb);

// Writes the file's text.
bool WriteHistory(FILE *file, const TextBase &systemLine, const HistoryStore &store);
