// Logon credentials from PRTG: with "LOGON=LINUX" or "LOGON=WINDOWS" the user and password come
// from the device's credentials that PRTG hands to the sensor as environment values (the
// sensor's setting "Environment: Set placeholders as environment values"), never from a
// profile, and never through the command line. The same credentials serve every system of item
// mode; the children of PARALLEL=n inherit the environment.
#pragma once

#include "driver/Profile.h"
#include "platform/FixedText.h"
#include "rfc/Rfc.h"

enum class LogonSource {
    Profile, // the profile's User and Password lines
    Linux,   // prtg_linuxuser, prtg_linuxpassword
    Windows, // prtg_windowsuser, prtg_windowspassword
};

// "LOGON=" names the credentials of the device: LINUX or WINDOWS (any letter case). False for
// another value.
bool ParseLogonSource(const TextBase &value, LogonSource &source);

// SAP's passwords hold at most 40 characters.
constexpr size_t kSapPasswordLength = 40;

// Puts PRTG's credentials into the fields (the user upper-cased, as a profile's is). False, with
// the text of Error 1037 (a variable missing or empty) or Error 1038 (a password SAP cannot take),
// when they cannot be used; the fields then hold no password. For the profile source nothing
// changes and the result is true.
bool TakePrtgCredentials(LogonSource source, ConnectionFields &fields, TextBase &error);

// After a profile was read: with PRTG's credentials its User and Password lines are not used, so
// a fault of its password line no longer counts (a profile that could not be read still does).
// False with the error when PRTG's credentials cannot be used.
bool TakeLogon(LogonSource source, ConnectionFields &fields, ProfileFault &fault, TextBase &error);

// Whether PRTG's credentials are there (always for the profile source); false with the error.
bool PrtgCredentialsGiven(LogonSource source, TextBase &error);
