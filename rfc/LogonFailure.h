// Whether an open that returned no connection failed at the logon: SAP's classic RFC library gives
// its last error the key RFC_ERROR_LOGON_FAILURE when the system refused client, user or password
// (after a few such refusals SAP locks the user).
#pragma once

#include "platform/FixedText.h"

constexpr const char *kLogonFailureKey = "RFC_ERROR_LOGON_FAILURE";

// Call only right after an open that reached the library and returned 0: the library's last error
// stays until the next failure. True when its key is the logon failure's; the message is then the
// library's text.
bool LastOpenRefusedLogon(TextBase &message);
