#include "space/Forecast.h"

#include <cerrno>
#include <cinttypes>

#include "platform/DirectoryLock.h"
#include "platform/Platform.h"
#include "platform/Process.h"

namespace {

// How long the forecast waits for the working directory's lock, as an RFC step does.
constexpr uint32_t kHistoryLockWaitMs = 5000;

// The store of the run: one system's history at a time.
HistoryStore &RunHistory() {
    static HistoryStore store;
    return store;
}

// Reads the history file as it stands; an unreadable one counts as such, a missing one as none.
HistoryState LoadHistory(const TextBase &fileName, const TextBase &systemLine, HistoryStore &store) {
    store.Clear();
    errno = 0;
    FILE *file = OpenFile(fileName, "rb");
    if (file == nullptr) return errno == ENOENT ? HistoryState::Missing : HistoryState::Unreadable;
    HistoryState state = ReadHistory(file, systemLine, store);
    CloseFile(file);
    return state;
}

// Writes the store through a temporary file renamed over the history.
bool SaveHistory(const TextBase &fileName, const TextBase &systemLine, const HistoryStore &store) {
    FixedText<127> temporary;
    temporary.Format("%s.%" PRIu32 ".tmp", fileName.c_str(), CurrentProcessId());
    if (temporary.truncated()) return false;
    FILE *file = OpenFile(temporary, "wb");
    if (file == nullptr) return false;
    bool written = WriteHistory(file, systemLine, store);
    written = fflush(file) == 0 && written;
    CloseFile(file);
    if (written && MoveFileOver(temporary.c_str(), fileName.c_str())) return true;
    RemoveFile(temporary.c_str());
    return false;
}

const char *RestartNote(HistoryState state) {
    switch (state) {
    case HistoryState::Damaged:
        return " - history damaged, started afresh";
    case HistoryState::Foreign:
        return " - history of another system, started afresh";
    case HistoryState::Unreadable:
        return " - history unreadable, started afresh";
    case HistoryState::Missing:
    case HistoryState::Read:
        break;
    }
    return "";
}

} // namespace

TablespaceTrend ComputeTrend(const HistoryStore &store, uint32_t tablespace, int64_t usedNowKb,
                             int64_t reachKb) {
    TablespaceTrend trend;
    // Hours and kilobytes relative to the first sample keep the sums small.
    int32_t firstHour = 0;
    int64_t firstUsed = 0;
    double sumT = 0, sumU = 0, sumTT = 0, sumTU = 0;
    for (uint32_t i = 0; i < store.entryCount; ++i) {
        const HistoryEntry &entry = store.entries[i];
        if (entry.tablespace != tablespace) continue;
        if (trend.samples == 0) {
            firstHour = entry.hour;
            firstUsed = entry.usedKb;
        }
        ++trend.samples;
        trend.spanHours = entry.hour - firstHour;
        double t = entry.hour - firstHour;
        double u = static_cast<double>(entry.usedKb) - static_cast<double>(firstUsed);
        sumT += t;
        sumU += u;
        sumTT += t * t;
        sumTU += t * u;
    }
    if (trend.samples < kTrendMinimumSamples || trend.spanHours < kTrendMinimumHours) return trend;
    double n = trend.samples;
    double perHour = (n * sumTU - sumT * sumU) / (n * sumTT - sumT * sumT);
    double perDay = perHour * 24;
    trend.kind = TrendKind::NotGrowing;
    // Less than a kilobyte a day is no growth that ever fills anything.
    if (!(perDay >= 1)) return trend;
    trend.kind = TrendKind::Growing;
    double room = static_cast<double>(reachKb) - static_cast<double>(usedNowKb);
    if (room <= 0) {
        trend.days = 0;
        return trend;
    }
    double days = room / perDay;
    trend.days = days >= static_cast<double>(kNeverFullDays) ? kNeverFullDays : static_cast<int64_t>(days);
    return trend;
}

void RunForecast(const ForecastRequest &request, ForecastOutcome &outcome) {
    outcome.days = kNeverFullDays;
    outcome.tablespace.Clear();
    outcome.note.Assign("- Days until full: ");
    int32_t now = 0;
    if (!HoursSinceEpoch(request.date, request.time, now)) {
        outcome.note.Append("none, the system sent no valid date and time");
        return;
    }
    FixedText<127> systemLine;
    FixedText<100> fileName;
    HistorySystemLine(systemLine, request.systemId, request.host);
    HistoryFileName(fileName, request.systemId, request.host);

    HistoryStore &store = RunHistory();
    // Read, add and write under the lock: sensors of the same system side by side never lose or
    // mix samples.
    bool locked = AcquireDirectoryLock(kHistoryLockWaitMs);
    HistoryState state = LoadHistory(fileName, systemLine, store);
    DropStaleEntries(store, now);
    for (uint32_t i = 0; i < request.rowCount; ++i)
        AddHistorySample(store, now, request.rows[i].name.c_str(), request.rows[i].usedKb);
    bool written = locked && SaveHistory(fileName, systemLine, store);
    if (locked) ReleaseDirectoryLock();

    TablespaceTrend best; // of the tablespaces without a trend, the one with the most history
    bool anyJudged = false;
    for (uint32_t i = 0; i < request.rowCount; ++i) {
        const ForecastRow &row = request.rows[i];
        uint32_t index = store.Find(row.name.c_str());
        if (index >= kHistoryTablespaceCapacity) continue;
        TablespaceTrend trend = ComputeTrend(store, index, row.usedKb, row.reachKb);
        if (trend.kind != TrendKind::TooLittleHistory) anyJudged = true;
        if (trend.kind == TrendKind::Growing && (outcome.tablespace.empty() || trend.days < outcome.days)) {
            outcome.days = trend.days;
            outcome.tablespace.Assign(row.name);
        }
        if (trend.samples > best.samples ||
            (trend.samples == best.samples && trend.spanHours > best.spanHours))
            best = trend;
    }
    if (!outcome.tablespace.empty()) {
        outcome.note.AppendFormat("%" PRId64 " (%s)", outcome.days, outcome.tablespace.c_str());
    } else if (anyJudged) {
        outcome.note.Append("none, usage flat or shrinking");
    } else {
        outcome.note.AppendFormat("none yet, too little history (%" PRIu32 " sample%s over %" PRId32
                                  " h; %" PRIu32 " over %" PRId32 " h needed)",
                                  best.samples, best.samples == 1 ? "" : "s", best.spanHours,
                                  kTrendMinimumSamples, kTrendMinimumHours);
    }
    outcome.note.Append(RestartNote(state));
    if (!written) outcome.note.Append(" - history not written");
}
