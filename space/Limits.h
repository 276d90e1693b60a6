// The keywords that let the sensor change PRTG's state by itself: limits on the channels (LIMITS,
// WARN=, ERROR=), a Total channel, the autoextend figures, tablespace filters (ONLY=, SKIP=) and,
// with any of them, the channel guard. Without them the document is what it always was.
#pragma once

#include <cstdint>

#include "output/Document.h"
#include "platform/FixedText.h"
#include "space/Patterns.h"

// What the channels show: TPCTUSED, or the used space in decimal megabytes or gigabytes.
enum class SizeUnit { Percent, Megabyte, Gigabyte };

// Temporary and undo tablespaces: full by normal operation, so no levels by default.
constexpr const char *kDefaultNoLevels = "*TEMP*;*UNDO*;PSAPROLL";
// Levels of the "Days until full" channel: lower limits.
constexpr int32_t kDefaultWarningDays = 30;
constexpr int32_t kDefaultErrorDays = 7;

struct SpaceOptions {
    bool limits = false;       // LIMITS, or WARN= / ERROR= alone
    bool warningGiven = false; // WARN=n
    int32_t warningLevel = 0;
    bool errorGiven = false; // ERROR=n
    int32_t errorLevel = 0;
    bool total = false;      // TOTAL
    bool autoextend = false; // AUTOEXTEND
    // ONLY= and SKIP= upper-cased; empty when not given.
    FixedText<kPatternListCapacity> only;
    FixedText<kPatternListCapacity> skip;
    bool fullest = false;  // MAX: a first channel "Fullest"
    bool free = false;     // FREE: channels of free space, WARN= / ERROR= lower limits
    bool forecast = false; // FORECAST: a channel "Days until full"
    // NOLEVELS=: tablespaces whose channels carry no limits (upper-cased); temporary and undo ones
    // unless given. Empty: every tablespace has levels.
    FixedText<kPatternListCapacity> noLevels{kDefaultNoLevels};
    int32_t warningDays = kDefaultWarningDays; // DAYS=warning;error
    int32_t errorDays = kDefaultErrorDays;

    bool Filtered() const { return !only.empty() || !skip.empty(); }
    bool Any() const { return limits || total || autoextend || Filtered() || fullest || free || forecast; }
};

// Levels of percent channels when WARN= / ERROR= do not set them.
constexpr int32_t kDefaultWarningPercent = 90;
constexpr int32_t kDefaultErrorPercent = 95;

// The levels of a channel in its unit: upper limits, or with `lower` lower limits (free space,
// days until full). The sign names the unit in the messages.
struct LimitLevels {
    bool warning = false;
    int64_t warningLevel = 0;
    bool error = false;
    int64_t errorLevel = 0;
    bool lower = false;
    const char *sign = "%";
};
// A tablespace, item or Total channel: for percent channels WARN= and ERROR= or the defaults; for
// megabytes and gigabytes only what WARN= and ERROR= give, as lower limits with FREE.
LimitLevels ChannelLevels(const SpaceOptions &options, SizeUnit unit);
// The Fullest channel, always in percent: WARN= and ERROR= when the tablespace channels are in
// percent too, else the percent defaults.
LimitLevels FullestLevels(const SpaceOptions &options, SizeUnit unit);
// The "Days until full" channel: lower limits of DAYS= or 30 and 7.
LimitLevels DaysLevels(const SpaceOptions &options);

// Whether a tablespace's channel carries levels: not when it matches NOLEVELS= (by default the
// temporary and undo tablespaces, full by normal operation).
bool CarriesLevels(const SpaceOptions &options, const char *tablespace);

// A limit message: "PRD: PSAPSR3 over 90 %", "PRD: PSAPSR3 under 20 GByte".
void LimitMessage(TextBase &message, const char *system, const char *subject, const LimitLevels &levels,
                  int64_t level);

// A size channel's PRTG unit: under LIMITS percent channels have PRTG's unit Percent, which PRTG
// draws as a percentage (a custom "%" is just a number to it).
const char *SizePrtgUnit(const SpaceOptions &options, SizeUnit unit);

// Builds a channel with its levels (none set: no limits) and messages naming the subject and the
// system; prtgUnit null keeps the custom unit. With sensorWarning it carries the warning that turns
// the whole sensor yellow.
void BuildLimitedChannel(ChannelReport &channel, const char *name, const char *value, const char *unit,
                         const char *prtgUnit, const LimitLevels &levels, const char *system, const char *subject,
                         bool sensorWarning);

// Builds a tablespace, item or Total channel: under LIMITS a percent channel has PRTG's unit
// Percent, and the channel carries the levels of ChannelLevels unless its subject is exempt
// (carriesLevels false).
void BuildSpaceChannel(ChannelReport &channel, const char *name, const char *value, const char *unit,
                       const SpaceOptions &options, SizeUnit sizeUnit, const char *system, const char *subject,
                       bool sensorWarning, bool carriesLevels = true);

// The channel guard's room: none without the keywords; PRTG's limit with them; in item mode one
// less, kept for the "Failed systems" channel that comes with the summary. The run driver asks
// with the mode it finally runs in.
int32_t ChannelRoomFor(const SpaceOptions &options, bool itemMode);

// Appends "- +7 not shown: <hint>" for channels the guard left out; nothing for none.
void AppendLeftOutNote(TextBase &text, int64_t leftOut, const char *hint);

// The counters of an item-mode run.
struct ItemTally {
    uint32_t noSystems = 0;
    uint32_t processed = 0;
    uint32_t failed = 0;
};

// Item mode's additions to its summary text: that nothing was processed (under LIMITS) and the
// systems the guard left out.
void AppendItemHealth(TextBase &summary, const SpaceOptions &options, const ItemTally &tally, int64_t leftOut);

// After item mode's text element, the "Failed systems" channel: under LIMITS, where its level warns
// at any failure, and whenever the guard left systems out. It carries the warning when nothing was
// processed or systems were left out. False when there is no such channel.
bool BuildItemHealthChannel(ChannelReport &channel, const SpaceOptions &options, const char *itemName,
                            const ItemTally &tally, int64_t leftOut);
