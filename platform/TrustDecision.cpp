// The parts of the trust decision that are the same everywhere.
#include "platform/Trust.h"

const char *TrustFaultText(TrustFault fault) {
    switch (fault) {
    case TrustFault::None:
        return "trusted";
    case TrustFault::ForeignOwner:
        return "owned by another account";
    case TrustFault::WritableByOthers:
        return "writable by others";
    case TrustFault::Unknown:
        break;
    }
    return "owner or rights unknown";
}

TrustFault JudgeSecurity(const SecurityFacts &facts, uint32_t rights) {
    if (!facts.ownerTrusted) return TrustFault::ForeignOwner;
    if (!facts.daclPresent || facts.entriesCut) return TrustFault::WritableByOthers;
    uint32_t count = facts.entryCount < kMaxAccessEntries ? facts.entryCount : static_cast<uint32_t>(kMaxAccessEntries);
    for (uint32_t i = 0; i < count; ++i) {
        const AccessEntry &entry = facts.entries[i];
        if (entry.trustedPrincipal || entry.inheritOnly) continue;
        if ((entry.mask & rights) != 0) return TrustFault::WritableByOthers;
    }
    return TrustFault::None;
}
