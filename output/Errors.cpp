#include "output/Errors.h"

#include <cstring>

namespace {

struct ErrorEntry {
    ErrorId id;
    const char *text;
};

// The texts are the system's own, byte for byte; "Idenification" and "ProFile" included.
constexpr ErrorEntry kErrors[] = {
    {ErrorId::ProfileNameMissing, "Error 1001: Parameter for Profile-Name is missing !"},
    {ErrorId::ProfileMissing, "Error 1002: Profile %s is missing..."},
    {ErrorId::InvalidParameters, "Error 1003: Invalid Parameter(s) at %s found..."},
    {ErrorId::InvalidPassword, "Error 1004: Invalid Password in Profile %s found..."},
    {ErrorId::WrongPassword, "Error 1005: Wrong Password in Profile %s found..."},
    {ErrorId::UserMissing, "Error 1006: Username in Profile %s is missing..."},
    {ErrorId::PasswordMissing, "Error 1007: Password in Profile %s is missing..."},
    {ErrorId::OpenFailed, "Error 1011: RFC-Open for %s failed !"},
    {ErrorId::Exception, "Error 1012: Exception.: %s"},
    {ErrorId::SysException, "Error 1013: Sys-Exception raised !"},
    {ErrorId::RfcFailure, "Error 1014: RFC-Failure raised !"},
    {ErrorId::OtherFailure, "Error 1015: Other Failure raised !"},
    {ErrorId::DatabaseMismatch, "Error 1018: DataBase mismatch !"},
    {ErrorId::ListingMissing, "Error 1024: ProFile %s is missing..."},
    {ErrorId::GlobalListingMissing, "Error 10x1: ProFile %s is missing..."},
    {ErrorId::ServerListingMissing, "Error 1025: Global Server Listing missing..."},
    {ErrorId::ItemMissing, "Error 1026: Global Item Idenification missing..."},
    {ErrorId::InvalidAllocation, "Error 1029: Invalid Sensor-Allocation..."},
    {ErrorId::GlobalSensorNotFound, "Error 1030: Global Sensor %s not found..."},
    {ErrorId::LibraryNotFound, "Error 1031: RFC library %s not found !"},
    {ErrorId::LibraryIncomplete, "Error 1032: RFC library %s lacks %s !"},
    {ErrorId::NoAnswer, "Error 1033: no answer within %s s"},
    {ErrorId::NoAnswerFrom, "Error 1033: no answer from %s within %s s"},
    {ErrorId::ProfileUnreadable, "Error 1034: Profile %s cannot be read !"},
    {ErrorId::InvalidOptionValue, "Error 1035: Invalid Option-Value %s !"},
    {ErrorId::WorkerWithoutResult, "Error 1036: the process for %s ended without a result"},
    {ErrorId::CredentialsMissing,
     "Error 1037: PRTG credentials missing (%s is empty or not set) ! - In the sensor's settings set "
     "\"Environment\" to \"Set placeholders as environment values\", and fill user and password in the "
     "device's \"%s\""},
    {ErrorId::PasswordTooLong,
     "Error 1038: The password of %s has %s characters; SAP takes at most 40 ! - Not sent"},
    {ErrorId::UserTooLong, "Error 1038: The user of %s has more than %s characters ! - Not sent"},
    {ErrorId::OptionTextTooLong, "Error 1040: Option text longer than %s characters !"},
    {ErrorId::SensorOptionsTooLong, "Error 1040: Option text of global sensor %s longer than %s characters !"},
    {ErrorId::DefinitionTooLong, "Error 1041: Sensor definition of global sensor %s longer than %s characters !"},
    {ErrorId::NoTablespaceLeft, "Error 1042: No tablespace left by %s !"},
};

const char *ErrorTemplate(ErrorId id) {
    for (const ErrorEntry &entry : kErrors)
        if (entry.id == id) return entry.text;
    return "";
}

} // namespace

void AppendError(TextBase &out, ErrorId id, const char *first, const char *second) {
    const char *arguments[] = {first != nullptr ? first : "", second != nullptr ? second : ""};
    size_t used = 0;
    for (const char *c = ErrorTemplate(id); *c != '\0'; ++c) {
        if (c[0] == '%' && c[1] == 's' && used < 2) {
            out.Append(arguments[used++]);
            ++c;
            continue;
        }
        out.AppendChar(*c);
    }
}

void FormatError(TextBase &out, ErrorId id, const char *first, const char *second) {
    out.Clear();
    AppendError(out, id, first, second);
}

void AppendSystemCause(TextBase &out, const char *system, const char *cause) {
    out.Append(" (").Append(system).Append(": ").Append(cause).Append(")");
}
