#include <gtest/gtest.h>

#include <random>
#include <string>

#include "TempDirectory.h"
#include "driver/Listing.h"
#include "driver/Password.h"
#include "driver/Profile.h"
#include "output/Document.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"

namespace {

// Random text made of the characters these files are built from, long lines and odd bytes among
// them. Run under the sanitizers, every reader must stay inside its buffers.
std::string RandomText(std::mt19937 &random, size_t length) {
    static const char pieces[] =
        "Password...: Destination:# Gsng: # GSNX: ERROR **** ERROR ======> \r\n\n#:,@\\\0\x7f\xff";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text +=
            (random() % 4 == 0) ? static_cast<char>(random() % 256) : pieces[random() % (sizeof pieces - 1)];
    }
    return text;
}

TEST(Robustness, ProfilesOfRandomBytes) {
    TempDirectory dir;
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        dir.Write("profile", RandomText(random, random() % 2000));
        FILE *file = OpenFile("profile", "rb");
        ASSERT_NE(file, nullptr);
        ConnectionFields fields;
        ReadProfile(file, fields, round % 2 ? kProfileLineSingleRun : kProfileLineSystemLoop, round % 3 == 0);
        CloseFile(file);
        CheckProfileFields(fields);
        for (size_t i = 0; i < 11; ++i)
            EXPECT_LE(ProfileField(fields, i).size(), ProfileField(fields, i).capacity());
    }
}

TEST(Robustness, StoredPasswordsOfRandomBytes) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string value = RandomText(random, 20 + random() % 8);
        FixedText<31> password;
        if (UnscramblePassword(value.c_str(), password) == PasswordFault::None) {
            EXPECT_LE(password.size(), kPasswordBodyLength);
        }
    }
}

TEST(Robustness, TraceFilesAndListingsOfRandomBytes) {
    TempDirectory dir;
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        dir.Write("Dev_Rfc.Trc", RandomText(random, random() % 3000));
        documentBuffer.Clear();
        AppendTraceNotice();
        EXPECT_TRUE(documentBuffer.StartsWith(" - "));

        FixedText<2047> listing;
        bool full = false;
        for (int piece = 0; piece < 20; ++piece)
            AppendToListing(listing, RandomText(random, random() % 300).c_str(), full);
        FixedText<2047> entry;
        for (int taken = 0; !listing.empty(); ++taken) {
            ASSERT_LT(taken, 2048);
            TakeListingEntry(listing, entry);
        }
    }
}

} // namespace
