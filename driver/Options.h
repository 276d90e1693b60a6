// The option text, parsed once into a plain record of typed values.
//
// The option text is arguments 2 to n joined by one blank (PRTG splits its parameter field at
// blanks, so every word counts); a text beyond its capacity is refused, never cut. Keywords are found
// anywhere in its upper-cased copy, so they match in any letter case, and values are taken from
// the text as typed at the same position. The sensor definition of the global listing is an option
// text too and gives the same record. Nothing else in the program looks into the option text.
#pragma once

#include "driver/Credentials.h"
#include "output/Document.h"
#include "platform/FixedText.h"
#include "rfc/Rfc.h"
#include "space/SpaceFigures.h"

constexpr size_t kOptionTextCapacity = 127;
constexpr size_t kItemNameCapacity = 90;
constexpr size_t kSensorNameLength = 10;
// PRTG gives a sensor 60 s by default (at most 900 s) and then kills it.
constexpr uint32_t kDefaultTimeoutSeconds = 55;
constexpr uint32_t kMaxTimeoutSeconds = 900;
constexpr uint32_t kMaxParallel = 64;

struct Options {
    DocumentSettings document;    // MODE=OSTRAVEL, MODE=BRENNIC, CH=n
    bool verbose = false;         // "#", "@", "$" or "%"
    bool directorySearch = true;  // the PRTG directory search; "@" skips it
    SizeUnit sizeUnit = SizeUnit::Percent; // MEGABYTE, GIGABYTE (which wins)
    bool eventLog = false;        // ",SYSLOG"
    ConnectionOverrides overrides; // ",HOST=name", ",NO=nn"
    bool itemMode = false;        // "ITEM=name"
    FixedText<kItemNameCapacity> itemName;
    FixedText<kSensorNameLength> sensorName; // the first word, upper-cased, blank-padded to 10
    FixedText<kOptionTextCapacity> shownOptions; // the options as the verbose option line shows them
    uint32_t timeoutSeconds = kDefaultTimeoutSeconds; // "TIMEOUT=n": the run ends in time
    uint32_t parallel = 1;                            // "PARALLEL=n": systems connected at once
    LogonSource logon = LogonSource::Profile;         // "LOGON=LINUX" / "LOGON=WINDOWS": PRTG's credentials
    // LIMITS, WARN=n, ERROR=n, TOTAL, AUTOEXTEND, ONLY=p1;p2, SKIP=p1;p2, MAX, FREE, FORECAST,
    // NOLEVELS=p1;p2, DAYS=w;e: whole words only, so that
    // a tablespace pattern or an item name holding "TOTAL" is no keyword.
    SpaceOptions space;
    FixedText<kOptionTextCapacity> invalidValue; // the first of them with a value that cannot be used
    bool textTooLong = false;                    // the option text did not fit its capacity
};

// The option text as given and its upper-cased copy, character for character at the same places.
struct OptionText {
    FixedText<kOptionTextCapacity> asGiven;
    FixedText<kOptionTextCapacity> upper;
};

// Joins the option words (arguments 2 to n; a null word ends them) with one blank each into the
// option text; a text that does not fit is marked truncated, and CheckOptions refuses it.
void JoinOptionText(OptionText &text, int count, const char *const *words);
// The same for at most two words (either may be null).
void JoinOptionText(OptionText &text, const char *argument2, const char *argument3);

// Parses the option text (upper-cased copy and as typed) into the record.
void ParseOptions(const TextBase &upper, const TextBase &asGiven, Options &options);

// Error 1040 for an option text beyond its capacity; Error 1035 for a keyword whose value cannot be
// used (WARN=9x, ONLY= without a pattern, TIMEOUT= outside 1 to 900, PARALLEL= outside 1 to 64);
// false with the message then.
bool CheckOptions(const Options &options, TextBase &error);
// Whether ONLY= / SKIP= left none of the tablespaces a system has (a system without any is no
// filter's doing).
bool FiltersLeaveNothing(const SpaceOptions &keywords, uint32_t rowCount, uint32_t keptCount);
// "Error 1042", naming the patterns: "Error 1042: No tablespace left by ONLY=PSAPX* SKIP=PSAPTEMP !".
void NoTablespaceLeftText(TextBase &text, const SpaceOptions &keywords);
// "Error 1040": the option text does not fit its capacity; `sensor` names the global sensor whose
// definition holds it, null for the command line.
void OptionTextTooLongText(TextBase &text, const char *sensor);

// Where a keyword stands as a word of its own: at the start or behind a blank or comma, and, unless
// it ends in "=", followed by a blank, a comma or the end. npos when it does not.
size_t FindKeywordWord(const TextBase &upper, const char *keyword);

// The item-mode form of the option text as given: every ':' a blank, cut at the first " @".
void ItemModeOptionText(TextBase &asGiven);

// The item name behind a keyword: up to the first blank or comma or 90 characters, ':' as blanks.
void TakeItemName(TextBase &itemName, const char *from);

// The options as the verbose option line shows them: cut at the first "#" and "@"; empty, or
// exactly "(Parameters " or "(No ", shows as "(No Parameters)".
void ShownOptions(TextBase &shown, const TextBase &optionTextAsGiven);

// A "# GSNX: " line of the global listing: the sensor definition from column 20.
struct SensorDefinition {
    bool forThisProgram = false; // holds Sensor="SAP Marrowind"
    FixedText<kOptionTextCapacity> optionText; // the part before ",Sensor=", ':' as blanks
    bool optionTextTooLong = false;            // that part did not fit: refused, never used cut
    FixedText<kItemNameCapacity> itemName;     // behind "Item=" (this letter case only)
    char channelNameChoice = '1';              // ",Profile" 1, ",Alias" 2, ",Host" 3, ",Sid" 4
};
void ParseSensorDefinition(const TextBase &line, const TextBase &definition, SensorDefinition &parsed);
