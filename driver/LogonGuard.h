// The logon guard: SAP locks a user after a few refused logons (login/fails_to_user_lock), so a
// password SAP refused is never sent again. After a refusal the guard records, per SAP system and
// user, a salted slow hash of that password (never the password) in "Marrowind.Guard" in the
// working directory; later runs with the same user and password do not log on but report at once.
// A changed password logs on again, and a successful logon clears the record.
#pragma once

#include "platform/FixedText.h"
#include "rfc/Rfc.h"

constexpr const char *kLogonGuardFile = "Marrowind.Guard";
constexpr size_t kLogonGuardLine = 511;

// Who logs on where: the record's name "USER@DESTINATION/CLIENT" and the address (host and system
// number, or gateway host and service for mode R/2), after the options' overrides.
struct LogonIdentity {
    FixedText<127> name;
    FixedText<127> address;
};
void DescribeLogon(const ConnectionFields &fields, const ConnectionOverrides &overrides, LogonIdentity &identity);

// Before an open: false when this user's logon on this system was refused with this same password;
// the refusal then holds the text for behind "Error 1011: RFC-Open for PRD failed !". A guard file
// that cannot be read or holds damaged lines guards nothing it cannot read.
bool LogonGuardAllows(const ConnectionFields &fields, const ConnectionOverrides &overrides, TextBase &refusal);

// After an open that reached the library: a logon the library refused (by its logon-failure key)
// is recorded, a connection that opened clears the record. Every failure here is silent: the guard
// never ends a run.
void LogonGuardNoteOpen(const ConnectionFields &fields, const ConnectionOverrides &overrides, bool opened);

// A record line, for the guard's own use and its tests: parsed fields, or false for a damaged line.
struct LogonRecord {
    FixedText<127> name;
    FixedText<127> address;
    FixedText<63> salt;   // hexadecimal
    FixedText<127> hash;  // hexadecimal
    FixedText<255> message;
};
bool ParseLogonRecord(const TextBase &line, LogonRecord &record);
// The hash of a password under a salt (both hexadecimal as recorded); false for a damaged salt.
bool HashPassword(const TextBase &password, const TextBase &saltHex, TextBase &hashHex);
