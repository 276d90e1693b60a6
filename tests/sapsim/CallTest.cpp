// The two function modules: records and rows laid out from the installed descriptions, filled by
// field name; structure installation; internal tables.
#include "SapSimSupport.h"

#include <chrono>

using namespace sapsim_test;

namespace {

class CallTest : public SapSimTest {
  protected:
    void SetUp() override {
        SapSimTest::SetUp();
        InstallStructures();
    }

    RFC_HANDLE Connect(const std::string &extra) {
        Write("SapSim.json", Landscape(extra));
        RFC_HANDLE connection = OpenServer("sapprd", 0);
        EXPECT_NE(0u, connection);
        return connection;
    }
};

TEST_F(CallTest, StructureHandlesAreNeitherTypeCodesNorShared) {
    EXPECT_GT(systemInfo_, 8u);
    EXPECT_GT(dateTime_, 8u);
    EXPECT_GT(tablespaceRow_, 8u);
    EXPECT_NE(systemInfo_, dateTime_);
    EXPECT_NE(dateTime_, tablespaceRow_);
    EXPECT_EQ(tablespaceRow_, Install("TABLE_XPC", TablespaceDescription()));
}

TEST_F(CallTest, DescriptionsThatCannotBeLaidOutAreRefused) {
    struct Case {
        std::vector<RFC_TYPE_ELEMENT> description;
        const char *message;
    } cases[] = {
        {{{"A", RFCTYPE_INT, 2, 0, 0}},
         "RfcInstallStructure: structure BAD: field 1 is an integer of length 2, not 4"},
        {{{"A", RFCTYPE_CHAR, 1, 0, 0}, {"B", 5, 4, 0, 0}},
         "RfcInstallStructure: structure BAD: field 2 has the "
         "unsupported type 5"},
        {{{nullptr, RFCTYPE_CHAR, 1, 0, 0}}, "RfcInstallStructure: structure BAD: field 1 has no name"},
        {{{"A", RFCTYPE_CHAR, 0, 0, 0}},
         "RfcInstallStructure: structure BAD: field 1 has the unsupported length 0"},
        {{{"A", RFCTYPE_BCD, 2, 4, 0}},
         "RfcInstallStructure: structure BAD: field 1 has more decimals than digits"},
    };
    for (Case &c : cases) {
        RFC_TYPEHANDLE handle = 77;
        EXPECT_NE(0,
                  RfcInstallStructure("BAD", c.description.data(), unsigned(c.description.size()), &handle));
        EXPECT_EQ(77u, handle);
        EXPECT_STREQ(c.message, LastError().message);
    }
    EXPECT_NE(0, RfcInstallStructure("BAD", nullptr, 3, nullptr));
}

TEST_F(CallTest, SystemInfoFillsTheRecordByFieldName) {
    RFC_HANDLE connection =
        Connect(R"("sysinfo": { "RFCSYSID": "PRD", "RFCOPSYS": "Linux", "RFCSAPRL": 75 })");
    SystemInfo info = CallSystemInfo(connection, systemInfo_);
    ASSERT_EQ(RFC_OK, info.outcome);
    EXPECT_EQ("sapprd  ", info.Field(45, 8));
    EXPECT_EQ("ORACLE    ", info.Field(101, 10));
    EXPECT_EQ("PRD     ", info.Field(53, 8));
    EXPECT_EQ("Linux     ", info.Field(120, 10));
    EXPECT_EQ("75  ", info.Field(111, 4));
    EXPECT_EQ(std::string(32, ' '), info.Field(13, 32));
    EXPECT_EQ(std::string(44, ' '), info.Field(156, 44));
    EXPECT_EQ('X', info.loginComplete[0]);
    EXPECT_EQ(' ', info.dialogUserType[0]);
    EXPECT_EQ(4, info.currentResources);
    EXPECT_EQ(8, info.maximalResources);
    EXPECT_EQ(0, info.recommendedDelay);
}

TEST_F(CallTest, SystemInfoDefaultsGiveWayToTheLandscape) {
    Write("SapSim.json", R"({ "systems": [ { "ashost": "sapprd01.example.com", "sysnr": 0,
        "sysinfo": { "RFCDBSYS": "DB6" } } ] })");
    SystemInfo info = CallSystemInfo(Keep(OpenServer("SAPPRD01.EXAMPLE.COM", 0)), systemInfo_);
    ASSERT_EQ(RFC_OK, info.outcome);
    EXPECT_EQ("sapprd01", info.Field(45, 8));
    EXPECT_EQ("DB6       ", info.Field(101, 10));
}

TEST_F(CallTest, CurrentSizesAppendsOneRowPerTablespaceThenTheRawRows) {
    std::string raw(224, '0');
    raw.replace(0, 6, "414243");
    RFC_HANDLE connection = Connect(R"("date": "20240131", "time": "235959",
        "tablespaces": [ { "name": "PSAPSR3", "size_kb": 1000000, "free_kb": 255555 },
                         { "name": "PSAPUNDO", "size_kb": 2500000, "free_kb": -499999, "pct_used": 80 },
                         { "name": "EMPTY", "size_kb": 0, "free_kb": 0 } ],
        "rows": [ ")" + raw + R"(", "FF EE" ])");
    ITAB_H table = ItCreate("TS", 112, 0, 0);
    ASSERT_NE(nullptr, table);
    CurrentSizes sizes = CallCurrentSizes(connection, table, dateTime_, tablespaceRow_);
    ASSERT_EQ(RFC_OK, sizes.outcome);
    EXPECT_EQ("20240131", std::string(sizes.date, 8));
    EXPECT_EQ("235959", std::string(sizes.time, 6));
    EXPECT_EQ("20240131235959", std::string(sizes.dateTime, 14));
    ASSERT_EQ(5u, ItFill(table));

    const void *first = ItGetLine(table, 1);
    EXPECT_EQ("PSAPSR3" + std::string(23, ' '), TextAt(first, 0, 30));
    EXPECT_EQ("0000", Hex(static_cast<const char *>(first) + 30, 2));
    EXPECT_EQ(0, IntegerAt(first, 32));
    EXPECT_EQ("ONLINE   ", TextAt(first, 52, 9));
    EXPECT_EQ("000000001000000C", Hex(static_cast<const char *>(first) + 61, 8));
    EXPECT_EQ("000000000255555C", Hex(static_cast<const char *>(first) + 69, 8));
    EXPECT_EQ(74, IntegerAt(first, 80));
    EXPECT_EQ("0" + std::string(13, ' '), TextAt(first, 92, 14));
    EXPECT_EQ(0, IntegerAt(first, 108));

    const void *second = ItGetLine(table, 2);
    EXPECT_EQ("000000000499999D", Hex(static_cast<const char *>(second) + 69, 8));
    EXPECT_EQ(80, IntegerAt(second, 80));
    EXPECT_EQ(0, IntegerAt(ItGetLine(table, 3), 80));

    EXPECT_EQ("ABC" + std::string(109, '\0'), TextAt(ItGetLine(table, 4), 0, 112));
    EXPECT_EQ("\xFF\xEE" + std::string(110, '\0'), TextAt(ItGetLine(table, 5), 0, 112));

    ASSERT_EQ(RFC_OK, CallCurrentSizes(connection, table, dateTime_, tablespaceRow_).outcome);
    EXPECT_EQ(10u, ItFill(table));
    EXPECT_EQ(0, ItDelete(table));
}

TEST_F(CallTest, TablespaceStatusAndAutoextendFigures) {
    RFC_HANDLE connection = Connect(R"("tablespaces": [
        { "name": "PSAPSR3", "size_kb": 1000, "free_kb": 30, "status": "OFFLINE",
          "autoextend_kb": 99999999999999, "autoextend_pct": 60 },
        { "name": "PSAPOLD", "status": "READ ONLY AND MORE", "autoextend_kb": -9999999999999, "autoextend_pct": -1 } ])");
    ITAB_H table = ItCreate("TS", 112, 0, 0);
    ASSERT_EQ(RFC_OK, CallCurrentSizes(connection, table, dateTime_, tablespaceRow_).outcome);
    const void *first = ItGetLine(table, 1);
    EXPECT_EQ("OFFLINE  ", TextAt(first, 52, 9));
    EXPECT_EQ("99999999999999", TextAt(first, 92, 14));
    EXPECT_EQ(60, IntegerAt(first, 108));
    EXPECT_EQ(97, IntegerAt(first, 80));
    const void *second = ItGetLine(table, 2);
    EXPECT_EQ("READ ONLY", TextAt(second, 52, 9));
    EXPECT_EQ("-9999999999999", TextAt(second, 92, 14));
    EXPECT_EQ(-1, IntegerAt(second, 108));
    ItDelete(table);
}

TEST_F(CallTest, WrongDescriptionShowsAsWrongData) {
    std::vector<RFC_TYPE_ELEMENT> rows = TablespaceDescription();
    rows[7].length = 7; // TSIZE one byte short: TFREE moves to 68, TPCTUSED to 76
    RFC_TYPEHANDLE shortRow = Install("TABLE_XPC", rows);
    std::vector<RFC_TYPE_ELEMENT> record = SystemInfoDescription();
    record[4].length = 31; // RFCDEST one byte short: RFCHOST moves to 44
    RFC_TYPEHANDLE shortRecord = Install("RFCSI", record);
    std::vector<RFC_TYPE_ELEMENT> dateTime = DateTimeDescription();
    dateTime[1].name = "MONI_TIM";
    RFC_TYPEHANDLE misnamed = Install("DATE_TIME", dateTime);

    RFC_HANDLE connection = Connect(R"("date": "20240131", "time": "235959",
        "tablespaces": [ { "name": "PSAPSR3", "size_kb": 1000000, "free_kb": 255555, "pct_used": 75 } ])");
    SystemInfo info = CallSystemInfo(connection, shortRecord);
    ASSERT_EQ(RFC_OK, info.outcome);
    EXPECT_EQ("apprd   ", info.Field(45, 8));
    EXPECT_EQ("sapprd  ", info.Field(44, 8));
    EXPECT_EQ("#", info.Field(199, 1));

    ITAB_H table = ItCreate("TS", 112, 0, 0);
    CurrentSizes sizes = CallCurrentSizes(connection, table, misnamed, shortRow);
    ASSERT_EQ(RFC_OK, sizes.outcome);
    EXPECT_EQ("20240131000000", std::string(sizes.dateTime, 14));
    const void *row = ItGetLine(table, 1);
    EXPECT_NE("000000001000000C", Hex(static_cast<const char *>(row) + 61, 8));
    EXPECT_EQ("0000001000000C", Hex(static_cast<const char *>(row) + 61, 7));
    EXPECT_EQ("000000000255555C", Hex(static_cast<const char *>(row) + 68, 8));
    EXPECT_EQ(0, IntegerAt(row, 80));
    EXPECT_EQ(75, IntegerAt(row, 76));
    ItDelete(table);
}

TEST_F(CallTest, UnknownFunctionModuleRaisesASystemException) {
    RFC_HANDLE connection = Connect("");
    RFC_PARAMETER none[] = {{nullptr, 0, 0, 0, nullptr}};
    RFC_TABLE noTables[] = {{nullptr, 0, 0, 0, nullptr, 0, 0}};
    char *exception = nullptr;
    ASSERT_EQ(RFC_OK, RfcCall(connection, "Z_NO_SUCH_MODULE", none, noTables));
    EXPECT_EQ(RFC_SYS_EXCEPTION, RfcReceive(connection, none, noTables, &exception));
    ASSERT_NE(nullptr, exception);
    EXPECT_STREQ("FUNCTION_NOT_FOUND", exception);
    EXPECT_STREQ("function module Z_NO_SUCH_MODULE not found", LastError().message);
}

TEST_F(CallTest, CallsOnUnknownHandlesOrOutOfTurnFail) {
    RFC_PARAMETER none[] = {{nullptr, 0, 0, 0, nullptr}};
    RFC_TABLE noTables[] = {{nullptr, 0, 0, 0, nullptr, 0, 0}};
    EXPECT_EQ(RFC_FAILURE, RfcCall(4000000000u, "RFC_SYSTEM_INFO", none, noTables));
    EXPECT_STREQ("RfcCall: invalid connection handle 4000000000", LastError().message);

    RFC_HANDLE connection = Connect("");
    EXPECT_EQ(RFC_FAILURE, RfcReceive(connection, none, noTables, nullptr));
    EXPECT_STREQ("RfcReceive: no call to receive", LastError().message);

    RFC_TABLE badTable[] = {{"TS", 2, tablespaceRow_, 0, &connection, 0, 0},
                            {nullptr, 0, 0, 0, nullptr, 0, 0}};
    ASSERT_EQ(RFC_OK, RfcCall(connection, "DB_ORA_CURRENT_SIZES", none, badTable));
    EXPECT_EQ(RFC_FAILURE, RfcReceive(connection, none, badTable, nullptr));
    EXPECT_STREQ("DB_ORA_CURRENT_SIZES: table TS has no internal table", LastError().message);

    char small[4];
    RFC_PARAMETER oversized[] = {Parameter("CURRENT_RESOURCES", RFCTYPE_CHAR, 0xFFFFFFFFu, small),
                                 {nullptr, 0, 0, 0, nullptr}};
    ASSERT_EQ(RFC_OK, RfcCall(connection, "RFC_SYSTEM_INFO", none, noTables));
    EXPECT_EQ(RFC_FAILURE, RfcReceive(connection, oversized, noTables, nullptr));
    EXPECT_STREQ("RFC_SYSTEM_INFO: parameter CURRENT_RESOURCES has the unsupported length 4294967295",
                 LastError().message);

    RfcClose(connection);
    RfcClose(connection);
    RfcClose(0);
    EXPECT_EQ(RFC_FAILURE, RfcCall(connection, "RFC_SYSTEM_INFO", none, noTables));
}

// One latency for the open, one for the round trip of a call (sent by RfcCall, answered by
// RfcReceive): the delays are at least that, whatever else the machine does.
TEST_F(CallTest, LatencyDelaysTheOpenAndEachRoundTripOnce) {
    auto start = std::chrono::steady_clock::now();
    RFC_HANDLE connection = Connect(R"("latency_ms": 60)");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(RFC_OK, CallSystemInfo(connection, systemInfo_).outcome);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(60));
}

TEST_F(CallTest, InternalTablesCountLinesFromOne) {
    RFC_HANDLE connection = Connect(R"("tablespaces": [ { "name": "A" }, { "name": "B" } ])");
    ITAB_H table = ItCreate("TS", 112, 0, 0);
    ASSERT_EQ(RFC_OK, CallCurrentSizes(connection, table, dateTime_, tablespaceRow_).outcome);
    ASSERT_EQ(2u, ItFill(table));
    EXPECT_EQ(nullptr, ItGetLine(table, 0));
    EXPECT_EQ("A", TextAt(ItGetLine(table, 1), 0, 1));
    EXPECT_EQ("B", TextAt(ItGetLine(table, 2), 0, 1));
    EXPECT_EQ(nullptr, ItGetLine(table, 3));
    EXPECT_EQ(0, ItDelete(table));

    int notATable = 0;
    EXPECT_EQ(0u, ItFill(table));
    EXPECT_EQ(nullptr, ItGetLine(table, 1));
    EXPECT_NE(0, ItDelete(table));
    EXPECT_NE(0, ItDelete(&notATable));
    EXPECT_EQ(nullptr, ItGetLine(nullptr, 1));
    EXPECT_EQ(nullptr, ItCreate("TS", 0, 0, 0));
}

} // namespace
