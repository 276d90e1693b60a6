// FORECAST: days until a tablespace is full, from the growth of its used space in the history of
// earlier runs (space/History.h), projected to the size it may reach.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"
#include "space/History.h"

// The value of "no end in sight": never below a level, so never an alert.
constexpr int64_t kNeverFullDays = 3650;
// A trend needs this much history of a tablespace.
constexpr uint32_t kTrendMinimumSamples = 3;
constexpr int32_t kTrendMinimumHours = 24;

enum class TrendKind {
    Growing,
    NotGrowing,       // flat or shrinking
    TooLittleHistory, // under kTrendMinimumSamples samples or under kTrendMinimumHours
};

struct TablespaceTrend {
    TrendKind kind = TrendKind::TooLittleHistory;
    int64_t days = kNeverFullDays; // 0 to kNeverFullDays
    uint32_t samples = 0;
    int32_t spanHours = 0;
};

// The trend of one tablespace of the store: the least-squares growth of its samples per day, and
// the days until the used space, now usedNowKb, reaches reachKb (0 when it has).
TablespaceTrend ComputeTrend(const HistoryStore &store, uint32_t tablespace, int64_t usedNowKb,
                             int64_t reachKb);

// A tablespace the forecast covers: its name, used space and the size it may reach.
struct ForecastRow {
    FixedText<kHistoryNameCapacity> name;
    int64_t usedKb = 0;
    int64_t reachKb = 0;
};
constexpr uint32_t kForecastRowCapacity = kHistoryTablespaceCapacity;

struct ForecastRequest {
    const char *systemId = ""; // the SAP system ID, or the destination when the system names none
    const char *host = "";
    const char *date = ""; // the system's "YYYYMMDD" and "HHMMSS" (not terminated)
    const char *time = "";
    const ForecastRow *rows = nullptr;
    uint32_t rowCount = 0;
};

struct ForecastOutcome {
    int64_t days = kNeverFullDays;              // the smallest of the tablespaces'
    FixedText<kHistoryNameCapacity> tablespace; // the tablespace of that figure; empty for none
    FixedText<255>
        note; // for the summary text: "- Days until full: 12 (PSAPSR3)" and what befell the history
};

// Adds this run's sample to the system's history file (under the working directory's lock, through
// a temporary file renamed over it) and works out the forecast. Never fails the run: a history it
// cannot read or write is said in the note.
void RunForecast(const ForecastRequest &request, ForecastOutcome &outcome);
