// The logon pieces that a case cannot look into: the hash against published vectors (a fault there
// would still pass every guard case, comparing a hash with itself), the guard's record lines, and
// the LOGON= keyword.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/Credentials.h"
#include "driver/LogonGuard.h"
#include "driver/Options.h"
#include "driver/Sha256.h"

namespace {

std::string Hex(const uint8_t *bytes, size_t count) {
    std::string text;
    char pair[3];
    for (size_t i = 0; i < count; ++i) {
        snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

std::string Sha(const std::string &message) {
    Sha256 hash;
    // In uneven pieces, so a block is filled across calls.
    for (size_t at = 0; at < message.size(); at += 7)
        hash.Add(message.data() + at, std::min<size_t>(7, message.size() - at));
    uint8_t digest[kSha256Length];
    hash.Finish(digest);
    return Hex(digest, sizeof digest);
}

TEST(Sha256, PublishedVectors) {
    EXPECT_EQ(Sha(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, HmacAndPbkdf2PublishedVectors) {
    uint8_t out[kSha256Length];
    const char *data = "what do ya want for nothing?";
    HmacSha256(reinterpret_cast<const uint8_t *>("Jefe"), 4, reinterpret_cast<const uint8_t *>(data),
               strlen(data), out);
    EXPECT_EQ(Hex(out, sizeof out), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    // A key longer than the block is hashed first (RFC 4231, case 6).
    std::string longKey(131, '\xaa');
    const char *test = "Test Using Larger Than Block-Size Key - Hash Key First";
    HmacSha256(reinterpret_cast<const uint8_t *>(longKey.data()), longKey.size(),
               reinterpret_cast<const uint8_t *>(test), strlen(test), out);
    EXPECT_EQ(Hex(out, sizeof out), "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
    const uint8_t *password = reinterpret_cast<const uint8_t *>("password");
    const uint8_t *salt = reinterpret_cast<const uint8_t *>("salt");
    Pbkdf2Sha256(password, 8, salt, 4, 1, out);
    EXPECT_EQ(Hex(out, sizeof out), "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    Pbkdf2Sha256(password, 8, salt, 4, 4096, out);
    EXPECT_EQ(Hex(out, sizeof out), "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
}

TEST(LogonGuard, RecordLinesParseOrCountAsDamaged) {
    const char *salt = "000102030405060708090a0b0c0d0e0f";
    std::string hash(64, 'a');
    std::string good = std::string("MONITOR@PRD/100\tsapprd/00\tpbkdf2-sha256:10000\t") + salt + "\t" + hash +
                       "\tName or password is incorrect (repeat logon)";
    LogonRecord record;
    ASSERT_TRUE(ParseLogonRecord(FixedText<kLogonGuardLine>(good.c_str()), record));
    EXPECT_STREQ(record.name.c_str(), "MONITOR@PRD/100");
    EXPECT_STREQ(record.address.c_str(), "sapprd/00");
    EXPECT_STREQ(record.message.c_str(), "Name or password is incorrect (repeat logon)");

    std::string damaged[] = {
        "",
        "# a comment",
        good.substr(0, good.rfind('\t')),                    // no message field at all
        std::string(good).replace(good.find("pbkdf2"), 6, "pbkdf3"), // another scheme
        std::string(good).replace(good.find(salt), 2, "zz"),         // a salt that is no hex
        std::string(good).replace(good.find(hash), 1, ""),           // a hash one digit short
        std::string("\t") + good.substr(good.find('\t') + 1),        // no name
    };
    for (const std::string &line : damaged)
        EXPECT_FALSE(ParseLogonRecord(FixedText<kLogonGuardLine>(line.c_str()), record)) << line;
}

TEST(LogonGuard, HashDependsOnPasswordAndSaltAndShowsNeither) {
    FixedText<127> one, again, otherPassword, otherSalt;
    FixedText<63> salt("000102030405060708090a0b0c0d0e0f");
    ASSERT_TRUE(HashPassword(FixedText<40>("Pass-Word-1"), salt, one));
    ASSERT_TRUE(HashPassword(FixedText<40>("Pass-Word-1"), salt, again));
    ASSERT_TRUE(HashPassword(FixedText<40>("Pass-Word-2"), salt, otherPassword));
    ASSERT_TRUE(HashPassword(FixedText<40>("Pass-Word-1"), FixedText<63>("0f0102030405060708090a0b0c0d0e0f"),
                             otherSalt));
    EXPECT_EQ(one.size(), 64u);
    EXPECT_STREQ(one.c_str(), again.c_str());
    EXPECT_STRNE(one.c_str(), otherPassword.c_str());
    EXPECT_STRNE(one.c_str(), otherSalt.c_str());
    EXPECT_FALSE(HashPassword(FixedText<40>("x"), FixedText<63>("0001"), one)); // a salt too short
}

TEST(LogonGuard, IdentityNamesUserSystemClientAndAddressAfterOverrides) {
    ConnectionFields fields;
    fields.user.Assign("MONITOR");
    fields.destination.Assign("PRD");
    fields.client.Assign("100");
    fields.hostname.Assign("sapprd");
    fields.sysnr.Assign("00");
    fields.gwhost.Assign("gwprd");
    fields.gwservice.Assign("sapgw00");
    ConnectionOverrides overrides;
    LogonIdentity identity;
    DescribeLogon(fields, overrides, identity);
    EXPECT_STREQ(identity.name.c_str(), "MONITOR@PRD/100");
    EXPECT_STREQ(identity.address.c_str(), "sapprd/00");
    overrides.host = true;
    overrides.hostname.Assign("sapprd2");
    DescribeLogon(fields, overrides, identity);
    EXPECT_STREQ(identity.address.c_str(), "sapprd2/00");
    fields.mode.Assign("R/2");
    DescribeLogon(fields, overrides, identity);
    EXPECT_STREQ(identity.address.c_str(), "gwprd:sapgw00");
}

TEST(LogonKeyword, LinuxOrWindowsInAnyCaseAnythingElseIsError1035) {
    struct {
        const char *options;
        LogonSource source;
        const char *error; // null: accepted
    } cases[] = {
        {"logon=linux", LogonSource::Linux, nullptr},
        {"MEGABYTE,Logon=Windows", LogonSource::Windows, nullptr},
        {"megabyte", LogonSource::Profile, nullptr},
        {"xlogon=linux", LogonSource::Profile, nullptr}, // no keyword of its own
        {"logon=linuxx", LogonSource::Profile, "Error 1035: Invalid Option-Value logon=linuxx !"},
        {"logon=", LogonSource::Profile, "Error 1035: Invalid Option-Value logon= !"},
    };
    for (const auto &c : cases) {
        OptionText text;
        JoinOptionText(text, c.options, nullptr);
        Options options;
        ParseOptions(text.upper, text.asGiven, options);
        EXPECT_EQ(options.logon, c.source) << c.options;
        FixedText<255> error;
        EXPECT_EQ(CheckOptions(options, error), c.error == nullptr) << c.options;
        if (c.error != nullptr) {
            EXPECT_STREQ(error.c_str(), c.error) << c.options;
        }
    }
}

} // namespace
