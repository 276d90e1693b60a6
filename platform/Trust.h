// What the sensor trusts on a shared probe. A file that decides where profiles are looked for, or
// where a connection goes, counts only when no other local account could have written it or put
// it where it lies: the file and every folder on its way are owned by the administrators, the
// system or the sensor's own account, and no one else may change them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/SecurityFacts.h"

enum class TrustFault : uint8_t {
    None,
    ForeignOwner,     // the file or a folder on its way belongs to another account
    WritableByOthers, // another account may change the file, or replace what lies in a folder
    Unknown,          // the owner or the rights could not be read (a missing file among them)
};

// Checks a file by its Windows-style name (absolute, or relative to the working directory) and
// every folder on its way, up to the root; on POSIX the folders the name passes through and those
// of the path it finally resolves to. On POSIX a trusted owner is root or the process's own user,
// and a file or folder writable by group or others is not trusted, except a folder with the
// sticky bit (as /tmp), where no one may rename or remove another account's entries.
TrustFault CheckTrustedFile(const char *windowsName);

// The reason as verbose output and the search list show it: "owned by another account",
// "writable by others", "owner or rights unknown".
const char *TrustFaultText(TrustFault fault);

// The Windows decision on a security descriptor, told as plain facts so that it can be checked
// anywhere: whose the owner is, and what the access-allowed entries of the DACL grant to whom.
// Trusted principals are the administrators, SYSTEM, TrustedInstaller (owner of the system's own
// folders), the sensor's own account and OWNER RIGHTS.
// Access rights that let another account change a file: write or append data, delete it, change
// its DACL or owner, and the generic rights that hold them.
constexpr uint32_t kFileWriteRights = 0x0002u | 0x0004u | 0x00010000u | 0x00040000u | 0x00080000u |
                                      0x40000000u | 0x10000000u;
// For a folder on the way: what lets another account replace an entry that exists (delete child,
// delete or rename the folder, its DACL or owner, generic write or all). Adding a file or a folder
// is not among them: a new entry belongs to whoever made it and fails its own check.
constexpr uint32_t kFolderWriteRights = 0x0040u | 0x00010000u | 0x00040000u | 0x00080000u | 0x40000000u |
                                        0x10000000u;
// Any right at all: for what only the sensor's account may open (its lock and marks).
constexpr uint32_t kAnyRights = 0xFFFFFFFFu;
// The fault of an object whose facts these are, when another account holds any of `rights`.
TrustFault JudgeSecurity(const SecurityFacts &facts, uint32_t rights);
