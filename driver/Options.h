// The option text, parsed once into a plain record of typed values.
//
// The option text is argument 2, or arguments 2 and 3 joined by one blank; keywords are found
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
};

// The option text as given and its upper-cased copy, character for character at the same places.
struct OptionText {
    FixedText<kOptionTextCapacity> asGiven;
    FixedText<kOptionTextCapacity> upper;
};

// Joins arguments 2 and 3 (either may be null) into the option text.
void JoinOptionText(OptionText &text, const char *argument2, const char *argument3);

// Parses the option text (upper-cased copy and as typed) into the record.
void ParseOptions(const TextBase &upper, const TextBase &asGiven, Options &options);

// Error 1035 for a keyword whose value cannot be used (WARN=9x, ONLY= without a pattern); false
// with the message then.
bool CheckOptions(const Options &options, TextBase &error);

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
    FixedText<kItemNameCapacity> itemName;     // behind "Item=" (this letter case only)
    char channelNameChoice = '1';              // ",Profile" 1, ",Alias" 2, ",Host" 3, ",Sid" 4
};
void ParseSensorDefinition(const TextBase &line, const TextBase &definition, SensorDefinition &parsed);
