#include <gtest/gtest.h>

#include <random>
#include <string>

#include "TempDirectory.h"
#include "driver/Password.h"
#include "driver/Profile.h"
#include "platform/Platform.h"

namespace {

// The connection fields the readers below fill, as a run keeps them from one profile to the next.
ConnectionFields connection;

uint32_t NextRandom(void *context) {
    return static_cast<uint32_t>((*static_cast<std::mt19937 *>(context))());
}

std::string Stored(const char *password, uint32_t seed = 1) {
    std::mt19937 random(seed);
    FixedText<kStoredPasswordLength> stored;
    EXPECT_TRUE(ScramblePassword(password, stored, NextRandom, &random)) << password;
    return stored.c_str();
}

TEST(Password, ScrambledValuesArePrintableAndUnscrambleToThePassword) {
    const char *passwords[] = {"x",
                               "secret",
                               "Init1234",
                               "p@ss&<word>",
                               "~~~~~~~~",
                               "zzzzzzzzzzzzzz",
                               "12345678901234567890",
                               "!\"#$%&'()*+,-./:;<=>?"};
    for (const char *password : passwords) {
        if (strlen(password) > kPasswordBodyLength) continue;
        for (uint32_t seed = 0; seed < 50; ++seed) {
            std::string stored = Stored(password, seed);
            ASSERT_EQ(stored.size(), kStoredPasswordLength);
            for (char c : stored)
                ASSERT_TRUE(c > ' ' && c < 0x7F) << password << " gives " << stored;
            FixedText<31> back;
            ASSERT_EQ(UnscramblePassword(stored.c_str(), back), PasswordFault::None) << stored;
            EXPECT_STREQ(back.c_str(), password);
        }
    }
}

TEST(Password, UnstorablePasswordsAreRefused) {
    std::mt19937 random(7);
    FixedText<kStoredPasswordLength> stored;
    for (const char *bad : {"", "with blank", "123456789012345678901", "tab\there", "\xe4rger"}) {
        EXPECT_FALSE(ScramblePassword(bad, stored, NextRandom, &random)) << bad;
    }
}

TEST(Password, FormAndCheckDigitFaults) {
    std::string stored = Stored("secret");
    FixedText<31> password("previous");
    EXPECT_EQ(UnscramblePassword(stored.substr(0, 23).c_str(), password), PasswordFault::Form);
    EXPECT_EQ(UnscramblePassword((stored + "x").c_str(), password), PasswordFault::Form);
    std::string header = stored;
    header[2] = 'z'; // the third header character is no longer a digit
    EXPECT_EQ(UnscramblePassword(header.c_str(), password), PasswordFault::Form);
    EXPECT_STREQ(password.c_str(), "previous");
    // Changing one body character changes the check sum (a letter or digit becomes another one).
    int wrong = 0;
    for (size_t i = 4; i < 24; ++i) {
        std::string body = stored;
        body[i] = static_cast<char>(body[i] ^ 0x01);
        if (UnscramblePassword(body.c_str(), password) == PasswordFault::CheckDigit) ++wrong;
    }
    EXPECT_GT(wrong, 10);
}

class ProfileFiles : public ::testing::Test {
  protected:
    void SetUp() override { connection = ConnectionFields(); }
    TempDirectory dir;
    ProfileLocation location;
};

TEST_F(ProfileFiles, ResolvingTheName) {
    struct {
        const char *argument, *directory, *name;
        bool item;
    } cases[] = {
        {"PRD", "", "PRD.P00", false},
        {"PRD.cfg", "", "PRD.cfg", false},
        {"ab", "", "ab.P00", false},
        {"global", "", "SAP Quorvane.Gbl", true},
        {"Global.p00", "", "SAP Quorvane.Gbl", true},
        {"C:\\Sensors\\PRD.P00", "C:\\Sensors\\", "PRD.P00", false},
        {"C:\\Sensors\\global", "C:\\Sensors\\", "SAP Quorvane.Gbl", true},
        {"\\PRD.P00", "", "\\PRD.P00", false},
        {"Quorvane.Prf", "", "Quorvane.Prf", false},
    };
    for (const auto &c : cases) {
        location = ProfileLocation();
        ResolveProfileName(c.argument, location);
        EXPECT_STREQ(location.directory.c_str(), c.directory) << c.argument;
        EXPECT_STREQ(location.name.c_str(), c.name) << c.argument;
        EXPECT_EQ(location.globalListing, c.item) << c.argument;
    }
}

TEST_F(ProfileFiles, OverlongNamesAreCutAndNeverOpened) {
    std::string longName(300, 'P');
    dir.Write(std::string(63, 'P'), "x");
    ResolveProfileName(longName.c_str(), location);
    EXPECT_EQ(location.name.size(), 63u);
    FixedText<255> error;
    EXPECT_EQ(LocateProfile(location, false, error), nullptr);
    EXPECT_TRUE(error.StartsWith("Error 1002: Profile PPPP"));
}

TEST_F(ProfileFiles, DirectPathWithoutTheDirectorySearch) {
    dir.Write("sub/PRD.P00", "x");
    FixedText<255> error;
    std::string argument = dir.path().string() + "/sub\\PRD";
    // A POSIX path with a backslash before the name: the directory part ends at that backslash.
    ResolveProfileName(argument.c_str(), location);
    FILE *file = LocateProfile(location, false, error);
    ASSERT_NE(file, nullptr);
    CloseFile(file);

    ResolveProfileName("sub\\QAS", location);
    EXPECT_EQ(LocateProfile(location, false, error), nullptr);
    EXPECT_STREQ(error.c_str(), "Error 1002: Profile sub\\QAS.P00 is missing...");

    // A line output mode skips the search as "@" does: the driver asks for no search.
    ResolveProfileName("sub\\PRD", location);
    file = LocateProfile(location, false, error);
    ASSERT_NE(file, nullptr);
    CloseFile(file);
}

TEST_F(ProfileFiles, DirectorySearchFindsTheWorkingDirectoryOrNamesTheBareProfile) {
    dir.Write("PRD.P00", "x");
    ResolveProfileName("C:\\elsewhere\\PRD", location);
    FixedText<255> error;
    FILE *file = LocateProfile(location, true, error);
    ASSERT_NE(file, nullptr); // the directory part is dropped; found in the working directory
    CloseFile(file);
    EXPECT_STREQ(location.path.c_str(), "PRD.P00");

    ResolveProfileName("C:\\elsewhere\\QAS", location);
    EXPECT_EQ(LocateProfile(location, true, error), nullptr);
    EXPECT_STREQ(error.c_str(), "Error 1002: Profile QAS.P00 is missing...");
}

ProfileFault Read(const std::string &content, size_t maxLine = kProfileLineSingleRun, bool stop = true) {
    FILE *file = OpenFile("profile", "wb");
    fwrite(content.data(), 1, content.size(), file);
    CloseFile(file);
    file = OpenFile("profile", "rb");
    ProfileFault fault = ReadProfile(file, connection, maxLine, stop);
    CloseFile(file);
    return fault;
}

std::string CompleteProfile(const std::string &passwordValue, const char *eol = "\n") {
    std::string lines[] = {"* PRD production", "Extcompany.: ACME",    "Destination: PRD",
                           "Client.....: 100", "User.......: monitor", "Password...: " + passwordValue,
                           "Language...: E",   "Mode.......: R/3",     "Hostname...: sapprd",
                           "Sysnr......: 00",  "Gwhost.....: sapprd",  "Gwservice..: sapgw00"};
    std::string text;
    for (const std::string &line : lines)
        text += line + eol;
    return text;
}

TEST_F(ProfileFiles, ReadsKeysFromCrLfAndLfFilesAlike) {
    std::string stored = Stored("secret");
    for (const char *eol : {"\n", "\r\n"}) {
        connection = ConnectionFields();
        ASSERT_EQ(Read(CompleteProfile(stored, eol)), ProfileFault::None);
        EXPECT_STREQ(connection.extcompany.c_str(), "ACME");
        EXPECT_STREQ(connection.destination.c_str(), "PRD");
        EXPECT_STREQ(connection.client.c_str(), "100");
        EXPECT_STREQ(connection.user.c_str(), "MONITOR");
        EXPECT_STREQ(connection.password.c_str(), "secret");
        EXPECT_STREQ(connection.language.c_str(), "E");
        EXPECT_STREQ(connection.mode.c_str(), "R/3");
        EXPECT_STREQ(connection.hostname.c_str(), "sapprd");
        EXPECT_STREQ(connection.shownHost.c_str(), "sapprd");
        EXPECT_STREQ(connection.sysnr.c_str(), "00");
        EXPECT_STREQ(connection.gwhost.c_str(), "sapprd");
        EXPECT_STREQ(connection.gwservice.c_str(), "sapgw00");
        EXPECT_EQ(CheckProfileFields(connection), ProfileFault::None);
    }
}

TEST_F(ProfileFiles, KeyAndValueColumns) {
    Read("Client.....: 100\nclient.....: 999\nClient.....:100\nDestination:\nHostname...: " +
         std::string(70, 'h') + "\nUser.......: sapuser\nDestination: PRD\nDestination: QAS\n");
    EXPECT_STREQ(connection.client.c_str(), "00"); // character 13 is skipped; the later line wins
    EXPECT_EQ(connection.hostname.size(), 47u);    // 60 characters of value, cut to the field
    EXPECT_STREQ(connection.user.c_str(), "SAPUSER");
    EXPECT_STREQ(connection.destination.c_str(), "QAS");
}

TEST_F(ProfileFiles, OverlongLineContinuesAsTheNextLine) {
    // 159 characters are one line in a single-system run; the rest is read as a line of its own.
    std::string filler(159 - 13, 'x');
    Read("Language...: " + filler + "Client.....: 200\n");
    EXPECT_STREQ(connection.client.c_str(), "200");
    connection = ConnectionFields();
    Read("Language...: " + filler + "Client.....: 200\n", kProfileLineSystemLoop, false);
    EXPECT_STREQ(connection.client.c_str(), "");
}

TEST_F(ProfileFiles, ChecksInTheirOrder) {
    std::string stored = Stored("secret");
    EXPECT_EQ(Read(CompleteProfile(stored.substr(0, 23))), ProfileFault::InvalidPassword);

    connection = ConnectionFields();
    Read("Password...: " + stored + "\n");
    EXPECT_EQ(CheckProfileFields(connection), ProfileFault::UserMissing);
    Read("User.......: x\nPassword...:\n");
    EXPECT_EQ(CheckProfileFields(connection), ProfileFault::PasswordMissing);
    Read(CompleteProfile(stored) + "Gwservice..: s\n");
    EXPECT_EQ(CheckProfileFields(connection), ProfileFault::InvalidParameters);
    // A value longer than its field is refused, never used cut.
    Read(CompleteProfile(stored) + "Destination: PRODUCTION01\n");
    EXPECT_EQ(CheckProfileFields(connection), ProfileFault::InvalidParameters);
    Read("Destination: PRODUCTION0\n");
    EXPECT_EQ(CheckProfileFields(connection), ProfileFault::None);

    FixedText<127> text;
    ProfileFaultText(text, ProfileFault::InvalidParameters, "PRD.P00");
    EXPECT_STREQ(text.c_str(), "Error 1003: Invalid Parameter(s) at PRD.P00 found...");
    ProfileFaultText(text, ProfileFault::InvalidPassword, "PRD.P00");
    EXPECT_STREQ(text.c_str(), "Error 1004: Invalid Password in Profile PRD.P00 found...");
    ProfileFaultText(text, ProfileFault::WrongPassword, "PRD.P00");
    EXPECT_STREQ(text.c_str(), "Error 1005: Wrong Password in Profile PRD.P00 found...");
    ProfileFaultText(text, ProfileFault::UserMissing, "PRD.P00");
    EXPECT_STREQ(text.c_str(), "Error 1006: Username in Profile PRD.P00 is missing...");
    ProfileFaultText(text, ProfileFault::PasswordMissing, "PRD.P00");
    EXPECT_STREQ(text.c_str(), "Error 1007: Password in Profile PRD.P00 is missing...");
}

TEST_F(ProfileFiles, SystemLoopNeverKeepsAnotherSystemsPassword) {
    std::string stored = Stored("first");
    Read(CompleteProfile(stored), kProfileLineSystemLoop, false);
    EXPECT_STREQ(connection.password.c_str(), "first");
    // A second profile with a damaged password: the field is emptied, not kept.
    EXPECT_EQ(Read("Password...: " + stored.substr(1) + "\n", kProfileLineSystemLoop, false),
              ProfileFault::InvalidPassword);
    EXPECT_STREQ(connection.password.c_str(), "");
    // A profile that lacks a key keeps the previous system's value.
    Read("Client.....: 300\n", kProfileLineSystemLoop, false);
    EXPECT_STREQ(connection.destination.c_str(), "PRD");
    EXPECT_STREQ(connection.client.c_str(), "300");
}

} // namespace
