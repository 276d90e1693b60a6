// The sensor's RFC access: opening the connection, the two function-module calls with their
// structure descriptions, the system information reader and the failure reports.
//
// Reads from the run state: the connection fields, the option text (",HOST=", ",NO=").
// Writes: the run status and the shown host (ReadSystemInfo); appends to the document buffer.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"
#include "rfc/RfcLibrary.h"

// The records handed to the library; the caller keeps them for the whole run.
struct RfcOpenRecords {
    RFC_OPTIONS options{};
    RFC_CONNOPT_GATEWAY gateway{};
    RFC_CONNOPT_SERVER server{};
};

// Opens the connection from the connection fields: through "SapRfc." + destination copied to
// "SapRfc.ini" and RfcOpenEx when that file exists, otherwise through RfcOpen. 0: no connection.
RFC_HANDLE OpenRfcConnection(RfcOpenRecords &records);

// Appends " - " and the last error text of "Dev_Rfc.Trc" (or a notice that there is none) to the
// document buffer.
void AppendTraceNotice();

// The library's error handler: prints the last RFC error and ends the process with status 1.
[[noreturn]] void RFC_CALL RfcFailureHandler(const char *operation);

constexpr size_t kExceptionTextCapacity = 255;

// RFC_SYSTEM_INFO; the RFCSI record is 200 bytes.
struct SystemInfoAnswer {
    int32_t currentResources = 0;
    char dialogUserType[1] = {};
    int32_t maximalResources = 0;
    int32_t recommendedDelay = 0;
    uint8_t rfcsi[200] = {};
    char loginComplete[1] = {};
};
int CallSystemInfo(RFC_HANDLE handle, SystemInfoAnswer &answer, TextBase &exceptionText);

// DB_ORA_CURRENT_SIZES; the rows of TS (TABLE_XPC, 112 bytes) go to the caller's internal table.
struct CurrentSizesAnswer {
    char currentDate[8] = {};
    char currentTime[6] = {};
    uint8_t dateTime[14] = {};
};
int CallCurrentSizes(RFC_HANDLE handle, CurrentSizesAnswer &answer, ITAB_H table, TextBase &exceptionText);

// The message of a call outcome other than 0, appended to the document buffer.
void AppendOutcomeMessage(int outcome, const TextBase &exceptionText);

// The database system (RFCDBSYS) of the last successful system information call.
extern FixedText<10> databaseSystem;

// Calls RFC_SYSTEM_INFO; on success sets the run status to "OK" and keeps the database system and
// the system's host, otherwise appends the outcome message.
int ReadSystemInfo(RFC_HANDLE handle);
