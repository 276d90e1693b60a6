#include "driver/Options.h"

#include <cstring>

#include "output/Errors.h"

namespace {

// The value behind a keyword, as typed, up to the next comma or blank.
void KeywordValue(TextBase &value, const TextBase &asGiven, size_t at, const char *keyword) {
    value.Clear();
    for (size_t i = at + strlen(keyword); i < asGiven.size(); ++i) {
        char c = asGiven[i];
        if (c == ',' || c == ' ') break;
        value.AppendChar(c);
    }
}

// "CH=": at most three characters as typed, up to a comma, read as a decimal number.
ChannelSelection SelectedChannel(const TextBase &upper, const TextBase &asGiven) {
    ChannelSelection selection;
    size_t at = upper.Find("CH=");
    if (at == TextBase::npos) return selection;
    FixedText<3> digits;
    for (size_t i = at + 3; i < at + 6 && i < asGiven.size(); ++i) {
        char c = asGiven[i];
        if (c == ',') break;
        digits.AppendChar(c);
    }
    selection.given = true;
    selection.number = DecimalValue(digits.c_str());
    return selection;
}

// A level of WARN= or ERROR=: one to nine digits.
bool ReadLevel(const TextBase &value, int32_t &level) {
    if (value.empty() || value.size() > 9) return false;
    for (size_t i = 0; i < value.size(); ++i)
        if (!IsDigit(value[i])) return false;
    level = static_cast<int32_t>(DecimalValue(value.c_str()));
    return true;
}

void NoteInvalidValue(Options &options, const TextBase &upper, const TextBase &asGiven, size_t at) {
    if (!options.invalidValue.empty()) return;
    KeywordValue(options.invalidValue, asGiven, at, "");
    // Item mode's text as given may be cut short ("@"); the upper-cased one still names it.
    if (options.invalidValue.empty()) KeywordValue(options.invalidValue, upper, at, "");
}

// "TIMEOUT=n", "PARALLEL=n": a whole number from 1 to `maximum`, written as digits only; `fallback`
// without the keyword. Any other value is noted, never replaced by the default.
uint32_t ParseCount(const TextBase &upper, const TextBase &asGiven, const char *keyword, uint32_t fallback,
                    uint32_t maximum, Options &options) {
    size_t at = upper.Find(keyword);
    if (at == TextBase::npos) return fallback;
    FixedText<kOptionTextCapacity> value;
    KeywordValue(value, upper, at, keyword);
    bool whole = !value.empty() && value.size() <= 9;
    for (size_t i = 0; whole && i < value.size(); ++i)
        whole = IsDigit(value[i]);
    int64_t number = whole ? DecimalValue(value.c_str()) : 0;
    if (number < 1 || number > static_cast<int64_t>(maximum)) {
        NoteInvalidValue(options, upper, asGiven, at);
        return fallback;
    }
    return static_cast<uint32_t>(number);
}

void ParseLevel(const TextBase &upper, const TextBase &asGiven, const char *keyword, Options &options,
                bool &given, int32_t &level) {
    size_t at = FindKeywordWord(upper, keyword);
    if (at == TextBase::npos) return;
    options.space.limits = true;
    FixedText<kOptionTextCapacity> value;
    KeywordValue(value, upper, at, keyword);
    given = ReadLevel(value, level);
    if (!given) NoteInvalidValue(options, upper, asGiven, at);
}

void ParsePatterns(const TextBase &upper, const TextBase &asGiven, const char *keyword, Options &options,
                   TextBase &patterns) {
    size_t at = FindKeywordWord(upper, keyword);
    if (at == TextBase::npos) return;
    KeywordValue(patterns, upper, at, keyword);
    if (HoldsPattern(patterns)) return;
    patterns.Clear();
    NoteInvalidValue(options, upper, asGiven, at);
}

// MAX, FREE, FORECAST, NOLEVELS=p1;p2 (empty: levels everywhere), DAYS=warning;error (implies LIMITS).
void ParseAlerting(const TextBase &upper, const TextBase &asGiven, Options &options) {
    SpaceOptions &space = options.space;
    space.fullest = FindKeywordWord(upper, "MAX") != TextBase::npos;
    space.free = FindKeywordWord(upper, "FREE") != TextBase::npos;
    space.forecast = FindKeywordWord(upper, "FORECAST") != TextBase::npos;
    // Free space is never a percentage: gigabytes unless megabytes are asked for.
    if (space.free && options.sizeUnit == SizeUnit::Percent) options.sizeUnit = SizeUnit::Gigabyte;
    size_t at = FindKeywordWord(upper, "NOLEVELS=");
    if (at != TextBase::npos) KeywordValue(space.noLevels, upper, at, "NOLEVELS=");
    at = FindKeywordWord(upper, "DAYS=");
    if (at == TextBase::npos) return;
    space.limits = true;
    FixedText<kOptionTextCapacity> value;
    KeywordValue(value, upper, at, "DAYS=");
    size_t separator = value.Find(";");
    FixedText<kOptionTextCapacity> warning;
    FixedText<kOptionTextCapacity> error;
    warning.AssignPart(value.c_str(), separator == TextBase::npos ? value.size() : separator);
    if (separator != TextBase::npos) error.Assign(value.c_str() + separator + 1);
    bool valid = ReadLevel(warning, space.warningDays);
    if (separator != TextBase::npos) valid = valid && ReadLevel(error, space.errorDays);
    if (!valid) NoteInvalidValue(options, upper, asGiven, at);
}

void ParseSpaceOptions(const TextBase &upper, const TextBase &asGiven, Options &options) {
    SpaceOptions &space = options.space;
    space.limits = FindKeywordWord(upper, "LIMITS") != TextBase::npos;
    ParseLevel(upper, asGiven, "WARN=", options, space.warningGiven, space.warningLevel);
    ParseLevel(upper, asGiven, "ERROR=", options, space.errorGiven, space.errorLevel);
    space.total = FindKeywordWord(upper, "TOTAL") != TextBase::npos;
    space.autoextend = FindKeywordWord(upper, "AUTOEXTEND") != TextBase::npos;
    ParsePatterns(upper, asGiven, "ONLY=", options, space.only);
    ParsePatterns(upper, asGiven, "SKIP=", options, space.skip);
    ParseAlerting(upper, asGiven, options);
}

} // namespace

size_t FindKeywordWord(const TextBase &upper, const char *keyword) {
    size_t length = strlen(keyword);
    bool valued = length > 0 && keyword[length - 1] == '=';
    for (size_t at = upper.Find(keyword); at != TextBase::npos; at = upper.Find(keyword, at + 1)) {
        char before = at == 0 ? ' ' : upper[at - 1];
        char after = upper[at + length]; // 0 at the end
        if (before != ' ' && before != ',') continue;
        if (valued || after == '\0' || after == ' ' || after == ',') return at;
    }
    return TextBase::npos;
}

bool CheckOptions(const Options &options, TextBase &error) {
    // A cut text would be read with another meaning ("error=95" cut to "error=9").
    if (options.textTooLong) {
        OptionTextTooLongText(error, nullptr);
        return false;
    }
    if (options.invalidValue.empty()) return true;
    FormatError(error, ErrorId::InvalidOptionValue, options.invalidValue.c_str());
    return false;
}

void OptionTextTooLongText(TextBase &text, const char *sensor) {
    FixedText<15> limit;
    limit.Format("%zu", kOptionTextCapacity);
    if (sensor == nullptr) {
        FormatError(text, ErrorId::OptionTextTooLong, limit.c_str());
    } else {
        FormatError(text, ErrorId::SensorOptionsTooLong, sensor, limit.c_str());
    }
}

bool FiltersLeaveNothing(const SpaceOptions &keywords, uint32_t rowCount, uint32_t keptCount) {
    return keywords.Filtered() && rowCount > 0 && keptCount == 0;
}

void NoTablespaceLeftText(TextBase &text, const SpaceOptions &keywords) {
    FixedText<2 * kPatternListCapacity + 11> filters;
    if (!keywords.only.empty()) filters.Append("ONLY=").Append(keywords.only);
    if (!keywords.only.empty() && !keywords.skip.empty()) filters.AppendChar(' ');
    if (!keywords.skip.empty()) filters.Append("SKIP=").Append(keywords.skip);
    FormatError(text, ErrorId::NoTablespaceLeft, filters.c_str());
}

void JoinOptionText(OptionText &text, int count, const char *const *words) {
    text.asGiven.Clear();
    for (int i = 0; i < count && words[i] != nullptr; ++i) {
        if (i > 0) text.asGiven.AppendChar(' ');
        text.asGiven.Append(words[i]);
    }
    text.upper.Assign(text.asGiven);
    text.upper.ToUpper();
}

void JoinOptionText(OptionText &text, const char *argument2, const char *argument3) {
    const char *words[] = {argument2, argument3};
    JoinOptionText(text, argument2 == nullptr ? 0 : 2, words);
}

void ParseOptions(const TextBase &upper, const TextBase &asGiven, Options &options) {
    options = Options();
    if (upper.Contains("MODE=OSTRAVEL")) {
        options.document.mode = OutputMode::Ostravel;
    } else if (upper.Contains("MODE=BRENNIC")) {
        options.document.mode = OutputMode::Brennic;
    }
    options.document.channel = SelectedChannel(upper, asGiven);
    options.verbose = upper.Contains("#") || upper.Contains("@") || upper.Contains("$") || upper.Contains("%");
    options.directorySearch = !upper.Contains("@");
    if (upper.Contains("MEGABYTE")) options.sizeUnit = SizeUnit::Megabyte;
    if (upper.Contains("GIGABYTE")) options.sizeUnit = SizeUnit::Gigabyte;
    options.eventLog = upper.Contains(",SYSLOG");

    size_t at = upper.Find(",HOST=");
    options.overrides.host = at != TextBase::npos;
    if (options.overrides.host) KeywordValue(options.overrides.hostname, asGiven, at, ",HOST=");
    at = upper.Find(",NO=");
    options.overrides.sysnr = at != TextBase::npos;
    if (options.overrides.sysnr) KeywordValue(options.overrides.sysnrText, asGiven, at, ",NO=");

    at = upper.Find("ITEM=");
    options.itemMode = at != TextBase::npos;
    if (options.itemMode && at + 5 <= asGiven.size()) TakeItemName(options.itemName, asGiven.c_str() + at + 5);

    for (size_t i = 0; i < upper.size() && upper[i] != ' '; ++i)
        options.sensorName.AppendChar(upper[i]);
    options.sensorName.AppendRepeated(' ', kSensorNameLength - options.sensorName.size());

    options.textTooLong = asGiven.truncated() || upper.truncated();
    options.timeoutSeconds =
        ParseCount(upper, asGiven, "TIMEOUT=", kDefaultTimeoutSeconds, kMaxTimeoutSeconds, options);
    options.parallel = ParseCount(upper, asGiven, "PARALLEL=", 1, kMaxParallel, options);

    at = FindKeywordWord(upper, "LOGON=");
    if (at != TextBase::npos) {
        FixedText<kOptionTextCapacity> value;
        KeywordValue(value, upper, at, "LOGON=");
        if (!ParseLogonSource(value, options.logon)) NoteInvalidValue(options, upper, asGiven, at);
    }

    ShownOptions(options.shownOptions, asGiven);
    ParseSpaceOptions(upper, asGiven, options);
}

void ItemModeOptionText(TextBase &asGiven) {
    asGiven.Replace(':', ' ');
    asGiven.CutAt(" @");
}

void TakeItemName(TextBase &itemName, const char *from) {
    itemName.Clear();
    for (size_t i = 0; i < kItemNameCapacity && from[i] != '\0' && from[i] != ' ' && from[i] != ','; ++i) {
        itemName.AppendChar(from[i] == ':' ? ' ' : from[i]);
    }
}

void ShownOptions(TextBase &shown, const TextBase &optionTextAsGiven) {
    shown.Assign(optionTextAsGiven);
    shown.CutAt("#");
    shown.CutAt("@");
    if (shown.Equals("(Parameters ") || shown.Equals("(No ")) shown.Clear();
    if (shown.empty()) shown.Assign("(No Parameters)");
}

void ParseSensorDefinition(const TextBase &line, const TextBase &definition, SensorDefinition &parsed) {
    parsed = SensorDefinition();
    parsed.forThisProgram = definition.Contains("Sensor=\"SAP Marrowind\"");
    // The part before ",Sensor=", taken whole or refused: a cut text would change its meaning.
    size_t end = definition.Find(",Sensor=");
    parsed.optionText.AssignPart(definition.c_str(), end == TextBase::npos ? definition.size() : end);
    parsed.optionTextTooLong = parsed.optionText.truncated();
    parsed.optionText.Replace(':', ' ');
    if (line.Contains(",Profile")) parsed.channelNameChoice = '1';
    if (line.Contains(",Alias")) parsed.channelNameChoice = '2';
    if (line.Contains(",Host")) parsed.channelNameChoice = '3';
    if (line.Contains(",Sid")) parsed.channelNameChoice = '4';
    size_t item = definition.Find("Item=");
    if (item != TextBase::npos) TakeItemName(parsed.itemName, definition.c_str() + item + 5);
}
