#include <cstring>

#include "output/Console.h"
#include "output/Errors.h"
#include "rfc/Rfc.h"
#include "rfc/Structures.h"

namespace {

// The structure handles: installed once per process and kept for every later connection.
struct InstalledStructures {
    RFC_TYPEHANDLE rfcsi = 0;
    RFC_TYPEHANDLE dateTime = 0;
    RFC_TYPEHANDLE tableXpc = 0;
};

InstalledStructures installedStructures;

// False when the library refuses the description: the run ends with the library's report.
template <size_t N>
bool InstallStructure(const char *name, const RFC_TYPE_ELEMENT (&description)[N], RFC_TYPEHANDLE &handle) {
    if (handle != 0) return true;
    // The library takes a mutable description; it gets a copy of the shared one.
    RFC_TYPE_ELEMENT elements[N];
    for (size_t i = 0; i < N; ++i)
        elements[i] = description[i];
    return rfcLibrary.RfcInstallStructure(name, elements, static_cast<unsigned>(N), &handle) == 0;
}

constexpr const char *kInstallStructure = "RfcInstallStructure";

RFC_PARAMETER Parameter(const char *name, RFC_TYPEHANDLE type, uint32_t length, void *address) {
    return RFC_PARAMETER{name, static_cast<uint32_t>(strlen(name)), type, length, address};
}

// Sends the call and receives the answer; the exception text is kept for outcomes 2 and 3.
int CallFunctionModule(RFC_HANDLE handle, const char *function, RFC_PARAMETER *importing, RFC_TABLE *tables,
                       TextBase &exceptionText) {
    RFC_PARAMETER exporting[] = {{nullptr, 0, 0, 0, nullptr}};
    int outcome;
    {
        RfcStep step(function);
        outcome = rfcLibrary.RfcCall(handle, function, exporting, tables);
    }
    LogEvent(static_cast<int32_t>(handle), "RfcCall called", "");
    if (outcome != RFC_OK) return outcome;
    char *exception = nullptr;
    {
        RfcStep step(function);
        outcome = rfcLibrary.RfcReceive(handle, importing, tables, &exception);
    }
    LogEvent(static_cast<int32_t>(handle), "RfcReceive called", "");
    if (outcome == RFC_EXCEPTION || outcome == RFC_SYS_EXCEPTION) {
        exceptionText.Clear();
        if (exception != nullptr) exceptionText.AppendPart(exception, kExceptionTextCapacity);
    }
    return outcome;
}

} // namespace

int CallSystemInfo(RFC_HANDLE handle, SystemInfoAnswer &answer, TextBase &exceptionText) {
    if (!InstallStructure("RFCSI", rfc::kRfcsiDescription, installedStructures.rfcsi)) {
        answer.libraryFailure = kInstallStructure;
        return RFC_FAILURE;
    }
    RFC_PARAMETER importing[] = {
        Parameter("CURRENT_RESOURCES", RFCTYPE_INT, 4, &answer.currentResources),
        Parameter("DIALOG_USER_TYPE", RFCTYPE_CHAR, 1, answer.dialogUserType),
        Parameter("MAXIMAL_RESOURCES", RFCTYPE_INT, 4, &answer.maximalResources),
        Parameter("RECOMMENDED_DELAY", RFCTYPE_INT, 4, &answer.recommendedDelay),
        Parameter("RFCSI_EXPORT", installedStructures.rfcsi, sizeof answer.rfcsi, answer.rfcsi),
        Parameter("RFC_LOGIN_COMPLETE", RFCTYPE_CHAR, 1, answer.loginComplete),
        {nullptr, 0, 0, 0, nullptr},
    };
    RFC_TABLE tables[] = {{nullptr, 0, 0, 0, nullptr, 0, 0}};
    return CallFunctionModule(handle, "RFC_SYSTEM_INFO", importing, tables, exceptionText);
}

int CallCurrentSizes(RFC_HANDLE handle, CurrentSizesAnswer &answer, ITAB_H table, TextBase &exceptionText) {
    if (!InstallStructure("DATE_TIME", rfc::kDateTimeDescription, installedStructures.dateTime) ||
        !InstallStructure("TABLE_XPC", rfc::kTableXpcDescription, installedStructures.tableXpc)) {
        answer.libraryFailure = kInstallStructure;
        return RFC_FAILURE;
    }
    RFC_PARAMETER importing[] = {
        Parameter("CURR_DATE", RFCTYPE_DATE, sizeof answer.currentDate, answer.currentDate),
        Parameter("CURR_TIME", RFCTYPE_TIME, sizeof answer.currentTime, answer.currentTime),
        Parameter("DATETIME", installedStructures.dateTime, sizeof answer.dateTime, answer.dateTime),
        {nullptr, 0, 0, 0, nullptr},
    };
    RFC_TABLE tables[] = {
        {"TS", 2, installedStructures.tableXpc, 0, table, 0, 0},
        {nullptr, 0, 0, 0, nullptr, 0, 0},
    };
    return CallFunctionModule(handle, "DB_ORA_CURRENT_SIZES", importing, tables, exceptionText);
}

void AppendOutcomeMessage(TextBase &message, int outcome, const TextBase &exceptionText) {
    switch (outcome) {
    case RFC_FAILURE:
        AppendError(message, ErrorId::RfcFailure);
        break;
    case RFC_EXCEPTION:
        AppendError(message, ErrorId::Exception, exceptionText.c_str());
        break;
    case RFC_SYS_EXCEPTION:
        AppendError(message, ErrorId::SysException);
        break;
    default:
        AppendError(message, ErrorId::OtherFailure);
        break;
    }
}
