#include "space/SpaceFigures.h"

#include <cinttypes>

#include "rfc/Rfc.h"
#include "rfc/Structures.h"
#include "space/Conversions.h"
#include "space/WideSum.h"

int64_t PackedKilobytes(const uint8_t *field) {
    FixedText<2 * kPackedSizeLength> text;
    PackedToText(text, field, kPackedSizeLength, 0);
    return DecimalValue(text.c_str());
}

int64_t UsagePercent(int64_t totalSize, int64_t totalFree) {
    int64_t hundredth = totalSize / 100;
    if (hundredth == 0) return 0;
    // 100 - free / -1 without the one quotient that overflows (the smallest figure by -1).
    if (hundredth == -1) return SaturatingAdd(100, totalFree);
    return SaturatingSubtract(100, totalFree / hundredth);
}

int64_t AutoextendKilobytes(const uint8_t *field) {
    return DecimalValue(reinterpret_cast<const char *>(field), kTsauLength);
}

void AppendSpaceSummary(TextBase &text, const char *destination, uint32_t rowCount, int64_t totalSize,
                        int64_t totalFree) {
    AppendSpaceSummary(text, destination, rowCount, totalSize, totalFree, SaturatingSubtract(totalSize, totalFree));
}

void AppendSpaceSummary(TextBase &text, const char *destination, uint32_t rowCount, int64_t totalSize,
                        int64_t totalFree, int64_t used, const char *countNote) {
    text.Append("(").Append(destination).Append(") OraSizes: NoSpc=");
    AppendGroupedFigure(text, rowCount);
    text.Append(countNote).Append(", DataSz=");
    AppendGroupedFigure(text, totalSize / 1000);
    text.Append(" MB, UsedSz=");
    AppendGroupedFigure(text, used / 1000);
    text.Append(" MB, Usage=");
    AppendGroupedFigure(text, UsagePercent(totalSize, totalFree));
    text.Append("% ");
}

void AppendFreeValue(TextBase &value, int64_t freeKb, SizeUnit unit) {
    if (unit != SizeUnit::Gigabyte) {
        value.AppendFormat("%" PRId64, freeKb / 1000);
        return;
    }
    // Unsigned magnitude: the smallest figure has no positive counterpart.
    uint64_t magnitude = freeKb < 0 ? 0 - static_cast<uint64_t>(freeKb) : static_cast<uint64_t>(freeKb);
    value.AppendFormat("%s%" PRIu64 ".%03" PRIu64, freeKb < 0 ? "-" : "", magnitude / 1000000,
                       magnitude % 1000000 / 1000);
}

namespace {

constexpr const char *kFetchFailed = "ItGetLine TS";

int32_t LittleEndianInt32(const uint8_t *bytes) {
    uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                     static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

// What the evaluation reads of one row.
struct RowFigures {
    FixedText<kTsLength> name;
    int64_t sizeKb = 0;
    int64_t freeKb = 0;
    int32_t pctUsed = 0;
    int64_t autoextendKb = 0;
    int32_t autoextendPct = 0;
    bool offline = false;
};

void ReadRow(const uint8_t *row, RowFigures &figures) {
    figures.name.AssignPart(reinterpret_cast<const char *>(row + kTsOffset), kTsLength);
    figures.name.StripTrailingBlanks();
    figures.sizeKb = PackedKilobytes(row + kTsizeOffset);
    figures.freeKb = PackedKilobytes(row + kTfreeOffset);
    figures.pctUsed = LittleEndianInt32(row + kTpctusedOffset);
    figures.autoextendKb = AutoextendKilobytes(row + kTsauOffset);
    figures.autoextendPct = LittleEndianInt32(row + kTsaupctOffset);
    FixedText<kStatusLength> status;
    status.AssignPart(reinterpret_cast<const char *>(row + kStatusOffset), kStatusLength);
    status.StripTrailingBlanks();
    status.ToUpper();
    figures.offline = status.Equals("OFFLINE");
}

// What a tablespace may grow to: the autoextend size where the system reports one, else its size.
int64_t MaximumKilobytes(const RowFigures &row) {
    return row.autoextendKb > 0 ? row.autoextendKb : row.sizeKb;
}

int64_t UsedKilobytes(const RowFigures &row) { return SaturatingSubtract(row.sizeKb, row.freeKb); }

// AUTOEXTEND takes a row's figures against what it may grow to, where the system reports that size.
bool Autoextends(const SpaceRequest &request, const RowFigures &row) {
    return request.keywords.autoextend && row.autoextendKb > 0;
}

// The usage in percent a channel shows of a row.
int64_t RowPercent(const SpaceRequest &request, const RowFigures &row) {
    return Autoextends(request, row) ? row.autoextendPct : row.pctUsed;
}

// Free space: TFREE, with AUTOEXTEND the room left to grow.
int64_t RowFreeKilobytes(const SpaceRequest &request, const RowFigures &row) {
    return Autoextends(request, row) ? SaturatingSubtract(row.autoextendKb, UsedKilobytes(row)) : row.freeKb;
}

// The tablespaces the forecast covers; static, as there may be hundreds, and made on first use, so
// a run without FORECAST does not touch them.
ForecastRow *ForecastRows() {
    static ForecastRow rows[kForecastRowCapacity];
    return rows;
}

bool IsItemRow(const TextBase &tablespace, const char *itemName) {
    FixedText<90> item(itemName);
    FixedText<kTsLength> name(tablespace.c_str());
    item.ToUpper();
    name.ToUpper();
    return item.Equals(name.c_str());
}

// Item mode watches its one tablespace; ONLY= and SKIP= choose among the tablespaces of a system.
bool Kept(const SpaceRequest &request, const RowFigures &row) {
    return request.itemMode ||
           KeepsTablespace(request.keywords.only, request.keywords.skip, row.name.c_str());
}

// MAX and FORECAST watch the tablespaces that carry levels: a full temporary or undo tablespace is
// normal operation.
void WatchRow(const SpaceRequest &request, const RowFigures &row, SpaceTally &tally) {
    const SpaceOptions &keywords = request.keywords;
    if (request.itemMode || !CarriesLevels(keywords, row.name.c_str())) return;
    int64_t percent = RowPercent(request, row);
    if (keywords.fullest && (!tally.fullestFound || percent > tally.fullestPercent)) {
        tally.fullestFound = true;
        tally.fullestPercent = percent;
        tally.fullestName.Assign(row.name);
    }
    if (keywords.forecast && tally.forecastRows < kForecastRowCapacity) {
        ForecastRow &forecast = ForecastRows()[tally.forecastRows++];
        forecast.name.Assign(row.name);
        forecast.usedKb = UsedKilobytes(row);
        forecast.reachKb = keywords.autoextend ? MaximumKilobytes(row) : row.sizeKb;
    }
}

void CountRow(const SpaceRequest &request, const RowFigures &row, SpaceTally &tally) {
    WatchRow(request, row, tally);
    ++tally.keptCount;
    tally.totalSize.Add(row.sizeKb);
    tally.totalFree.Add(row.freeKb);
    tally.totalMaximum.Add(MaximumKilobytes(row));
    if (!row.offline) return;
    ++tally.offlineCount;
    size_t separator = tally.offlineNames.empty() ? 0 : 2;
    if (tally.offlineNames.size() + separator + row.name.size() > tally.offlineNames.capacity()) {
        ++tally.offlineNotNamed;
        return;
    }
    if (separator > 0) tally.offlineNames.Append(", ");
    tally.offlineNames.Append(row.name);
}

// Channels past the guard's room, which the writer will hold back.
int64_t ChannelsBeyondRoom(const SpaceRequest &request, int64_t channels) {
    int32_t room = request.channelRoom;
    return room > 0 && channels > room ? channels - room : 0;
}

// What the keywords add to the summary; each addition ends in a blank, as the summary does.
void AppendSummaryNotes(TextBase &summary, const SpaceRequest &request, const SpaceTally &tally,
                        int64_t leftOut) {
    const SpaceOptions &keywords = request.keywords;
    if (keywords.fullest) {
        if (tally.fullestFound) {
            summary.Append("- Fullest: ").Append(tally.fullestName);
            summary.AppendFormat(" %" PRId64 "%% ", tally.fullestPercent);
        } else {
            summary.Append("- Fullest: none ");
        }
    }
    if (keywords.autoextend) {
        int64_t used = tally.Used();
        summary.Append("- AutoExtend: MaxSz=");
        AppendGroupedFigure(summary, tally.Maximum() / 1000);
        summary.Append(" MB, MaxUsage=");
        AppendGroupedFigure(summary, UsagePercent(tally.Maximum(), SaturatingSubtract(tally.Maximum(), used)));
        summary.Append("% ");
    }
    if (keywords.limits && tally.offlineCount > 0) {
        summary.Append("- Offline: ").Append(tally.offlineNames);
        if (tally.offlineNotNamed > 0) summary.AppendFormat(" +%" PRIu32 " more", tally.offlineNotNamed);
        summary.Append(" ");
    }
    if (keywords.forecast) summary.Append(tally.forecast.note).Append(" ");
    if (leftOut > 0) {
        AppendLeftOutNote(summary, leftOut, "use ONLY=/SKIP=");
        summary.Append(" ");
    }
}

// The channel of one row or of the total: its value and unit.
struct Channel {
    FixedText<23> value;
    FixedText<7> unit;
    bool floatValue = false;
};

// Percent, or the used kilobytes in megabytes or gigabytes; with FREE the free kilobytes.
void BuildChannel(int64_t percent, int64_t usedKb, int64_t freeKb, const SpaceRequest &request, Channel &channel) {
    // Signed, as the sizes are: a damaged row's negative share is not shown as 4294967196.
    channel.value.Format("%" PRId64, percent);
    channel.unit.Assign(request.itemMode ? "%" : "PerCent");
    if (request.unit == SizeUnit::Megabyte) {
        channel.value.Format("%" PRId64, usedKb / 1000);
        channel.unit.Assign("MByte");
    }
    if (request.unit == SizeUnit::Gigabyte) {
        channel.value.Format("%" PRId64, usedKb / 1000000);
        channel.unit.Assign("GByte");
    }
    if (request.keywords.free) {
        channel.value.Clear();
        AppendFreeValue(channel.value, freeKb, request.unit);
        channel.floatValue = request.unit == SizeUnit::Gigabyte;
    }
}

void BuildRowChannel(const RowFigures &row, const SpaceRequest &request, Channel &channel) {
    BuildChannel(RowPercent(request, row), UsedKilobytes(row), RowFreeKilobytes(request, row), request, channel);
}

// A tablespace, item or Total channel with the levels of its subject.
void BuildSizeChannel(ChannelReport &report, const char *name, const Channel &channel, const SpaceRequest &request,
                      const char *subject, bool carriesLevels, bool sensorWarning) {
    BuildSpaceChannel(report, name, channel.value.c_str(), channel.unit.c_str(), request.keywords, request.unit,
                      request.destination, subject, sensorWarning, carriesLevels);
    report.floatValue = channel.floatValue;
}

// TOTAL: the whole database as the summary has it, under the same limits as the tablespaces.
void BuildTotalChannel(const SpaceRequest &request, const SpaceTally &tally, bool sensorWarning,
                       ChannelReport &report) {
    int64_t used = tally.Used();
    int64_t percent = request.keywords.autoextend
                          ? UsagePercent(tally.Maximum(), SaturatingSubtract(tally.Maximum(), used))
                          : UsagePercent(tally.Size(), tally.Free());
    int64_t freeKb = request.keywords.autoextend ? SaturatingSubtract(tally.Maximum(), used) : tally.Free();
    Channel channel;
    BuildChannel(percent, used, freeKb, request, channel);
    BuildSizeChannel(report, "Total", channel, request, "database", true, sensorWarning);
}

// MAX: the highest usage in percent, whatever unit the other channels have.
void BuildFullestChannel(const SpaceRequest &request, const SpaceTally &tally, bool sensorWarning,
                         ChannelReport &report) {
    FixedText<23> value;
    value.Format("%" PRId64, tally.fullestPercent);
    BuildLimitedChannel(report, "Fullest", value.c_str(), "PerCent", SizePrtgUnit(request.keywords, SizeUnit::Percent),
                        FullestLevels(request.keywords, request.unit), request.destination, "fullest tablespace",
                        sensorWarning);
}

// FORECAST: the fewest days until a tablespace is full.
void BuildDaysChannel(const SpaceRequest &request, const SpaceTally &tally, bool sensorWarning,
                      ChannelReport &report) {
    FixedText<23> value;
    value.Format("%" PRId64, tally.forecast.days);
    BuildLimitedChannel(report, "Days until full", value.c_str(), "days", nullptr, DaysLevels(request.keywords),
                        request.destination, "a tablespace full in", sensorWarning);
}

// FORECAST: this run's sample into the system's history, and the days until full from it.
void Forecast(const SpaceRequest &request, const CurrentSizesAnswer &answer, SpaceTally &tally) {
    ForecastRequest forecast;
    forecast.systemId = request.systemId;
    forecast.host = request.host;
    forecast.date = answer.currentDate;
    forecast.time = answer.currentTime;
    forecast.rows = ForecastRows();
    forecast.rowCount = tally.forecastRows;
    RunForecast(forecast, tally.forecast);
}

} // namespace

void EvaluateSpaceFigures(RFC_HANDLE handle, const SpaceRequest &request, SpaceReport &report) {
    report.exceptionText.Clear();
    report.libraryFailure = nullptr;
    report.itemFound = false;
    report.summary.Clear();
    report.leftOut = 0;
    report.request = request;
    report.tally = SpaceTally();
    report.nextRow = 1;
    report.fullestPending = false;
    report.totalPending = false;
    report.daysPending = false;
    report.guardWarning = false;
    report.outcome = RFC_FAILURE;
    report.table = rfcLibrary.ItCreate("TS", rfc::kTableXpcRowLength, 0, 0);
    if (report.table == nullptr) {
        report.libraryFailure = "ItCreate TS";
        return;
    }

    CurrentSizesAnswer answer;
    report.outcome = CallCurrentSizes(handle, answer, report.table, report.exceptionText);
    if (answer.libraryFailure != nullptr) {
        report.libraryFailure = answer.libraryFailure;
        return;
    }
    // A failed call has no rows to show: the report ends here and the table goes back at once.
    if (report.outcome != RFC_OK) {
        CloseSpaceReport(report);
        return;
    }

    const SpaceOptions &keywords = request.keywords;
    SpaceTally &tally = report.tally;
    for (unsigned i = 1; i <= rfcLibrary.ItFill(report.table); ++i) {
        const void *line = rfcLibrary.ItGetLine(report.table, i);
        if (line == nullptr) {
            report.libraryFailure = kFetchFailed;
            return;
        }
        RowFigures row;
        ReadRow(static_cast<const uint8_t *>(line), row);
        ++tally.rowCount;
        if (Kept(request, row)) CountRow(request, row, tally);
        if (request.itemMode && IsItemRow(row.name, request.itemName)) report.itemFound = true;
    }
    if (request.itemMode) return;

    report.fullestPending = keywords.fullest;
    report.totalPending = keywords.total;
    report.daysPending = keywords.forecast;
    if (keywords.forecast) Forecast(request, answer, tally);
    int64_t firstChannels = (keywords.fullest ? 1 : 0) + (keywords.total ? 1 : 0) + (keywords.forecast ? 1 : 0);
    report.leftOut = ChannelsBeyondRoom(request, static_cast<int64_t>(tally.keptCount) + firstChannels);
    FixedText<31> countNote;
    if (keywords.Filtered()) {
        countNote.Assign(" of ");
        AppendGroupedFigure(countNote, tally.rowCount);
    }
    AppendSpaceSummary(report.summary, request.destination, tally.keptCount, tally.Size(), tally.Free(),
                       tally.Used(), countNote.c_str());
    AppendSummaryNotes(report.summary, request, tally, report.leftOut);
    // The guard's warning rides on the first channel; an offline tablespace's channel carries its own.
    report.guardWarning = report.leftOut > 0;
}

bool NextSpaceChannel(SpaceReport &report, ChannelReport &channel) {
    if (report.table == nullptr || report.outcome != RFC_OK || report.libraryFailure != nullptr) return false;
    const SpaceRequest &request = report.request;
    const SpaceOptions &keywords = request.keywords;
    channel = ChannelReport();
    // The first channel is PRTG's primary value: the fullest tablespace when asked for. The days
    // until full come before the tablespaces too, where the channel guard never leaves them out.
    if (report.fullestPending) {
        report.fullestPending = false;
        BuildFullestChannel(request, report.tally, report.guardWarning, channel);
        report.guardWarning = false;
        return true;
    }
    if (report.totalPending) {
        report.totalPending = false;
        BuildTotalChannel(request, report.tally, report.guardWarning, channel);
        report.guardWarning = false;
        return true;
    }
    if (report.daysPending) {
        report.daysPending = false;
        BuildDaysChannel(request, report.tally, report.guardWarning, channel);
        report.guardWarning = false;
        return true;
    }
    while (report.nextRow <= rfcLibrary.ItFill(report.table)) {
        const void *line = rfcLibrary.ItGetLine(report.table, report.nextRow++);
        if (line == nullptr) {
            report.libraryFailure = kFetchFailed;
            return false;
        }
        RowFigures row;
        ReadRow(static_cast<const uint8_t *>(line), row);
        Channel figures;
        BuildRowChannel(row, request, figures);
        if (request.itemMode) {
            if (!IsItemRow(row.name, request.itemName)) continue;
            BuildSizeChannel(channel, request.itemChannelName, figures, request, row.name.c_str(),
                             CarriesLevels(keywords, row.name.c_str()), false);
            return true;
        }
        if (!Kept(request, row)) continue;
        bool warning = report.guardWarning || (keywords.limits && row.offline);
        report.guardWarning = false;
        BuildSizeChannel(channel, row.name.c_str(), figures, request, row.name.c_str(),
                         CarriesLevels(keywords, row.name.c_str()), warning);
        return true;
    }
    return false;
}

void CloseSpaceReport(SpaceReport &report) {
    if (report.table == nullptr) return;
    if (rfcLibrary.ItDelete(report.table) != 0 && report.libraryFailure == nullptr) report.libraryFailure = "ItDelete TS";
    report.table = nullptr;
}
