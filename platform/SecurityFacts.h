// A Windows security descriptor told as plain facts, so that the decision on it can be checked
// anywhere: whose the owner is, and what the access-allowed entries of the DACL grant to whom.
#pragma once

#include <cstddef>
#include <cstdint>

struct AccessEntry {
    bool trustedPrincipal = false;
    bool inheritOnly = false; // applies only to what is created below, not to this object
    uint32_t mask = 0;        // the access mask as in the ACE
};
constexpr size_t kMaxAccessEntries = 48;
struct SecurityFacts {
    bool ownerTrusted = false;
    bool daclPresent = false; // no DACL at all lets everyone do everything
    uint32_t entryCount = 0;  // access-allowed entries; denying entries are left out (they only take rights)
    bool entriesCut = false;  // more entries than fit: judged as writable by others
    AccessEntry entries[kMaxAccessEntries];
};
