// Fixed vectors: stored values already written into profiles (the demo's among them) and the
// passwords they unscramble to. A change to the key table or the unshuffle order breaks every
// profile in the field; these catch it, where a scramble-then-unscramble test cannot.
#include <gtest/gtest.h>

#include "driver/Password.h"
#include "rfc/Rfc.h"

namespace {

TEST(StoredPasswordVectors, UnscrambleToTheirPasswords) {
    struct {
        const char *stored, *password;
    } vectors[] = {
        {"9+57Tp~-m':|_xjPpUKXblvt", "Marrow1nd"}, // examples/demo/PRD.P00
        {"3.57JeWj3iZf}NCbc4H<a`:i", "Dev-Pass1"}, // examples/demo/DEV.P00
        {":-57_iU}\"A{pYr~}7lt%u~'a", "Tst-Pass1"}, // examples/demo/TST.P00
        {":*56@<}znfJ>%ONmcCnj*wEx", "Bw-Pass1"},  // examples/demo/BWP.P00
        {">(57VjRb-hZ5qx,qtMZQdm6e", "Qas-Pass1"}, // examples/demo/QAS.P00
        {"<,57Xu^`6pCeXbC0+dUhlk?s", "Erp-Pass1"}, // examples/demo/ERP.P00
        {"=.58}pbKnvmlPUouN_*c'uei", "secret"},
        {"?.56Gz6*tHkc[{Q?GK^E&3cb", "Init1234"},
        {">/4?u}5pk<aLybrU^xr{e.rW", "p@ss&<word>"},
        {":,5<eOb]2qT)J1zD-aV?KCsx", "xy"},
        {";,7>,6;$>(1$+0&;,9&6'<&3", "12345678901234567890"},
    };
    for (const auto &v : vectors) {
        FixedText<31> password;
        ASSERT_EQ(UnscramblePassword(v.stored, password), PasswordFault::None) << v.stored;
        EXPECT_STREQ(password.c_str(), v.password) << v.stored;
    }
}

// The records handed to RfcOpen: the stand-in library is lenient about them, SAP's is not.
TEST(OpenRecords, PaddingNullPointersLanguageAndSystemNumber) {
    ConnectionFields fields;
    fields.destination.Assign("PRD");
    fields.client.Assign("100");
    fields.user.Assign("MON");
    fields.password.Assign("pw1");
    fields.language.Assign("E");
    fields.mode.Assign("R/3");
    fields.hostname.Assign("sapprd");
    fields.sysnr.Assign("05x");
    ConnectionOverrides none;
    RfcOpenRecords records;
    FillOpenRecords(fields, none, records);
    const RFC_OPTIONS &options = records.options;
    EXPECT_STREQ(options.destination, "PRD");
    EXPECT_STREQ(options.client, "100");
    EXPECT_STREQ(options.user, "MON         ");  // blank-padded to 12
    EXPECT_STREQ(options.password, "pw1       "); // blank-padded to 10
    EXPECT_STREQ(options.language, "E");           // as the profile gives it
    EXPECT_EQ(options.mode, static_cast<uint32_t>(RFC_MODE_SERVER));
    EXPECT_EQ(options.trace, 0);
    ASSERT_EQ(options.connopt, &records.server);
    EXPECT_STREQ(records.server.hostname, "sapprd");
    EXPECT_EQ(records.server.sysnr, 5); // the leading digits
    EXPECT_EQ(records.server.gateway_host, nullptr);
    EXPECT_EQ(records.server.gateway_service, nullptr);

    // The next system has no system number: the previous one carries over; an empty language stays
    // empty; a user of 12 characters or more is not padded.
    fields.sysnr.Clear();
    fields.language.Clear();
    fields.user.Assign("MONITORUSER12");
    fields.hostname.Clear();
    fields.gwhost.Assign("gw");
    FillOpenRecords(fields, none, records);
    EXPECT_EQ(records.server.sysnr, 5);
    EXPECT_STREQ(options.language, "");
    EXPECT_STREQ(options.user, "MONITORUSER12");
    EXPECT_EQ(records.server.hostname, nullptr);
    EXPECT_STREQ(records.server.gateway_host, "gw");

    // Overrides: an empty host is a null host; a system number override replaces the profile's.
    ConnectionOverrides overrides;
    overrides.host = true;
    overrides.sysnr = true;
    overrides.sysnrText.Assign("07");
    fields.hostname.Assign("sapprd");
    FillOpenRecords(fields, overrides, records);
    EXPECT_EQ(records.server.hostname, nullptr);
    EXPECT_EQ(records.server.sysnr, 7);

    // Mode "R/2" (exactly) goes through the gateway record.
    fields.mode.Assign("R/2");
    fields.gwservice.Assign("sapgw00");
    FillOpenRecords(fields, none, records);
    EXPECT_EQ(options.mode, static_cast<uint32_t>(RFC_MODE_GATEWAY));
    ASSERT_EQ(options.connopt, &records.gateway);
    EXPECT_STREQ(records.gateway.gateway_host, "gw");
    EXPECT_STREQ(records.gateway.gateway_service, "sapgw00");
    fields.mode.Assign("r/2");
    FillOpenRecords(fields, none, records);
    EXPECT_EQ(options.mode, static_cast<uint32_t>(RFC_MODE_SERVER));

    FixedText<255> connect;
    fields.user.Assign("MONITOR");
    BuildConnectString(connect, fields);
    EXPECT_STREQ(connect.c_str(), "CLIENT=100 USER=MONITOR PASSWD=pw1 LANG=D DEST=PRD");
}

} // namespace
