// Faults of the landscape, the trace file, RfcLastError and the error handler.
#include "SapSimSupport.h"

#include <regex>

using namespace sapsim_test;

namespace {

class FaultTest : public SapSimTest {
  protected:
    void SetUp() override {
        SapSimTest::SetUp();
        InstallStructures();
    }

    RFC_HANDLE ConnectWithFaults(const std::string &faults) {
        Write("SapSim.json", Landscape(R"("tablespaces": [ { "name": "A" } ], "faults": )" + faults));
        return OpenServer("sapprd", 0);
    }

    // The trace blocks so far: each the header line and the message line.
    std::vector<std::string> TraceMessages() {
        std::vector<std::string> lines = TraceLines();
        std::vector<std::string> messages;
        const std::regex header(R"(\*\*\*\* ERROR file opened at \d{8} \d{6})");
        EXPECT_EQ(0u, lines.size() % 2);
        for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
            EXPECT_TRUE(std::regex_match(lines[i], header)) << lines[i];
            EXPECT_EQ("ERROR       ", lines[i + 1].substr(0, 12));
            messages.push_back(lines[i + 1].substr(12));
        }
        return messages;
    }
};

TEST_F(FaultTest, LastErrorIsEmptyBeforeAnyFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process, so that no earlier test has failed anything yet.
    EXPECT_EXIT(
        {
            RFC_ERROR_INFO error = LastError();
            bool empty = !error.key[0] && !error.status[0] && !error.message[0] && !error.intstat[0];
            std::exit(empty ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FaultTest, OpenFaultsFailTheOpen) {
    EXPECT_EQ(0u, ConnectWithFaults(R"({ "open": "unreachable" })"));
    EXPECT_STREQ("RFC_ERROR_COMMUNICATION", LastError().key);
    EXPECT_STREQ("partner 'sapprd:sapgw00' not reached", LastError().message);
    EXPECT_EQ(0u, ConnectWithFaults(R"({ "open": { "fault": "unreachable", "message": "gateway down" } })"));
    EXPECT_STREQ("gateway down", LastError().message);
    EXPECT_EQ(0u, ConnectWithFaults(R"({ "open": "abort" })"));
    EXPECT_STREQ("RFC_ERROR_COMMUNICATION", LastError().key);
    EXPECT_STREQ("connection to partner broken", LastError().message);
    EXPECT_TRUE(HandlerCalls().empty());
    EXPECT_EQ((std::vector<std::string>{"partner 'sapprd:sapgw00' not reached", "gateway down",
                                        "connection to partner broken"}),
              TraceMessages());
}

TEST_F(FaultTest, BrokenOpenCallsTheHandlerWithTheOperation) {
    UseHandler(RecordingHandler);
    EXPECT_EQ(0u, ConnectWithFaults(R"({ "open": "abort" })"));
    Write("SapRfc.ini", "DEST=PRD\nTYPE=R\nGWHOST=gwprd\nGWSERV=sapgw00\n");
    EXPECT_EQ(0u, OpenEx("CLIENT=100 USER=MONITOR PASSWD=secret LANG=D DEST=PRD"));
    EXPECT_EQ(0u, OpenServer("nowhere", 0));
    EXPECT_EQ((std::vector<std::string>{"RfcOpen", "RfcOpenEx"}), HandlerCalls());
}

TEST_F(FaultTest, InstallFaultRefusesThatStructureWhileConnected) {
    RFC_HANDLE connection = ConnectWithFaults(R"({ "install": "TABLE_XPC" })");
    ASSERT_NE(0u, connection);
    std::vector<RFC_TYPE_ELEMENT> rows = TablespaceDescription();
    RFC_TYPEHANDLE handle = 0;
    EXPECT_NE(0, RfcInstallStructure("TABLE_XPC", rows.data(), 14, &handle));
    EXPECT_EQ(0u, handle);
    EXPECT_STREQ("structure TABLE_XPC cannot be installed", LastError().message);
    EXPECT_EQ(dateTime_, Install("DATE_TIME", DateTimeDescription()));
    RfcClose(connection);
    EXPECT_EQ(0, RfcInstallStructure("TABLE_XPC", rows.data(), 14, &handle));
    EXPECT_EQ(tablespaceRow_, handle);
}

TEST_F(FaultTest, FunctionModuleFaultsSetTheCallOutcome) {
    struct Case {
        const char *fault;
        int outcome;
        const char *exception; // null: none expected
        const char *traced;    // null: no trace block
    } cases[] = {
        {R"({ "call": 7 })", 7, nullptr, "RfcCall of DB_ORA_CURRENT_SIZES failed with 7"},
        {R"({ "call": 1, "message": "no resources" })", 1, nullptr, "no resources"},
        {R"({ "outcome": 1 })", 1, nullptr, "DB_ORA_CURRENT_SIZES failed with outcome 1"},
        {R"({ "outcome": 2, "exception": "NO_TABLESPACES" })", 2, "NO_TABLESPACES", nullptr},
        {R"({ "outcome": 2 })", 2, "EXCEPTION", nullptr},
        {R"({ "outcome": 3 })", 3, "SYSTEM_FAILURE",
         "DB_ORA_CURRENT_SIZES raised the system exception SYSTEM_FAILURE"},
        {R"({ "outcome": 3, "exception": "DBIF_RSQL_SQL_ERROR", "message": "ORA-01652" })", 3,
         "DBIF_RSQL_SQL_ERROR", "ORA-01652"},
        {R"({ "outcome": 9 })", 9, nullptr, "DB_ORA_CURRENT_SIZES failed with outcome 9"},
        {R"({ "call": 0, "outcome": 0 })", 0, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        std::remove("Dev_Rfc.Trc");
        RFC_HANDLE connection =
            ConnectWithFaults(std::string(R"({ "DB_ORA_CURRENT_SIZES": )") + c.fault + " }");
        ASSERT_NE(0u, connection) << c.fault;
        ITAB_H table = ItCreate("TS", 112, 0, 0);
        CurrentSizes sizes = CallCurrentSizes(connection, table, dateTime_, tablespaceRow_);
        EXPECT_EQ(c.outcome, sizes.outcome) << c.fault;
        EXPECT_EQ(c.outcome == RFC_OK ? 1u : 0u, ItFill(table)) << c.fault;
        if (c.exception) {
            ASSERT_NE(nullptr, sizes.exception) << c.fault;
            EXPECT_STREQ(c.exception, sizes.exception);
        } else {
            EXPECT_EQ(nullptr, sizes.exception) << c.fault;
        }
        EXPECT_EQ(c.traced ? std::vector<std::string>{c.traced} : std::vector<std::string>{}, TraceMessages())
            << c.fault;
        if (c.traced) {
            EXPECT_STREQ(c.traced, LastError().message);
        }
        EXPECT_EQ(RFC_OK, CallSystemInfo(connection, systemInfo_).outcome) << "other module unaffected";
        ItDelete(table);
        RfcClose(connection);
    }
}

TEST_F(FaultTest, AbortBreaksTheConnectionInsideTheOperation) {
    for (const char *operation : {"RfcCall", "RfcReceive"}) {
        for (bool handler : {true, false}) {
            HandlerCalls().clear();
            UseHandler(handler ? RecordingHandler : nullptr);
            RFC_HANDLE connection = ConnectWithFaults(std::string(R"({ "RFC_SYSTEM_INFO": { "abort": ")") +
                                                      operation + R"(" } })");
            EXPECT_EQ(RFC_FAILURE, CallSystemInfo(connection, systemInfo_).outcome);
            EXPECT_STREQ("RFC_ERROR_COMMUNICATION", LastError().key);
            EXPECT_STREQ("connection to partner broken", LastError().message);
            EXPECT_EQ(handler ? std::vector<std::string>{operation} : std::vector<std::string>{},
                      HandlerCalls());
            EXPECT_EQ(RFC_FAILURE, CallSystemInfo(connection, systemInfo_).outcome) << "connection is gone";
        }
    }
}

TEST_F(FaultTest, HandlerThatEndsTheProcessEndsItInsideTheCall) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RFC_HANDLE connection = ConnectWithFaults(R"({ "DB_ORA_CURRENT_SIZES": { "abort": "RfcReceive" } })");
    ASSERT_NE(0u, connection);
    EXPECT_EXIT(
        {
            UseHandler([](const char *operation) RFC_CALL {
                RFC_ERROR_INFO error = LastError();
                std::fprintf(stderr, "handler %s: %s\n", operation, error.message);
                RfcClose(0);
                std::exit(1);
            });
            CallCurrentSizes(connection, ItCreate("TS", 112, 0, 0), dateTime_, tablespaceRow_);
        },
        ::testing::ExitedWithCode(1), "handler RfcReceive: connection to partner broken");
}

TEST_F(FaultTest, InternalTableFaultsActWhileTheSystemIsConnected) {
    RFC_HANDLE connection = ConnectWithFaults(R"({ "itable": "create" })");
    EXPECT_EQ(nullptr, ItCreate("TS", 112, 0, 0));
    EXPECT_STREQ("ItCreate of internal table TS failed", LastError().message);
    RfcClose(connection);
    ITAB_H table = ItCreate("TS", 112, 0, 0);
    ASSERT_NE(nullptr, table);

    connection = ConnectWithFaults(R"({ "itable": { "fault": "getline", "message": "no memory for TS" } })");
    ASSERT_EQ(RFC_OK, CallCurrentSizes(connection, table, dateTime_, tablespaceRow_).outcome);
    EXPECT_EQ(1u, ItFill(table));
    EXPECT_EQ(nullptr, ItGetLine(table, 1));
    EXPECT_STREQ("no memory for TS", LastError().message);
    RfcClose(connection);
    EXPECT_NE(nullptr, ItGetLine(table, 1));

    connection = ConnectWithFaults(R"({ "itable": "delete" })");
    EXPECT_NE(0, ItDelete(table));
    EXPECT_STREQ("ItDelete of internal table TS failed", LastError().message);
    RfcClose(connection);
    EXPECT_EQ(0, ItDelete(table));
    EXPECT_EQ(3u, TraceMessages().size());
}

TEST_F(FaultTest, TraceBlocksAreAppendedAsTwoLinesEach) {
    Write("Dev_Rfc.Trc", "earlier content\n");
    ConnectWithFaults(R"({ "open": { "fault": "unreachable", "message": "first\nline\tbreak" } })");
    EXPECT_EQ(0u, OpenServer("elsewhere", 0));
    std::vector<std::string> lines = TraceLines();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("earlier content", lines[0]);
    EXPECT_EQ("ERROR       first line break", lines[2]);
    EXPECT_EQ("ERROR       partner 'elsewhere:sapgw00' not reached", lines[4]);
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(\*\*\*\* ERROR file opened at \d{8} \d{6})")));
}

TEST_F(FaultTest, LongMessagesAreCutToTheErrorRecord) {
    ConnectWithFaults(R"({ "open": { "fault": "abort", "message": ")" + std::string(400, 'm') + R"(" } })");
    EXPECT_EQ(std::string(255, 'm'), LastError().message);
    EXPECT_EQ(std::vector<std::string>{std::string(255, 'm')}, TraceMessages());
}

} // namespace
