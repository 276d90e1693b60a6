#include "rfc/LogonFailure.h"

#include <cstring>

#include "rfc/Rfc.h"

bool LastOpenRefusedLogon(TextBase &message) {
    message.Clear();
    RFC_ERROR_INFO error{};
    rfcLibrary.RfcLastError(&error);
    error.key[sizeof error.key - 1] = '\0';
    error.message[sizeof error.message - 1] = '\0';
    if (strcmp(error.key, kLogonFailureKey) != 0) return false;
    message.Assign(error.message);
    return true;
}
