// The option parser, over any bytes: the option words joined into the option text, parsed once
// into the options record and checked; the item-mode form of the text, the shown options and a
// sensor definition over the same text.
//
// Input: one byte (bit 0: whether the words behind argument 2 count), then the words, each ended by
// a line feed (the last by the end of the input). Properties: every value of the record, the
// keywords LIMITS, WARN=, ERROR=, TOTAL, AUTOEXTEND, ONLY=, SKIP=, TIMEOUT= and PARALLEL= included,
// and the check's outcome (Error 1040 for a text beyond its capacity, else Error 1035 for the first
// unusable value) equal a model of the keyword rules written here with std::string; the
// upper-cased copy stands character for character beside the text as given.
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "driver/Options.h"

namespace {

bool Has(const std::string &text, const char *needle) { return text.find(needle) != std::string::npos; }

// The decimal conversion of atoi on at most three characters, stopping before a comma.
int64_t ChannelNumber(const std::string &asGiven, size_t at) {
    std::string digits;
    for (size_t i = at + 3; i < at + 6 && i < asGiven.size() && asGiven[i] != ','; ++i)
        digits += asGiven[i];
    size_t i = 0;
    while (i < digits.size() && (digits[i] == ' ' || (digits[i] >= '\t' && digits[i] <= '\r')))
        ++i;
    bool negative = i < digits.size() && digits[i] == '-';
    if (i < digits.size() && (digits[i] == '-' || digits[i] == '+')) ++i;
    int64_t value = 0;
    for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i)
        value = value * 10 + (digits[i] - '0');
    return negative ? -value : value;
}

std::string ValueBehind(const std::string &asGiven, size_t at, size_t skip, size_t capacity) {
    std::string value;
    for (size_t i = at + skip; i < asGiven.size() && asGiven[i] != ',' && asGiven[i] != ' '; ++i)
        value += asGiven[i];
    return value.substr(0, capacity);
}

std::string ItemNameBehind(const std::string &from) {
    std::string name;
    for (size_t i = 0; i < kItemNameCapacity && i < from.size() && from[i] != ' ' && from[i] != ','; ++i)
        name += from[i] == ':' ? ' ' : from[i];
    return name;
}

// Where a keyword stands as a word of its own: at the start or behind a blank or comma and, unless
// it ends in "=", before a blank, a comma or the end; npos when nowhere.
size_t WordAt(const std::string &upper, const std::string &keyword) {
    bool valued = keyword.back() == '=';
    for (size_t at = upper.find(keyword); at != std::string::npos; at = upper.find(keyword, at + 1)) {
        bool before = at == 0 || upper[at - 1] == ' ' || upper[at - 1] == ',';
        size_t end = at + keyword.size();
        bool after = valued || end == upper.size() || upper[end] == ' ' || upper[end] == ',';
        if (before && after) return at;
    }
    return std::string::npos;
}

bool Digits(const std::string &value, size_t most) {
    if (value.empty() || value.size() > most) return false;
    for (char c : value)
        if (c < '0' || c > '9') return false;
    return true;
}

// The keywords of limits, filters, the run's bounds and the logon, and the first value that cannot
// be used, in the parser's order.
struct KeywordModel {
    bool limits = false, warningGiven = false, errorGiven = false, total = false, autoextend = false;
    int32_t warningLevel = 0, errorLevel = 0;
    std::string only, skip, invalid;
    uint32_t timeout = kDefaultTimeoutSeconds, parallel = 1;

    KeywordModel(const std::string &upper, const std::string &asGiven) {
        auto note = [&](size_t at) {
            if (invalid.empty()) invalid = ValueBehind(asGiven, at, 0, kOptionTextCapacity);
        };
        auto count = [&](const char *keyword, uint32_t fallback, uint32_t maximum) {
            size_t at = upper.find(keyword);
            if (at == std::string::npos) return fallback;
            std::string value = ValueBehind(upper, at, std::strlen(keyword), kOptionTextCapacity);
            uint64_t number = Digits(value, 9) ? std::stoull(value) : 0;
            if (number >= 1 && number <= maximum) return static_cast<uint32_t>(number);
            note(at);
            return fallback;
        };
        auto level = [&](const char *keyword, bool &given, int32_t &level) {
            size_t at = WordAt(upper, keyword);
            if (at == std::string::npos) return;
            limits = true;
            std::string value = ValueBehind(upper, at, std::strlen(keyword), kOptionTextCapacity);
            given = Digits(value, 9);
            if (given) level = static_cast<int32_t>(std::stol(value));
            if (!given) note(at);
        };
        auto patterns = [&](const char *keyword, std::string &list) {
            size_t at = WordAt(upper, keyword);
            if (at == std::string::npos) return;
            list = ValueBehind(upper, at, std::strlen(keyword), kPatternListCapacity);
            if (list.find_first_not_of(';') != std::string::npos) return;
            list.clear();
            note(at);
        };
        timeout = count("TIMEOUT=", kDefaultTimeoutSeconds, kMaxTimeoutSeconds);
        parallel = count("PARALLEL=", 1, kMaxParallel);
        // LOGON=LINUX or LOGON=WINDOWS, any other value refused.
        size_t logonAt = WordAt(upper, "LOGON=");
        if (logonAt != std::string::npos) {
            std::string source = ValueBehind(upper, logonAt, 6, kOptionTextCapacity);
            if (source != "LINUX" && source != "WINDOWS") note(logonAt);
        }
        limits = WordAt(upper, "LIMITS") != std::string::npos;
        level("WARN=", warningGiven, warningLevel);
        level("ERROR=", errorGiven, errorLevel);
        total = WordAt(upper, "TOTAL") != std::string::npos;
        autoextend = WordAt(upper, "AUTOEXTEND") != std::string::npos;
        patterns("ONLY=", only);
        patterns("SKIP=", skip);
        // DAYS=warning;error: each part one to nine digits; it implies LIMITS.
        size_t daysAt = WordAt(upper, "DAYS=");
        if (daysAt != std::string::npos) {
            limits = true;
            std::string value = ValueBehind(upper, daysAt, 5, kOptionTextCapacity);
            size_t separator = value.find(';');
            bool valid = Digits(value.substr(0, separator), 9);
            if (separator != std::string::npos) valid = valid && Digits(value.substr(separator + 1), 9);
            if (!valid) note(daysAt);
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Input input(data, size);
    bool more = (input.Byte() & 1) != 0;
    std::vector<std::string> words;
    for (std::string rest = input.Rest();;) {
        size_t end = rest.find('\n');
        words.push_back(rest.substr(0, end));
        if (end == std::string::npos || !more) break;
        rest = rest.substr(end + 1);
    }
    std::vector<const char *> arguments;
    std::string joined;
    for (std::string &word : words) {
        word.resize(std::strlen(word.c_str())); // an argument ends at a zero byte
        arguments.push_back(word.c_str());
        joined += (joined.empty() && arguments.size() == 1 ? "" : " ") + word;
    }
    arguments.push_back(nullptr);

    OptionText text;
    JoinOptionText(text, static_cast<int>(words.size()), arguments.data());
    std::string asGiven = joined.substr(0, kOptionTextCapacity);
    fuzz::Check(asGiven == text.asGiven.c_str(), "option text as given");
    fuzz::Check(text.asGiven.truncated() == (joined.size() > kOptionTextCapacity), "option text cut");
    std::string upper = fuzz::Upper(asGiven);
    fuzz::Check(upper == text.upper.c_str(), "upper-cased option text");

    Options options;
    ParseOptions(text.upper, text.asGiven, options);

    OutputMode mode = Has(upper, "MODE=OSTRAVEL")  ? OutputMode::Ostravel
                      : Has(upper, "MODE=BRENNIC") ? OutputMode::Brennic
                                                   : OutputMode::ExeXml;
    fuzz::Check(options.document.mode == mode, "output mode");
    size_t channelAt = upper.find("CH=");
    fuzz::Check(options.document.channel.given == (channelAt != std::string::npos), "CH= given");
    if (channelAt != std::string::npos)
        fuzz::Check(options.document.channel.number == ChannelNumber(asGiven, channelAt), "CH= number");
    fuzz::Check(options.verbose == (upper.find_first_of("#@$%") != std::string::npos), "verbose");
    fuzz::Check(options.directorySearch == !Has(upper, "@"), "directory search");
    bool free = WordAt(upper, "FREE") != std::string::npos;
    SizeUnit unit = Has(upper, "GIGABYTE")   ? SizeUnit::Gigabyte
                    : Has(upper, "MEGABYTE") ? SizeUnit::Megabyte
                    : free                   ? SizeUnit::Gigabyte // free space is never a percentage
                                             : SizeUnit::Percent;
    fuzz::Check(options.sizeUnit == unit, "size unit");
    fuzz::Check(options.space.free == free, "FREE");
    fuzz::Check(options.space.fullest == (WordAt(upper, "MAX") != std::string::npos), "MAX");
    fuzz::Check(options.space.forecast == (WordAt(upper, "FORECAST") != std::string::npos), "FORECAST");
    size_t noLevelsAt = WordAt(upper, "NOLEVELS=");
    std::string noLevels = noLevelsAt == std::string::npos ? std::string(kDefaultNoLevels)
                                                           : ValueBehind(upper, noLevelsAt, 9, kPatternListCapacity);
    fuzz::Check(noLevels == options.space.noLevels.c_str(), "NOLEVELS=");
    if (WordAt(upper, "DAYS=") != std::string::npos) fuzz::Check(options.space.limits, "DAYS= implies LIMITS");
    fuzz::Check(options.eventLog == Has(upper, ",SYSLOG"), "event log");

    size_t hostAt = upper.find(",HOST=");
    fuzz::Check(options.overrides.host == (hostAt != std::string::npos), "host override");
    if (hostAt != std::string::npos)
        fuzz::Check(ValueBehind(asGiven, hostAt, 6, 47) == options.overrides.hostname.c_str(), "host value");
    size_t numberAt = upper.find(",NO=");
    fuzz::Check(options.overrides.sysnr == (numberAt != std::string::npos), "sysnr override");
    if (numberAt != std::string::npos)
        fuzz::Check(ValueBehind(asGiven, numberAt, 4, 31) == options.overrides.sysnrText.c_str(), "sysnr value");

    size_t itemAt = upper.find("ITEM=");
    fuzz::Check(options.itemMode == (itemAt != std::string::npos), "item mode");
    std::string itemName = itemAt == std::string::npos ? "" : ItemNameBehind(asGiven.substr(itemAt + 5));
    fuzz::Check(itemName == options.itemName.c_str(), "item name");

    std::string sensor = upper.substr(0, upper.find(' ')).substr(0, kSensorNameLength);
    sensor.resize(kSensorNameLength, ' ');
    fuzz::Check(sensor == options.sensorName.c_str(), "sensor name");

    std::string shown = asGiven;
    if (shown.find('#') != std::string::npos) shown.resize(shown.find('#'));
    if (shown.find('@') != std::string::npos) shown.resize(shown.find('@'));
    if (shown == "(Parameters " || shown == "(No " || shown.empty()) shown = "(No Parameters)";
    fuzz::Check(shown == options.shownOptions.c_str(), "shown options");

    KeywordModel keywords(upper, asGiven);
    const SpaceOptions &space = options.space;
    fuzz::Check(space.limits == keywords.limits, "LIMITS");
    fuzz::Check(space.warningGiven == keywords.warningGiven, "WARN= given");
    if (keywords.warningGiven) fuzz::Check(space.warningLevel == keywords.warningLevel, "WARN= level");
    fuzz::Check(space.errorGiven == keywords.errorGiven, "ERROR= given");
    if (keywords.errorGiven) fuzz::Check(space.errorLevel == keywords.errorLevel, "ERROR= level");
    fuzz::Check(space.total == keywords.total, "TOTAL");
    fuzz::Check(space.autoextend == keywords.autoextend, "AUTOEXTEND");
    fuzz::Check(keywords.only == space.only.c_str(), "ONLY= patterns");
    fuzz::Check(keywords.skip == space.skip.c_str(), "SKIP= patterns");
    fuzz::Check(options.timeoutSeconds == keywords.timeout, "TIMEOUT=");
    fuzz::Check(options.parallel == keywords.parallel, "PARALLEL=");
    bool anyKeyword = keywords.limits || keywords.total || keywords.autoextend || !keywords.only.empty() ||
                      !keywords.skip.empty() || space.fullest || space.free || space.forecast;
    fuzz::Check(space.Any() == anyKeyword, "any keyword of limits, filters and alerting");
    FixedText<kDocumentCapacity> message;
    bool usable = CheckOptions(options, message);
    std::string expected;
    if (joined.size() > kOptionTextCapacity) {
        expected = "Error 1040: Option text longer than 127 characters !";
    } else if (!keywords.invalid.empty()) {
        expected = "Error 1035: Invalid Option-Value " + keywords.invalid + " !";
    }
    fuzz::Check(usable == expected.empty(), "options usable");
    fuzz::Check(expected == message.c_str(), "check message: " + expected + " / " + message.c_str());

    FixedText<kOptionTextCapacity> itemText;
    itemText.Assign(text.asGiven);
    ItemModeOptionText(itemText);
    std::string itemModel = asGiven;
    for (char &c : itemModel)
        if (c == ':') c = ' ';
    if (itemModel.find(" @") != std::string::npos) itemModel.resize(itemModel.find(" @"));
    fuzz::Check(itemModel == itemText.c_str(), "item-mode option text");

    // The same bytes as a "# GSNX: " line's sensor definition.
    FixedText<255> line;
    line.Assign(joined.c_str());
    FixedText<255> definition;
    definition.Assign(line.c_str() + (line.size() >= 20 ? 19 : line.size()));
    SensorDefinition parsed;
    ParseSensorDefinition(line, definition, parsed);
    std::string defined = definition.c_str();
    fuzz::Check(parsed.forThisProgram == Has(defined, "Sensor=\"SAP Marrowind\""), "sensor allocation");
    std::string optionText = defined.substr(0, defined.find(",Sensor="));
    for (char &c : optionText)
        if (c == ':') c = ' ';
    fuzz::Check(parsed.optionTextTooLong == (optionText.size() > kOptionTextCapacity), "definition options too long");
    fuzz::Check(optionText.substr(0, kOptionTextCapacity) == parsed.optionText.c_str(), "definition options");
    size_t definedItem = defined.find("Item=");
    std::string definedName = definedItem == std::string::npos ? "" : ItemNameBehind(defined.substr(definedItem + 5));
    fuzz::Check(definedName == parsed.itemName.c_str(), "definition item name");
    std::string whole = line.c_str();
    char choice = '1';
    if (Has(whole, ",Alias")) choice = '2';
    if (Has(whole, ",Host")) choice = '3';
    if (Has(whole, ",Sid")) choice = '4';
    fuzz::Check(choice == parsed.channelNameChoice, "channel-name choice");
    return 0;
}
