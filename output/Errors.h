// Every error the sensor reports, by number, with its text: one table, so that the number of a
// message a PRTG administrator sees leads to one place. A text holds up to two "%s" places, filled
// in order by the arguments (numbers are passed as text).
#pragma once

#include "platform/FixedText.h"

enum class ErrorId {
    ProfileNameMissing,    // 1001
    ProfileMissing,        // 1002
    InvalidParameters,     // 1003
    InvalidPassword,       // 1004
    WrongPassword,         // 1005
    UserMissing,           // 1006
    PasswordMissing,       // 1007
    OpenFailed,            // 1011
    Exception,             // 1012
    SysException,          // 1013
    RfcFailure,            // 1014
    OtherFailure,          // 1015
    DatabaseMismatch,      // 1018
    ListingMissing,        // 1024
    GlobalListingMissing,  // 10x1
    ServerListingMissing,  // 1025
    ItemMissing,           // 1026
    InvalidAllocation,     // 1029
    GlobalSensorNotFound,  // 1030
    LibraryNotFound,       // 1031
    LibraryIncomplete,     // 1032
    NoAnswer,              // 1033
    NoAnswerFrom,          // 1033
    ProfileUnreadable,     // 1034
    InvalidOptionValue,    // 1035
    WorkerWithoutResult,   // 1036
    CredentialsMissing,    // 1037
    PasswordTooLong,       // 1038
    UserTooLong,           // 1038
    OptionTextTooLong,     // 1040
    SensorOptionsTooLong,  // 1040
    DefinitionTooLong,     // 1041
    NoTablespaceLeft,      // 1042
};

// Appends the error's text with its places filled.
void AppendError(TextBase &out, ErrorId id, const char *first = "", const char *second = "");
// The same into an emptied text.
void FormatError(TextBase &out, ErrorId id, const char *first = "", const char *second = "");
// Appends which system of item mode a run-ending error concerns and its cause: " (QAS.P00: HDB)".
void AppendSystemCause(TextBase &out, const char *system, const char *cause);
