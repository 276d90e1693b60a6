#include <gtest/gtest.h>

#include <string>

#include "driver/Outcome.h"

namespace {

SystemOutcome Sample() {
    SystemOutcome outcome;
    outcome.state = SystemState::Processed;
    outcome.systemLine.Assign("* 12:00:00 PRD.P00, sapprd, PRD, 00, 100");
    outcome.destinationNotice = true;
    outcome.destination.Assign("PRD");
    outcome.channelCount = 2;
    outcome.channels[0].name.Assign("PRD.P00");
    outcome.channels[0].value.Assign("-75");
    outcome.channels[0].unit.Assign("%");
    outcome.channels[0].warningLevel = true;
    outcome.channels[0].maxWarning = 90;
    outcome.channels[0].warningMessage.Assign("PRD: PSAPSR3 over 90 % (5:3)");
    outcome.channels[1].name.Assign("PRD.P00");
    outcome.channels[1].prtgUnit.Assign("Percent");
    outcome.channels[1].lowerLimits = true; // FREE
    outcome.channels[1].floatValue = true;
    outcome.eventLines.Assign("1 RfcOpen called \n");
    return outcome;
}

} // namespace

TEST(Outcome, TravelsWholeOverThePipe) {
    static FixedText<kMaxOutcomeFrame> frame;
    EncodeOutcome(Sample(), frame);
    static SystemOutcome decoded;
    ASSERT_TRUE(DecodeOutcome(frame, decoded));
    EXPECT_EQ(SystemState::Processed, decoded.state);
    EXPECT_STREQ("PRD", decoded.destination.c_str());
    EXPECT_TRUE(decoded.destinationNotice);
    ASSERT_EQ(2u, decoded.channelCount);
    EXPECT_STREQ("-75", decoded.channels[0].value.c_str());
    EXPECT_EQ(90, decoded.channels[0].maxWarning);
    EXPECT_STREQ("PRD: PSAPSR3 over 90 % (5:3)", decoded.channels[0].warningMessage.c_str());
    EXPECT_STREQ("Percent", decoded.channels[1].prtgUnit.c_str());
    EXPECT_TRUE(decoded.channels[1].lowerLimits && decoded.channels[1].floatValue);
    EXPECT_FALSE(decoded.channels[0].lowerLimits || decoded.channels[0].floatValue);
    EXPECT_STREQ("1 RfcOpen called \n", decoded.eventLines.c_str());

    // Whatever is not the whole frame is refused: cut anywhere, or with a byte more.
    std::string whole = frame.c_str();
    static FixedText<kMaxOutcomeFrame> damaged;
    for (size_t length = 0; length < whole.size(); ++length) {
        damaged.Assign(whole.substr(0, length).c_str());
        EXPECT_FALSE(DecodeOutcome(damaged, decoded)) << "cut at " << length;
    }
    damaged.Assign((whole + "x").c_str());
    EXPECT_FALSE(DecodeOutcome(damaged, decoded));
}
