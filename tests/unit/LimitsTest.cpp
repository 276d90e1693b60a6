#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/Options.h"
#include "output/Document.h"
#include "space/Limits.h"
#include "space/Patterns.h"
#include "space/SpaceFigures.h"

namespace {

bool Matches(const char *pattern, const char *name) { return MatchesPattern(pattern, name); }

TEST(Patterns, StarAndQuestionMarkInAnyLetterCase) {
    EXPECT_TRUE(Matches("PSAPSR3", "psapsr3"));
    EXPECT_FALSE(Matches("PSAPSR3", "PSAPSR3USR")); // the whole name, not a prefix
    EXPECT_FALSE(Matches("PSAPSR3USR", "PSAPSR3"));
    EXPECT_TRUE(Matches("psap*", "PSAPSR3"));
    EXPECT_TRUE(Matches("PSAP*", "PSAP"));
    EXPECT_TRUE(Matches("*", ""));
    EXPECT_FALSE(Matches("?", ""));
    EXPECT_TRUE(Matches("PSAPSR3???", "PSAPSR3USR"));
    EXPECT_FALSE(Matches("PSAPSR3???", "PSAPSR3DB"));
    EXPECT_TRUE(Matches("*USR", "PSAPSR3USR"));
    EXPECT_FALSE(Matches("*USR", "PSAPSR3USRX"));
    EXPECT_FALSE(Matches("", "A"));
}

TEST(Patterns, StarGivesBackWhatALaterPartNeeds) {
    EXPECT_TRUE(Matches("*SR3*R", "PSAPSR3USR")); // the first "SR3" candidate is the right one
    EXPECT_TRUE(Matches("P*A*B", "PXAAXAB"));     // "A*B" must restart past the first A
    EXPECT_TRUE(Matches("**?*", "X"));
    EXPECT_FALSE(Matches("*A*A*A", "AA"));
    EXPECT_TRUE(Matches("a*b?c", "AxxBxC"));
    EXPECT_FALSE(Matches("a*b?c", "AxxBC"));
}

TEST(Patterns, ListsAndTheOnlySkipRule) {
    FixedText<kPatternListCapacity> only("PSAPSR3*;SYSTEM");
    FixedText<kPatternListCapacity> skip("*USR;;");
    FixedText<kPatternListCapacity> none;
    EXPECT_TRUE(MatchesAnyPattern(only, "SYSTEM"));
    EXPECT_TRUE(MatchesAnyPattern(only, "PSAPSR3DB"));
    EXPECT_FALSE(MatchesAnyPattern(only, "SYSAUX"));
    EXPECT_FALSE(MatchesAnyPattern(none, "SYSAUX"));
    // Empty pieces between separators match nothing, not the empty name.
    EXPECT_FALSE(MatchesAnyPattern(skip, ""));

    EXPECT_TRUE(KeepsTablespace(none, none, "ANY"));
    EXPECT_TRUE(KeepsTablespace(only, none, "PSAPSR3"));
    EXPECT_FALSE(KeepsTablespace(only, none, "PSAPUNDO"));
    EXPECT_TRUE(KeepsTablespace(none, skip, "PSAPUNDO"));
    EXPECT_FALSE(KeepsTablespace(none, skip, "PSAPSR3USR"));
    EXPECT_FALSE(KeepsTablespace(only, skip, "PSAPSR3USR")); // SKIP wins over ONLY

    EXPECT_TRUE(HoldsPattern(only));
    EXPECT_FALSE(HoldsPattern(FixedText<8>(";;")));
    EXPECT_FALSE(HoldsPattern(none));
}

SpaceOptions Limits(bool warningGiven = false, int32_t warning = 0, bool errorGiven = false,
                    int32_t error = 0) {
    SpaceOptions options;
    options.limits = true;
    options.warningGiven = warningGiven;
    options.warningLevel = warning;
    options.errorGiven = errorGiven;
    options.errorLevel = error;
    return options;
}

TEST(LimitLevels, PercentDefaultsSizesOnlyGiven) {
    LimitLevels levels = ChannelLevels(Limits(), SizeUnit::Percent);
    EXPECT_TRUE(levels.warning && levels.error);
    EXPECT_EQ(90, levels.warningLevel);
    EXPECT_EQ(95, levels.errorLevel);

    levels = ChannelLevels(Limits(true, 80), SizeUnit::Percent);
    EXPECT_EQ(80, levels.warningLevel);
    EXPECT_EQ(95, levels.errorLevel); // the other level keeps its default

    levels = ChannelLevels(Limits(false, 0, true, 0), SizeUnit::Percent);
    EXPECT_EQ(90, levels.warningLevel);
    EXPECT_TRUE(levels.error);
    EXPECT_EQ(0, levels.errorLevel); // ERROR=0 is a level, not "none"

    // Sizes: only the levels given.
    levels = ChannelLevels(Limits(), SizeUnit::Megabyte);
    EXPECT_FALSE(levels.warning || levels.error);
    levels = ChannelLevels(Limits(false, 0, true, 2000), SizeUnit::Gigabyte);
    EXPECT_FALSE(levels.warning);
    EXPECT_EQ(2000, levels.errorLevel);
}

TEST(LimitLevels, FreeSpaceFullestAndDaysAndTheExemptSet) {
    SpaceOptions free = Limits(true, 20);
    free.free = true;
    LimitLevels levels = ChannelLevels(free, SizeUnit::Gigabyte);
    EXPECT_TRUE(levels.lower && levels.warning && !levels.error); // only the level given
    FixedText<159> message;
    LimitMessage(message, "PRD", "PSAPSR3", levels, levels.warningLevel);
    EXPECT_STREQ(message.c_str(), "PRD: PSAPSR3 under 20 GByte");
    // Fullest is in percent: the percent defaults where WARN= is in another unit.
    levels = FullestLevels(free, SizeUnit::Gigabyte);
    EXPECT_TRUE(!levels.lower && levels.warningLevel == 90 && levels.errorLevel == 95);
    EXPECT_EQ(FullestLevels(Limits(true, 80), SizeUnit::Percent).warningLevel, 80);
    EXPECT_FALSE(FullestLevels(SpaceOptions(), SizeUnit::Percent).warning);

    SpaceOptions days = Limits();
    levels = DaysLevels(days);
    EXPECT_TRUE(levels.lower && levels.warningLevel == 30 && levels.errorLevel == 7);
    LimitMessage(message, "PRD", "a tablespace full in", levels, levels.errorLevel);
    EXPECT_STREQ(message.c_str(), "PRD: a tablespace full in under 7 days");
    EXPECT_FALSE(DaysLevels(SpaceOptions()).warning);

    SpaceOptions exempt;
    for (const char *name : {"PSAPTEMP", "psaptemp2", "PSAPUNDO_001", "PSAPROLL"})
        EXPECT_FALSE(CarriesLevels(exempt, name)) << name;
    for (const char *name : {"PSAPSR3", "PSAPROLL2", "SYSTEM"})
        EXPECT_TRUE(CarriesLevels(exempt, name)) << name;
    exempt.noLevels.Clear(); // NOLEVELS= alone
    EXPECT_TRUE(CarriesLevels(exempt, "PSAPTEMP"));
}

TEST(FreeValue, WholeMegabytesOrGigabytesWithThreeDecimals) {
    auto value = [](int64_t kilobytes, SizeUnit unit) {
        FixedText<23> text;
        AppendFreeValue(text, kilobytes, unit);
        return std::string(text.c_str());
    };
    EXPECT_EQ(value(12345678, SizeUnit::Gigabyte), "12.345");
    EXPECT_EQ(value(999, SizeUnit::Gigabyte), "0.000");
    EXPECT_EQ(value(-1500, SizeUnit::Gigabyte), "-0.001"); // a damaged row keeps its sign
    EXPECT_EQ(value(INT64_MIN, SizeUnit::Gigabyte), "-9223372036854.775");
    EXPECT_EQ(value(12345678, SizeUnit::Megabyte), "12345");
}

TEST(ChannelGuard, RoomFollowsTheKeywords) {
    SpaceOptions none;
    EXPECT_EQ(0, ChannelRoomFor(none, false));
    EXPECT_EQ(0, ChannelRoomFor(none, true));
    SpaceOptions total;
    total.total = true;
    EXPECT_EQ(50, ChannelRoomFor(total, false));
    EXPECT_EQ(49, ChannelRoomFor(total, true)); // one place for the closing "Failed systems"
    SpaceOptions skip;
    skip.skip.Assign("X");
    EXPECT_EQ(50, ChannelRoomFor(skip, false));
}

TEST(AutoextendField, TextOfKilobytesEitherAlignment) {
    auto kilobytes = [](const char *field) {
        uint8_t bytes[kTsauLength + 4];
        std::memset(bytes, '9', sizeof bytes); // what follows the field is not read
        std::memcpy(bytes, field, kTsauLength);
        return AutoextendKilobytes(bytes);
    };
    EXPECT_EQ(3905735885LL, kilobytes("3905735885    "));
    EXPECT_EQ(3905735885LL, kilobytes("    3905735885"));
    EXPECT_EQ(99999999999999LL, kilobytes("99999999999999"));
    EXPECT_EQ(-12, kilobytes("-12           "));
    EXPECT_EQ(0, kilobytes("              "));
    EXPECT_EQ(0, kilobytes("n/a           "));
}

// The option record as the parser gives it.
struct Parsed {
    explicit Parsed(const char *asGiven) {
        OptionText text;
        JoinOptionText(text, asGiven, nullptr);
        ParseOptions(text.upper, text.asGiven, options);
    }
    Options options;
};

TEST(SpaceKeywords, WholeWordsInAnyLetterCase) {
    Parsed parsed("megabyte,Limits,total autoextend");
    EXPECT_TRUE(parsed.options.space.limits);
    EXPECT_TRUE(parsed.options.space.total);
    EXPECT_TRUE(parsed.options.space.autoextend);
    EXPECT_EQ(SizeUnit::Megabyte, parsed.options.sizeUnit);
    EXPECT_TRUE(parsed.options.space.Any());

    // Inside a pattern, an item name or a longer word a keyword is none.
    Parsed inside("only=PSAPTOTAL;LIMITS,item=TOTAL unlimits totals");
    EXPECT_FALSE(inside.options.space.limits);
    EXPECT_FALSE(inside.options.space.total);
    EXPECT_STREQ("PSAPTOTAL;LIMITS", inside.options.space.only.c_str());
    EXPECT_TRUE(inside.options.space.Any());

    Parsed none("PRD megabyte");
    EXPECT_FALSE(none.options.space.Any());
}

TEST(SpaceKeywords, LevelsImplyLimits) {
    Parsed warn("WARN=80");
    EXPECT_TRUE(warn.options.space.limits);
    EXPECT_TRUE(warn.options.space.warningGiven);
    EXPECT_EQ(80, warn.options.space.warningLevel);
    EXPECT_FALSE(warn.options.space.errorGiven);

    Parsed error("gigabyte error=2000,x");
    EXPECT_TRUE(error.options.space.limits);
    EXPECT_TRUE(error.options.space.errorGiven);
    EXPECT_EQ(2000, error.options.space.errorLevel);
    FixedText<127> message;
    EXPECT_TRUE(CheckOptions(error.options, message));
    EXPECT_STREQ("", message.c_str());
}

TEST(SpaceKeywords, PatternsUpperCasedUpToCommaOrBlank) {
    Parsed parsed("skip=psaptemp;psapundo,only=PSAP* limits");
    EXPECT_STREQ("PSAPTEMP;PSAPUNDO", parsed.options.space.skip.c_str());
    EXPECT_STREQ("PSAP*", parsed.options.space.only.c_str());
    EXPECT_TRUE(parsed.options.space.limits);
}

TEST(SpaceKeywords, UnusableValuesAreError1035AsTyped) {
    const char *cases[][2] = {
        {"limits,warn=9x", "Error 1035: Invalid Option-Value warn=9x !"},
        {"Warn=", "Error 1035: Invalid Option-Value Warn= !"},
        {"error=-5", "Error 1035: Invalid Option-Value error=-5 !"},
        {"error=1234567890", "Error 1035: Invalid Option-Value error=1234567890 !"},
        {"only=,limits", "Error 1035: Invalid Option-Value only= !"},
        {"total skip=;;", "Error 1035: Invalid Option-Value skip=;; !"},
    };
    for (const auto &c : cases) {
        Parsed parsed(c[0]);
        FixedText<kDocumentCapacity> message;
        EXPECT_FALSE(CheckOptions(parsed.options, message)) << c[0];
        EXPECT_STREQ(c[1], message.c_str()) << c[0];
    }
}

TEST(RunKeywords, TimeoutAndParallelWithinTheirBoundsOrError1035) {
    struct {
        const char *text;
        uint32_t timeout;
        uint32_t parallel;
    } accepted[] = {
        {"x item=A", 55, 1},      {"timeout=1,parallel=1", 1, 1}, {"TIMEOUT=900 PARALLEL=64", 900, 64},
        {"timeout=0110", 110, 1}, {"parallel=08", 55, 8},
    };
    for (const auto &c : accepted) {
        Parsed parsed(c.text);
        FixedText<kDocumentCapacity> message;
        EXPECT_TRUE(CheckOptions(parsed.options, message)) << c.text << ": " << message.c_str();
        EXPECT_EQ(c.timeout, parsed.options.timeoutSeconds) << c.text;
        EXPECT_EQ(c.parallel, parsed.options.parallel) << c.text;
    }
    const char *refused[][2] = {
        {"timeout=0", "timeout=0"},       {"timeout=901", "timeout=901"},  {"timeout=-3", "timeout=-3"},
        {"timeout=1e1", "timeout=1e1"},   {"Timeout=", "Timeout="},        {"parallel=0", "parallel=0"},
        {"x,parallel=65", "parallel=65"}, {"parallel=8x", "parallel=8x"},  {"parallel=+8", "parallel=+8"},
        {"timeout=99999999999", "timeout=99999999999"},
    };
    for (const auto &c : refused) {
        Parsed parsed(c[0]);
        FixedText<kDocumentCapacity> message;
        EXPECT_FALSE(CheckOptions(parsed.options, message)) << c[0];
        EXPECT_EQ(std::string("Error 1035: Invalid Option-Value ") + c[1] + " !", message.c_str()) << c[0];
    }
}

TEST(SpaceKeywords, FiltersThatLeaveNothingAreNamed) {
    Parsed skip("skip=psap*");
    EXPECT_TRUE(FiltersLeaveNothing(skip.options.space, 3, 0));
    EXPECT_FALSE(FiltersLeaveNothing(skip.options.space, 3, 1));
    EXPECT_FALSE(FiltersLeaveNothing(skip.options.space, 0, 0)); // a system without tablespaces
    EXPECT_FALSE(FiltersLeaveNothing(Parsed("limits").options.space, 3, 0));
    FixedText<kDocumentCapacity> message;
    NoTablespaceLeftText(message, skip.options.space);
    EXPECT_STREQ("Error 1042: No tablespace left by SKIP=PSAP* !", message.c_str());
    NoTablespaceLeftText(message, Parsed("only=x;y").options.space);
    EXPECT_STREQ("Error 1042: No tablespace left by ONLY=X;Y !", message.c_str());
}

TEST(OptionText, EveryWordJoinedAndNeverCut) {
    const char *words[] = {"limits", "total", "gigabyte", nullptr};
    OptionText text;
    JoinOptionText(text, 3, words);
    EXPECT_STREQ("limits total gigabyte", text.asGiven.c_str());
    EXPECT_STREQ("LIMITS TOTAL GIGABYTE", text.upper.c_str());
    JoinOptionText(text, 0, words);
    EXPECT_STREQ("", text.asGiven.c_str());

    // 127 characters are used whole; one more is refused, never read as "error=9".
    std::string fits = std::string(103, 'x') + ",limits,warn=80,error=95";
    ASSERT_EQ(kOptionTextCapacity, fits.size());
    Parsed whole(fits.c_str());
    FixedText<kDocumentCapacity> message;
    EXPECT_TRUE(CheckOptions(whole.options, message));
    EXPECT_EQ(95, whole.options.space.errorLevel);
    Parsed over(("y" + fits).c_str());
    EXPECT_FALSE(CheckOptions(over.options, message));
    EXPECT_STREQ("Error 1040: Option text longer than 127 characters !", message.c_str());
}

class Writer : public ::testing::Test {
  protected:
    void SetUp() override {
        output::document = output::SensorDocument();
        ConfigureDocument(DocumentSettings());
    }
    static std::string Take() {
        std::string out = output::document.buffer.c_str();
        output::document.buffer.Clear();
        return out;
    }
};

TEST_F(Writer, LimitsAndWarningInTheResultElement) {
    ChannelExtras extras;
    extras.prtgUnit = "Percent";
    extras.sensorWarning = true;
    extras.warningLevel = true;
    extras.maxWarning = 90;
    extras.warningMessage = "PRD: A&B over 90 %";
    extras.errorLevel = true;
    extras.maxError = 95;
    extras.errorMessage = "PRD: A&B over 95 %";
    WriteChannel("A&B", "97", "PerCent", extras);
    EXPECT_EQ("\n<Result><Channel>A&amp;B</Channel>\n<Unit>Percent</Unit>\n<Value>97</Value>\n"
              "<Warning>1</Warning>\n<LimitMode>1</LimitMode>\n<LimitMaxWarning>90</LimitMaxWarning>\n"
              "<LimitMaxError>95</LimitMaxError>\n<LimitWarningMsg>PRD: A&amp;B over 90 %</LimitWarningMsg>\n"
              "<LimitErrorMsg>PRD: A&amp;B over 95 %</LimitErrorMsg></Result>\n",
              Take());

    ChannelExtras errorOnly;
    errorOnly.errorLevel = true;
    errorOnly.maxError = 2000;
    errorOnly.errorMessage = "E";
    WriteChannel("B", "3", "GByte", errorOnly);
    EXPECT_EQ("\n<Result><Channel>B</Channel>\n<Unit>Custom</Unit>\n<CustomUnit>GByte</CustomUnit>\n"
              "<Value>3</Value>\n<LimitMode>1</LimitMode>\n<LimitMaxError>2000</LimitMaxError>\n"
              "<LimitErrorMsg>E</LimitErrorMsg></Result>\n",
              Take());
}

TEST_F(Writer, GuardHoldsBackChannelsPastItsRoom) {
    DocumentSettings settings;
    settings.mode = OutputMode::Brennic;
    settings.channel.given = true;
    settings.channel.number = 3;
    settings.channelRoom = 2;
    ConfigureDocument(settings);
    WriteChannel("A", "1", "");
    WriteChannel("B", "2", "");
    WriteChannel("C", "3", "");
    WriteChannel("D", "4", "");
    // Held-back channels are no channels: CH=3 finds none and the count stays at the room.
    EXPECT_EQ("", Take());
    EXPECT_EQ(2, output::document.channelCount);
    EXPECT_EQ(2, ChannelsLeftOut());
    SetChannelRoom(3);
    WriteChannel("E", "5", "");
    EXPECT_EQ("5", Take());
    EXPECT_EQ(2, ChannelsLeftOut());
}

} // namespace
