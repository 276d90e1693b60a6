#include "space/Limits.h"

#include <cinttypes>

namespace {

const char *UnitSign(SizeUnit unit) {
    switch (unit) {
    case SizeUnit::Megabyte:
        return "MByte";
    case SizeUnit::Gigabyte:
        return "GByte";
    case SizeUnit::Percent:
        break;
    }
    return "%";
}

bool NothingProcessed(const SpaceOptions &options, const ItemTally &tally) {
    return options.limits && tally.processed == 0;
}

} // namespace

LimitLevels ChannelLevels(const SpaceOptions &options, SizeUnit unit) {
    LimitLevels levels;
    if (!options.limits) return levels;
    // A default in megabytes would fit no database: sizes get levels only when they are given.
    bool percent = unit == SizeUnit::Percent;
    levels.warning = options.warningGiven || percent;
    levels.warningLevel = options.warningGiven ? options.warningLevel : kDefaultWarningPercent;
    levels.error = options.errorGiven || percent;
    levels.errorLevel = options.errorGiven ? options.errorLevel : kDefaultErrorPercent;
    return levels;
}

void LimitMessage(TextBase &message, const char *system, const char *subject, int64_t level, SizeUnit unit) {
    message.Format("%s: %s over %" PRId64 " %s", system, subject, level, UnitSign(unit));
}

void WriteSpaceChannel(const char *name, const char *value, const char *unit, const SpaceOptions &options,
                       SizeUnit sizeUnit, const char *system, const char *subject, bool sensorWarning) {
    ChannelExtras extras;
    extras.sensorWarning = sensorWarning;
    LimitLevels levels = ChannelLevels(options, sizeUnit);
    FixedText<159> warningMessage;
    FixedText<159> errorMessage;
    LimitMessage(warningMessage, system, subject, levels.warningLevel, sizeUnit);
    LimitMessage(errorMessage, system, subject, levels.errorLevel, sizeUnit);
    // PRTG draws its own unit as a percentage; a custom "%" is just a number to it.
    if (options.limits && sizeUnit == SizeUnit::Percent) extras.prtgUnit = "Percent";
    extras.warningLevel = levels.warning;
    extras.maxWarning = levels.warningLevel;
    extras.warningMessage = warningMessage.c_str();
    extras.errorLevel = levels.error;
    extras.maxError = levels.errorLevel;
    extras.errorMessage = errorMessage.c_str();
    WriteChannel(name, value, unit, extras);
}

int32_t ChannelRoomFor(const SpaceOptions &options, bool itemMode) {
    if (!options.Any()) return 0;
    return itemMode ? kPrtgChannelLimit - 1 : kPrtgChannelLimit;
}

void AppendLeftOutNote(TextBase &text, int64_t leftOut, const char *hint) {
    if (leftOut <= 0) return;
    text.AppendFormat("- +%" PRId64 " not shown: %s", leftOut, hint);
}

void AppendItemHealth(TextBase &summary, const SpaceOptions &options, const ItemTally &tally) {
    if (NothingProcessed(options, tally))
        summary.Append(" - nothing processed: check the item name and the listing");
    if (ChannelsLeftOut() > 0) {
        summary.Append(" ");
        AppendLeftOutNote(summary, ChannelsLeftOut(), "list fewer systems");
    }
}

void WriteItemHealth(const SpaceOptions &options, const char *itemName, const ItemTally &tally) {
    bool leftOut = ChannelsLeftOut() > 0;
    if (!options.limits && !leftOut) return;
    // The place the systems' channels left free.
    if (ChannelRoom() > 0) SetChannelRoom(ChannelRoom() + 1);
    FixedText<23> value;
    value.Format("%" PRIu32, tally.failed);
    FixedText<159> message;
    message.Format("%s: a system could not be evaluated", itemName);
    ChannelExtras extras;
    extras.prtgUnit = "Count";
    extras.sensorWarning = NothingProcessed(options, tally) || leftOut;
    // Any failure warns; ERROR= is about space, not about failures.
    extras.warningLevel = options.limits;
    extras.maxWarning = 0;
    extras.warningMessage = message.c_str();
    WriteChannel("Failed systems", value.c_str(), "", extras);
}
