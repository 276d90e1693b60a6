#include "space/SpaceFigures.h"

#include <cinttypes>

#include "output/Document.h"
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

namespace {

const uint8_t *FetchRow(ITAB_H table, unsigned index) {
    const void *row = rfcLibrary.ItGetLine(table, index);
    if (row == nullptr) RfcFailureHandler("ItGetLine TS");
    return static_cast<const uint8_t *>(row);
}

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

// The first pass: all rows, and the figures of the rows the filters keep.
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
};

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

void CountRow(const RowFigures &row, SpaceTally &tally) {
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
int64_t ChannelsBeyondRoom(int64_t channels) {
    int32_t room = ChannelRoom();
    return room > 0 && channels > room ? channels - room : 0;
}

// What the keywords add to the summary; each addition ends in a blank, as the summary does.
void AppendSummaryNotes(TextBase &summary, const SpaceRequest &request, const SpaceTally &tally,
                        int64_t leftOut) {
    const SpaceOptions &keywords = request.keywords;
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
    if (leftOut > 0) {
        AppendLeftOutNote(summary, leftOut, "use ONLY=/SKIP=");
        summary.Append(" ");
    }
}

// The channel of one row or of the total: its value and unit.
struct Channel {
    FixedText<23> value;
    FixedText<7> unit;
};

// Percent, or the used kilobytes in megabytes or gigabytes.
void BuildChannel(int64_t percent, int64_t usedKb, const SpaceRequest &request, Channel &channel) {
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
}

void BuildRowChannel(const RowFigures &row, const SpaceRequest &request, Channel &channel) {
    // AUTOEXTEND: the share of what the tablespace may grow to, where the system reports that size.
    bool autoextends = request.keywords.autoextend && row.autoextendKb > 0;
    BuildChannel(autoextends ? row.autoextendPct : row.pctUsed, SaturatingSubtract(row.sizeKb, row.freeKb), request,
                 channel);
}

// TOTAL: the whole database as the summary has it, under the same limits as the tablespaces.
void WriteTotalChannel(const SpaceRequest &request, const SpaceTally &tally, bool sensorWarning) {
    int64_t used = tally.Used();
    int64_t percent = request.keywords.autoextend
                          ? UsagePercent(tally.Maximum(), SaturatingSubtract(tally.Maximum(), used))
                          : UsagePercent(tally.Size(), tally.Free());
    Channel channel;
    BuildChannel(percent, used, request, channel);
    WriteSpaceChannel("Total", channel.value.c_str(), channel.unit.c_str(), request.keywords, request.unit,
                      request.destination, "database", sensorWarning);
}

} // namespace

void EvaluateSpaceFigures(RFC_HANDLE handle, const SpaceRequest &request, SpaceResult &result) {
    ITAB_H table = rfcLibrary.ItCreate("TS", rfc::kTableXpcRowLength, 0, 0);
    if (table == nullptr) RfcFailureHandler("ItCreate TS");

    CurrentSizesAnswer answer;
    result.exceptionText.Clear();
    result.itemFound = false;
    result.outcome = CallCurrentSizes(handle, answer, table, result.exceptionText);
    if (result.outcome == RFC_OK) {
        const SpaceOptions &keywords = request.keywords;
        SpaceTally tally;
        for (unsigned i = 1; i <= rfcLibrary.ItFill(table); ++i) {
            RowFigures row;
            ReadRow(FetchRow(table, i), row);
            ++tally.rowCount;
            if (Kept(request, row)) CountRow(row, tally);
        }
        bool totalChannel = keywords.total && !request.itemMode;
        int64_t leftOut = ChannelsBeyondRoom(static_cast<int64_t>(tally.keptCount) + (totalChannel ? 1 : 0));

        if (!request.itemMode) {
            BeginDocument();
            BeginText();
            FixedText<511> summary;
            FixedText<31> countNote;
            if (keywords.Filtered()) {
                countNote.Assign(" of ");
                AppendGroupedFigure(countNote, tally.rowCount);
            }
            AppendSpaceSummary(summary, request.destination, tally.keptCount, tally.Size(), tally.Free(),
                               tally.Used(), countNote.c_str());
            AppendSummaryNotes(summary, request, tally, leftOut);
            AppendTextContent(summary.c_str());
            EndText();
        }
        FlushDocument();

        // The guard's warning rides on the first channel; an offline tablespace's channel carries its own.
        bool guardWarning = leftOut > 0;
        if (totalChannel) {
            WriteTotalChannel(request, tally, guardWarning);
            guardWarning = false;
            FlushDocument();
        }
        for (unsigned i = 1; i <= rfcLibrary.ItFill(table); ++i) {
            RowFigures row;
            ReadRow(FetchRow(table, i), row);
            Channel channel;
            BuildRowChannel(row, request, channel);
            if (request.itemMode) {
                DiscardDocument();
                if (!IsItemRow(row.name, request.itemName)) continue;
                result.itemFound = true;
                WriteSpaceChannel(request.itemChannelName, channel.value.c_str(), channel.unit.c_str(),
                                  keywords, request.unit, request.destination, row.name.c_str(), false);
            } else {
                if (!Kept(request, row)) continue;
                bool warning = guardWarning || (keywords.limits && row.offline);
                guardWarning = false;
                WriteSpaceChannel(row.name.c_str(), channel.value.c_str(), channel.unit.c_str(), keywords,
                                  request.unit, request.destination, row.name.c_str(), warning);
            }
            FlushDocument();
        }
        if (!request.itemMode) EndDocument();
    }

    if (rfcLibrary.ItDelete(table) != 0) RfcFailureHandler("ItDelete TS");
}
