// Shared pieces of the stand-in library's tests: a fresh working directory per test, the structure
// descriptions and calls as the sensor makes them, and readers for records and rows.
#ifndef SAPSIM_TEST_SUPPORT_H
#define SAPSIM_TEST_SUPPORT_H

#include "rfc/RfcLibrary.h"
#include "rfc/Structures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace sapsim_test {

inline std::vector<std::string> &HandlerCalls() {
    static std::vector<std::string> calls;
    return calls;
}

inline void RFC_CALL RecordingHandler(const char *operation) { HandlerCalls().push_back(operation); }

inline void UseHandler(RFC_ERROR_HANDLER handler) {
    RFC_ENV environment{handler, nullptr};
    RfcEnvironment(&environment);
}

// The sensor's own descriptions: offsets and decimals 0, the library lays the fields out.
template <size_t N> std::vector<RFC_TYPE_ELEMENT> Description(const RFC_TYPE_ELEMENT (&elements)[N]) {
    return std::vector<RFC_TYPE_ELEMENT>(elements, elements + N);
}
inline std::vector<RFC_TYPE_ELEMENT> SystemInfoDescription() { return Description(rfc::kRfcsiDescription); }
inline std::vector<RFC_TYPE_ELEMENT> DateTimeDescription() { return Description(rfc::kDateTimeDescription); }
inline std::vector<RFC_TYPE_ELEMENT> TablespaceDescription() { return Description(rfc::kTableXpcDescription); }

inline RFC_TYPEHANDLE Install(const char *name, std::vector<RFC_TYPE_ELEMENT> description) {
    RFC_TYPEHANDLE handle = 0;
    EXPECT_EQ(
        0, RfcInstallStructure(name, description.data(), static_cast<unsigned>(description.size()), &handle))
        << name;
    return handle;
}

inline RFC_PARAMETER Parameter(const char *name, RFC_TYPEHANDLE type, uint32_t length, void *address) {
    return {name, static_cast<uint32_t>(std::strlen(name)), type, length, address};
}

// What RFC_SYSTEM_INFO delivers, received as the sensor receives it.
struct SystemInfo {
    int32_t currentResources = -1;
    char dialogUserType[1] = {'?'};
    int32_t maximalResources = -1;
    int32_t recommendedDelay = -1;
    char record[200];
    char loginComplete[1] = {'?'};
    char *exception = nullptr;
    int outcome = -1;

    std::string Field(std::size_t offset, std::size_t length) const { return {record + offset, length}; }
};

inline SystemInfo CallSystemInfo(RFC_HANDLE connection, RFC_TYPEHANDLE recordType) {
    SystemInfo info;
    std::memset(info.record, '#', sizeof info.record);
    RFC_PARAMETER none[] = {{nullptr, 0, 0, 0, nullptr}};
    RFC_TABLE noTables[] = {{nullptr, 0, 0, 0, nullptr, 0, 0}};
    RFC_PARAMETER importing[] = {Parameter("CURRENT_RESOURCES", RFCTYPE_INT, 4, &info.currentResources),
                                 Parameter("DIALOG_USER_TYPE", RFCTYPE_CHAR, 1, info.dialogUserType),
                                 Parameter("MAXIMAL_RESOURCES", RFCTYPE_INT, 4, &info.maximalResources),
                                 Parameter("RECOMMENDED_DELAY", RFCTYPE_INT, 4, &info.recommendedDelay),
                                 Parameter("RFCSI_EXPORT", recordType, 200, info.record),
                                 Parameter("RFC_LOGIN_COMPLETE", RFCTYPE_CHAR, 1, info.loginComplete),
                                 {nullptr, 0, 0, 0, nullptr}};
    info.outcome = RfcCall(connection, "RFC_SYSTEM_INFO", none, noTables);
    if (info.outcome == RFC_OK) info.outcome = RfcReceive(connection, importing, noTables, &info.exception);
    return info;
}

// What DB_ORA_CURRENT_SIZES delivers; the rows go into the caller's internal table.
struct CurrentSizes {
    char date[8];
    char time[6];
    char dateTime[14];
    char *exception = nullptr;
    int outcome = -1;
};

inline CurrentSizes CallCurrentSizes(RFC_HANDLE connection, ITAB_H table, RFC_TYPEHANDLE dateTimeType,
                                     RFC_TYPEHANDLE rowType) {
    CurrentSizes sizes;
    std::memset(sizes.date, '#', sizeof sizes.date);
    std::memset(sizes.time, '#', sizeof sizes.time);
    std::memset(sizes.dateTime, '#', sizeof sizes.dateTime);
    RFC_PARAMETER none[] = {{nullptr, 0, 0, 0, nullptr}};
    RFC_TABLE tables[] = {{"TS", 2, rowType, 0, table, 0, 0}, {nullptr, 0, 0, 0, nullptr, 0, 0}};
    RFC_PARAMETER importing[] = {Parameter("CURR_DATE", RFCTYPE_DATE, 8, sizes.date),
                                 Parameter("CURR_TIME", RFCTYPE_TIME, 6, sizes.time),
                                 Parameter("DATETIME", dateTimeType, 14, sizes.dateTime),
                                 {nullptr, 0, 0, 0, nullptr}};
    sizes.outcome = RfcCall(connection, "DB_ORA_CURRENT_SIZES", none, tables);
    if (sizes.outcome == RFC_OK) sizes.outcome = RfcReceive(connection, importing, tables, &sizes.exception);
    return sizes;
}

inline std::string Hex(const void *bytes, std::size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        unsigned byte = static_cast<const unsigned char *>(bytes)[i];
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

inline int32_t IntegerAt(const void *row, std::size_t offset) {
    const unsigned char *bytes = static_cast<const unsigned char *>(row) + offset;
    return static_cast<int32_t>(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                                uint32_t(bytes[3]) << 24);
}

inline std::string TextAt(const void *row, std::size_t offset, std::size_t length) {
    return {static_cast<const char *>(row) + offset, length};
}

inline RFC_ERROR_INFO LastError() {
    RFC_ERROR_INFO info;
    std::memset(&info, 'x', sizeof info);
    RfcLastError(&info);
    return info;
}

// Working directories not yet removed; a death test's child process ends without TearDown, so
// whatever is left goes when the process exits.
inline std::vector<std::filesystem::path> &PendingDirectories() {
    static std::vector<std::filesystem::path> directories;
    return directories;
}

inline void RemovePendingDirectories() {
    std::error_code ignored;
    for (const auto &directory : PendingDirectories())
        std::filesystem::remove_all(directory, ignored);
    PendingDirectories().clear();
}

// Each test runs in a working directory of its own; the library's files are read and written there.
class SapSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The list exists before the exit handler is registered, so it outlives the handler's run.
        static const bool cleanupAtExit = (PendingDirectories(), std::atexit(RemovePendingDirectories) == 0);
        (void)cleanupAtExit;
        char pattern[] = "/tmp/sapsim-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        directory_ = pattern;
        PendingDirectories().push_back(directory_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(directory_);
        UseHandler(nullptr);
        HandlerCalls().clear();
    }

    void TearDown() override {
        for (RFC_HANDLE handle : opened_)
            RfcClose(handle);
        UseHandler(nullptr);
        std::filesystem::current_path(previous_);
        RemovePendingDirectories();
    }

    // The sensor's three structures, as it installs them once per run.
    void InstallStructures() {
        systemInfo_ = Install("RFCSI", SystemInfoDescription());
        dateTime_ = Install("DATE_TIME", DateTimeDescription());
        tablespaceRow_ = Install("TABLE_XPC", TablespaceDescription());
    }

    void Write(const std::string &name, const std::string &text) {
        std::ofstream(name, std::ios::binary) << text;
    }

    std::string Read(const std::string &name) {
        std::ifstream file(name, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::vector<std::string> TraceLines() {
        std::vector<std::string> lines;
        std::istringstream text(Read("Dev_Rfc.Trc"));
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }

    // Opens like the sensor: user blank-padded to 12 characters, password to 10.
    RFC_HANDLE OpenServer(const char *host, int32_t sysnr, std::string client = "100",
                          std::string user = "MONITOR", std::string password = "secret") {
        server_ = {host, sysnr, nullptr, nullptr};
        return OpenWith(RFC_MODE_SERVER, &server_, client, user, password);
    }

    RFC_HANDLE OpenGateway(const char *host, const char *service) {
        gateway_ = {host, service};
        return OpenWith(RFC_MODE_GATEWAY, &gateway_, "100", "MONITOR", "secret");
    }

    RFC_HANDLE OpenEx(const std::string &connect) {
        RFC_ERROR_INFO_EX error;
        return Keep(RfcOpenEx(connect.c_str(), &error));
    }

    RFC_HANDLE Keep(RFC_HANDLE handle) {
        if (handle != 0) opened_.push_back(handle);
        return handle;
    }

    std::filesystem::path directory_;
    RFC_TYPEHANDLE systemInfo_ = 0;
    RFC_TYPEHANDLE dateTime_ = 0;
    RFC_TYPEHANDLE tablespaceRow_ = 0;

  private:
    RFC_HANDLE OpenWith(uint32_t mode, void *connection, std::string client, std::string user,
                        std::string password) {
        client_ = client;
        user_ = user.size() < 12 ? user + std::string(12 - user.size(), ' ') : user;
        password_ = password.size() < 10 ? password + std::string(10 - password.size(), ' ') : password;
        RFC_OPTIONS options{"PRD", mode, connection, client_.c_str(), user_.c_str(), password_.c_str(),
                            "E",   0};
        return Keep(RfcOpen(&options));
    }

    std::filesystem::path previous_;
    std::vector<RFC_HANDLE> opened_;
    RFC_CONNOPT_SERVER server_{};
    RFC_CONNOPT_GATEWAY gateway_{};
    std::string client_, user_, password_;
};

// One system on sapprd/00 and gwprd/sapgw00, client 100, user MONITOR with password secret.
inline std::string Landscape(const std::string &extra = "") {
    return R"({ "systems": [ { "ashost": "sapprd", "sysnr": "00", "gwhost": "gwprd", "gwserv": "sapgw00",
        "client": "100", "users": { "MONITOR": "secret" })" +
           (extra.empty() ? "" : ", " + extra) + " } ] }";
}

} // namespace sapsim_test

#endif
