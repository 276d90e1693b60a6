#include <cstring>

#include "output/Console.h"
#include "output/Document.h"
#include "rfc/Rfc.h"

namespace {

RFC_TYPE_ELEMENT rfcsiDescription[] = {
    {"RFCPROTO", RFCTYPE_CHAR, 3, 0, 0},   {"RFCCHARTYP", RFCTYPE_CHAR, 4, 0, 0},
    {"RFCINTTYP", RFCTYPE_CHAR, 3, 0, 0},  {"RFCFLOTYP", RFCTYPE_CHAR, 3, 0, 0},
    {"RFCDEST", RFCTYPE_CHAR, 32, 0, 0},   {"RFCHOST", RFCTYPE_CHAR, 8, 0, 0},
    {"RFCSYSID", RFCTYPE_CHAR, 8, 0, 0},   {"RFCDATABS", RFCTYPE_CHAR, 8, 0, 0},
    {"RFCDBHOST", RFCTYPE_CHAR, 32, 0, 0}, {"RFCDBSYS", RFCTYPE_CHAR, 10, 0, 0},
    {"RFCSAPRL", RFCTYPE_CHAR, 4, 0, 0},   {"RFCMACH", RFCTYPE_CHAR, 5, 0, 0},
    {"RFCOPSYS", RFCTYPE_CHAR, 10, 0, 0},  {"RFCTZONE", RFCTYPE_CHAR, 6, 0, 0},
    {"RFCDAYST", RFCTYPE_CHAR, 1, 0, 0},   {"RFCIPADDR", RFCTYPE_CHAR, 15, 0, 0},
    {"RFCKERNRL", RFCTYPE_CHAR, 4, 0, 0},  {"RFCSI_RESV", RFCTYPE_CHAR, 44, 0, 0},
};

RFC_TYPE_ELEMENT dateTimeDescription[] = {
    {"MONI_DATE", RFCTYPE_DATE, 8, 0, 0},
    {"MONI_TIME", RFCTYPE_TIME, 6, 0, 0},
};

RFC_TYPE_ELEMENT tableXpcDescription[] = {
    {"TS", RFCTYPE_CHAR, 30, 0, 0},     {"INIT_EXT", RFCTYPE_INT, 4, 0, 0},
    {"NEXT_EXT", RFCTYPE_INT, 4, 0, 0}, {"MIN_EXT", RFCTYPE_INT, 4, 0, 0},
    {"MAX_EXT", RFCTYPE_INT, 4, 0, 0},  {"PCT_INCR", RFCTYPE_INT, 4, 0, 0},
    {"STATUS", RFCTYPE_CHAR, 9, 0, 0},  {"TSIZE", RFCTYPE_BCD, 8, 0, 0},
    {"TFREE", RFCTYPE_BCD, 8, 0, 0},    {"TPCTUSED", RFCTYPE_INT, 4, 0, 0},
    {"TEXTENTS", RFCTYPE_INT, 4, 0, 0}, {"TSEGMENTS", RFCTYPE_INT, 4, 0, 0},
    {"TSAU", RFCTYPE_CHAR, 14, 0, 0},   {"TSAUPCT", RFCTYPE_INT, 4, 0, 0},
};

// Installed once per run and kept for every later connection.
RFC_TYPEHANDLE rfcsiHandle = 0;
RFC_TYPEHANDLE dateTimeHandle = 0;
RFC_TYPEHANDLE tableXpcHandle = 0;

template <size_t N>
void InstallStructure(const char *name, RFC_TYPE_ELEMENT (&description)[N], RFC_TYPEHANDLE &handle) {
    if (handle != 0) return;
    if (RfcInstallStructure(name, description, static_cast<unsigned>(N), &handle) != 0) {
        RfcFailureHandler("RfcInstallStructure");
    }
}

RFC_PARAMETER Parameter(const char *name, RFC_TYPEHANDLE type, uint32_t length, void *address) {
    return RFC_PARAMETER{name, static_cast<uint32_t>(strlen(name)), type, length, address};
}

// Sends the call and receives the answer; the exception text is kept for outcomes 2 and 3.
int CallFunctionModule(RFC_HANDLE handle, const char *function, RFC_PARAMETER *importing, RFC_TABLE *tables,
                       TextBase &exceptionText) {
    RFC_PARAMETER exporting[] = {{nullptr, 0, 0, 0, nullptr}};
    int outcome = RfcCall(handle, function, exporting, tables);
    LogEvent(static_cast<int32_t>(handle), "RfcCall called", "");
    if (outcome != RFC_OK) return outcome;
    char *exception = nullptr;
    outcome = RfcReceive(handle, importing, tables, &exception);
    LogEvent(static_cast<int32_t>(handle), "RfcReceive called", "");
    if (outcome == RFC_EXCEPTION || outcome == RFC_SYS_EXCEPTION) {
        exceptionText.Clear();
        if (exception != nullptr) exceptionText.AppendPart(exception, kExceptionTextCapacity);
    }
    return outcome;
}

} // namespace

int CallSystemInfo(RFC_HANDLE handle, SystemInfoAnswer &answer, TextBase &exceptionText) {
    InstallStructure("RFCSI", rfcsiDescription, rfcsiHandle);
    RFC_PARAMETER importing[] = {
        Parameter("CURRENT_RESOURCES", RFCTYPE_INT, 4, &answer.currentResources),
        Parameter("DIALOG_USER_TYPE", RFCTYPE_CHAR, 1, answer.dialogUserType),
        Parameter("MAXIMAL_RESOURCES", RFCTYPE_INT, 4, &answer.maximalResources),
        Parameter("RECOMMENDED_DELAY", RFCTYPE_INT, 4, &answer.recommendedDelay),
        Parameter("RFCSI_EXPORT", rfcsiHandle, sizeof answer.rfcsi, answer.rfcsi),
        Parameter("RFC_LOGIN_COMPLETE", RFCTYPE_CHAR, 1, answer.loginComplete),
        {nullptr, 0, 0, 0, nullptr},
    };
    RFC_TABLE tables[] = {{nullptr, 0, 0, 0, nullptr, 0, 0}};
    return CallFunctionModule(handle, "RFC_SYSTEM_INFO", importing, tables, exceptionText);
}

int CallCurrentSizes(RFC_HANDLE handle, CurrentSizesAnswer &answer, ITAB_H table, TextBase &exceptionText) {
    InstallStructure("DATE_TIME", dateTimeDescription, dateTimeHandle);
    InstallStructure("TABLE_XPC", tableXpcDescription, tableXpcHandle);
    RFC_PARAMETER importing[] = {
        Parameter("CURR_DATE", RFCTYPE_DATE, sizeof answer.currentDate, answer.currentDate),
        Parameter("CURR_TIME", RFCTYPE_TIME, sizeof answer.currentTime, answer.currentTime),
        Parameter("DATETIME", dateTimeHandle, sizeof answer.dateTime, answer.dateTime),
        {nullptr, 0, 0, 0, nullptr},
    };
    RFC_TABLE tables[] = {
        {"TS", 2, tableXpcHandle, 0, table, 0, 0},
        {nullptr, 0, 0, 0, nullptr, 0, 0},
    };
    return CallFunctionModule(handle, "DB_ORA_CURRENT_SIZES", importing, tables, exceptionText);
}

void AppendOutcomeMessage(int outcome, const TextBase &exceptionText) {
    switch (outcome) {
    case RFC_FAILURE:
        documentBuffer.Append("Error 1014: RFC-Failure raised !");
        break;
    case RFC_EXCEPTION:
        documentBuffer.Append("Error 1012: Exception.: ").Append(exceptionText);
        break;
    case RFC_SYS_EXCEPTION:
        documentBuffer.Append("Error 1013: Sys-Exception raised !");
        break;
    default:
        documentBuffer.Append("Error 1015: Other Failure raised !");
        break;
    }
}
