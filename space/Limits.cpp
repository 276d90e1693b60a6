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
    levels.sign = UnitSign(unit);
    if (!options.limits) return levels;
    // A default in megabytes would fit no database: sizes get levels only when they are given.
    bool percent = unit == SizeUnit::Percent;
    levels.warning = options.warningGiven || percent;
    levels.warningLevel = options.warningGiven ? options.warningLevel : kDefaultWarningPercent;
    levels.error = options.errorGiven || percent;
    levels.errorLevel = options.errorGiven ? options.errorLevel : kDefaultErrorPercent;
    levels.lower = options.free;
    return levels;
}

LimitLevels FullestLevels(const SpaceOptions &options, SizeUnit unit) {
    if (unit == SizeUnit::Percent && !options.free) return ChannelLevels(options, unit);
    SpaceOptions percent;
    percent.limits = options.limits;
    return ChannelLevels(percent, SizeUnit::Percent);
}

LimitLevels DaysLevels(const SpaceOptions &options) {
    LimitLevels levels;
    levels.sign = "days";
    levels.lower = true;
    levels.warning = options.limits;
    levels.warningLevel = options.warningDays;
    levels.error = options.limits;
    levels.errorLevel = options.errorDays;
    return levels;
}

bool CarriesLevels(const SpaceOptions &options, const char *tablespace) {
    return !MatchesAnyPattern(options.noLevels, tablespace);
}

void LimitMessage(TextBase &message, const char *system, const char *subject, const LimitLevels &levels,
                  int64_t level) {
    message.Format("%s: %s %s %" PRId64 " %s", system, subject, levels.lower ? "under" : "over", level,
                   levels.sign);
}

const char *SizePrtgUnit(const SpaceOptions &options, SizeUnit unit) {
    return options.limits && unit == SizeUnit::Percent ? "Percent" : nullptr;
}

void BuildLimitedChannel(ChannelReport &channel, const char *name, const char *value, const char *unit,
                         const char *prtgUnit, const LimitLevels &levels, const char *system, const char *subject,
                         bool sensorWarning) {
    channel.name.Assign(name);
    channel.value.Assign(value);
    channel.unit.Assign(unit);
    channel.sensorWarning = sensorWarning;
    if (prtgUnit != nullptr) channel.prtgUnit.Assign(prtgUnit);
    channel.warningLevel = levels.warning;
    channel.maxWarning = levels.warningLevel;
    LimitMessage(channel.warningMessage, system, subject, levels, levels.warningLevel);
    channel.errorLevel = levels.error;
    channel.maxError = levels.errorLevel;
    LimitMessage(channel.errorMessage, system, subject, levels, levels.errorLevel);
    channel.lowerLimits = levels.lower;
}

void BuildSpaceChannel(ChannelReport &channel, const char *name, const char *value, const char *unit,
                       const SpaceOptions &options, SizeUnit sizeUnit, const char *system, const char *subject,
                       bool sensorWarning, bool carriesLevels) {
    LimitLevels levels = ChannelLevels(options, sizeUnit);
    if (!carriesLevels) {
        levels.warning = false;
        levels.error = false;
    }
    BuildLimitedChannel(channel, name, value, unit, SizePrtgUnit(options, sizeUnit), levels, system, subject,
                        sensorWarning);
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
    // Item mode's channels are systems: there is no fullest tablespace and no history of a system.
    if (options.fullest) summary.Append(" - MAX works in single runs only");
    if (options.forecast) summary.Append(" - FORECAST works in single runs only");
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
