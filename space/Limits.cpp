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

void BuildSpaceChannel(ChannelReport &channel, const char *name, const char *value, const char *unit,
                       const SpaceOptions &options, SizeUnit sizeUnit, const char *system, const char *subject,
                       bool sensorWarning) {
    channel.name.Assign(name);
    channel.value.Assign(value);
    channel.unit.Assign(unit);
    channel.sensorWarning = sensorWarning;
    LimitLevels levels = ChannelLevels(options, sizeUnit);
    // PRTG draws its own unit as a percentage; a custom "%" is just a number to it.
    if (options.limits && sizeUnit == SizeUnit::Percent) channel.prtgUnit.Assign("Percent");
    channel.warningLevel = levels.warning;
    channel.maxWarning = levels.warningLevel;
    LimitMessage(channel.warningMessage, system, subject, levels.warningLevel, sizeUnit);
    channel.errorLevel = levels.error;
    channel.maxError = levels.errorLevel;
    LimitMessage(channel.errorMessage, system, subject, levels.errorLevel, sizeUnit);
}

int32_t ChannelRoomFor(const SpaceOptions &options, bool itemMode) {
    if (!options.Any()) return 0;
    return itemMode ? kPrtgChannelLimit - 1 : kPrtgChannelLimit;
}

void AppendLeftOutNote(TextBase &text, int64_t leftOut, const char *hint) {
    if (leftOut <= 0) return;
    text.AppendFormat("- +%" PRId64 " not shown: %s", leftOut, hint);
}

void AppendItemHealth(TextBase &summary, const SpaceOptions &options, const ItemTally &tally, int64_t leftOut) {
    if (NothingProcessed(options, tally))
        summary.Append(" - nothing processed: check the item name and the listing");
    if (leftOut > 0) {
        summary.Append(" ");
        AppendLeftOutNote(summary, leftOut, "list fewer systems");
    }
}

bool BuildItemHealthChannel(ChannelReport &channel, const SpaceOptions &options, const char *itemName,
                            const ItemTally &tally, int64_t leftOut) {
    if (!options.limits && leftOut <= 0) return false;
    channel = ChannelReport();
    channel.name.Assign("Failed systems");
    channel.value.Format("%" PRIu32, tally.failed);
    channel.prtgUnit.Assign("Count");
    channel.sensorWarning = NothingProcessed(options, tally) || leftOut > 0;
    // Any failure warns; ERROR= is about space, not about failures.
    channel.warningLevel = options.limits;
    channel.maxWarning = 0;
    channel.warningMessage.Format("%s: a system could not be evaluated", itemName);
    return true;
}
