#include "space/SpaceFigures.h"

#include <cinttypes>

#include "driver/RunState.h"
#include "output/Document.h"
#include "rfc/Rfc.h"
#include "space/Conversions.h"

int64_t PackedKilobytes(const uint8_t *field) {
    FixedText<2 * kPackedSizeLength> text;
    PackedToText(text, field, kPackedSizeLength, 0);
    return DecimalValue(text.c_str());
}

int64_t UsagePercent(int64_t totalSize, int64_t totalFree) {
    int64_t hundredth = totalSize / 100;
    if (hundredth == 0) return 0;
    return 100 - totalFree / hundredth;
}

void AppendSpaceSummary(TextBase &text, const char *destination, uint32_t rowCount, int64_t totalSize,
                        int64_t totalFree) {
    int64_t used = totalSize - totalFree;
    text.Append("(").Append(destination).Append(") OraSizes: NoSpc=");
    AppendGroupedFigure(text, rowCount);
    text.Append(", DataSz=");
    AppendGroupedFigure(text, totalSize / 1000);
    text.Append(" MB, UsedSz=");
    AppendGroupedFigure(text, used / 1000);
    text.Append(" MB, Usage=");
    AppendGroupedFigure(text, UsagePercent(totalSize, totalFree));
    text.Append("% ");
}

namespace {

const uint8_t *FetchRow(ITAB_H table, unsigned index) {
    const void *row = ItGetLine(table, index);
    if (row == nullptr) RfcFailureHandler("ItGetLine TS");
    return static_cast<const uint8_t *>(row);
}

int32_t LittleEndianInt32(const uint8_t *bytes) {
    uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                     static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

// The channel of one row: its tablespace name, value and unit.
struct Channel {
    FixedText<kTsLength> name;
    FixedText<23> value;
    FixedText<7> unit;
};

void BuildChannel(const uint8_t *row, Channel &channel) {
    channel.name.AssignPart(reinterpret_cast<const char *>(row + kTsOffset), kTsLength);
    channel.name.StripTrailingBlanks();
    uint32_t percentUsed = static_cast<uint32_t>(LittleEndianInt32(row + kTpctusedOffset));
    channel.value.Format("%" PRIu32, percentUsed);
    channel.unit.Assign(run.itemMode ? "%" : "PerCent");
    int64_t used = PackedKilobytes(row + kTsizeOffset) - PackedKilobytes(row + kTfreeOffset);
    if (run.optionText.Contains("MEGABYTE")) {
        channel.value.Format("%" PRId64, used / 1000);
        channel.unit.Assign("MByte");
    }
    if (run.optionText.Contains("GIGABYTE")) {
        channel.value.Format("%" PRId64, used / 1000000);
        channel.unit.Assign("GByte");
    }
}

bool IsItemRow(const TextBase &tablespace) {
    FixedText<90> item(run.itemName.c_str());
    FixedText<kTsLength> name(tablespace.c_str());
    item.ToUpper();
    name.ToUpper();
    return item.Equals(name.c_str());
}

} // namespace

int32_t EvaluateSpaceFigures(RFC_HANDLE handle) {
    ITAB_H table = ItCreate("TS", kTableXpcRowLength, 0, 0);
    if (table == nullptr) RfcFailureHandler("ItCreate TS");

    CurrentSizesAnswer answer;
    FixedText<kExceptionTextCapacity> exceptionText;
    int outcome = CallCurrentSizes(handle, answer, table, exceptionText);
    if (outcome != RFC_OK) {
        AppendOutcomeMessage(outcome, exceptionText);
    } else {
        run.runStatus.Assign("OK");
        uint32_t rowCount = 0;
        int64_t totalSize = 0;
        int64_t totalFree = 0;
        for (unsigned i = 1; i <= ItFill(table); ++i) {
            const uint8_t *row = FetchRow(table, i);
            ++rowCount;
            totalSize += PackedKilobytes(row + kTsizeOffset);
            totalFree += PackedKilobytes(row + kTfreeOffset);
        }

        if (!run.itemMode) {
            BeginDocument();
            BeginText();
            FixedText<255> summary;
            AppendSpaceSummary(summary, run.connection.destination.c_str(), rowCount, totalSize, totalFree);
            AppendTextContent(summary.c_str());
            EndText();
        }
        FlushDocument();

        for (unsigned i = 1; i <= ItFill(table); ++i) {
            Channel channel;
            BuildChannel(FetchRow(table, i), channel);
            if (run.itemMode) {
                documentBuffer.Clear();
                if (!IsItemRow(channel.name)) continue;
                run.itemFound = true;
                WriteChannel(run.itemChannelName.c_str(), channel.value.c_str(), channel.unit.c_str());
            } else {
                WriteChannel(channel.name.c_str(), channel.value.c_str(), channel.unit.c_str());
            }
            FlushDocument();
        }
        if (!run.itemMode) EndDocument();
    }

    if (ItDelete(table) != 0) RfcFailureHandler("ItDelete TS");
    return outcome;
}
