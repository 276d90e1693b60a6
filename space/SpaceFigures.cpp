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

void AppendSpaceSummary(TextBase &text, const char *destination, uint32_t rowCount, int64_t totalSize,
                        int64_t totalFree) {
    AppendSpaceSummary(text, destination, rowCount, totalSize, totalFree, SaturatingSubtract(totalSize, totalFree));
}

void AppendSpaceSummary(TextBase &text, const char *destination, uint32_t rowCount, int64_t totalSize,
                        int64_t totalFree, int64_t used) {
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

void BuildChannel(const uint8_t *row, const SpaceRequest &request, Channel &channel) {
    channel.name.AssignPart(reinterpret_cast<const char *>(row + kTsOffset), kTsLength);
    channel.name.StripTrailingBlanks();
    // Signed, as the sizes are: a damaged row's negative share is not shown as 4294967196.
    channel.value.Format("%" PRId32, LittleEndianInt32(row + kTpctusedOffset));
    channel.unit.Assign(request.itemMode ? "%" : "PerCent");
    int64_t used = PackedKilobytes(row + kTsizeOffset) - PackedKilobytes(row + kTfreeOffset);
    if (request.unit == SizeUnit::Megabyte) {
        channel.value.Format("%" PRId64, used / 1000);
        channel.unit.Assign("MByte");
    }
    if (request.unit == SizeUnit::Gigabyte) {
        channel.value.Format("%" PRId64, used / 1000000);
        channel.unit.Assign("GByte");
    }
}

bool IsItemRow(const TextBase &tablespace, const char *itemName) {
    FixedText<90> item(itemName);
    FixedText<kTsLength> name(tablespace.c_str());
    item.ToUpper();
    name.ToUpper();
    return item.Equals(name.c_str());
}

} // namespace

void EvaluateSpaceFigures(RFC_HANDLE handle, const SpaceRequest &request, SpaceResult &result) {
    ITAB_H table = ItCreate("TS", rfc::kTableXpcRowLength, 0, 0);
    if (table == nullptr) RfcFailureHandler("ItCreate TS");

    CurrentSizesAnswer answer;
    result.exceptionText.Clear();
    result.itemFound = false;
    result.outcome = CallCurrentSizes(handle, answer, table, result.exceptionText);
    if (result.outcome == RFC_OK) {
        uint32_t rowCount = 0;
        WideSum totalSize;
        WideSum totalFree;
        for (unsigned i = 1; i <= ItFill(table); ++i) {
            const uint8_t *row = FetchRow(table, i);
            ++rowCount;
            totalSize.Add(PackedKilobytes(row + kTsizeOffset));
            totalFree.Add(PackedKilobytes(row + kTfreeOffset));
        }
        WideSum used = totalSize;
        used.Subtract(totalFree);

        if (!request.itemMode) {
            BeginDocument();
            BeginText();
            FixedText<255> summary;
            AppendSpaceSummary(summary, request.destination, rowCount, totalSize.Held(), totalFree.Held(),
                               used.Held());
            AppendTextContent(summary.c_str());
            EndText();
        }
        FlushDocument();

        for (unsigned i = 1; i <= ItFill(table); ++i) {
            Channel channel;
            BuildChannel(FetchRow(table, i), request, channel);
            if (request.itemMode) {
                DiscardDocument();
                if (!IsItemRow(channel.name, request.itemName)) continue;
                result.itemFound = true;
                WriteChannel(request.itemChannelName, channel.value.c_str(), channel.unit.c_str());
            } else {
                WriteChannel(channel.name.c_str(), channel.value.c_str(), channel.unit.c_str());
            }
            FlushDocument();
        }
        if (!request.itemMode) EndDocument();
    }

    if (ItDelete(table) != 0) RfcFailureHandler("ItDelete TS");
}
