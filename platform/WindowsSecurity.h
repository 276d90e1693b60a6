// Security descriptors on Windows, for the platform files that create or check what only the
// sensor's account may reach. Included only by Windows sources.
#pragma once

#include <windows.h>
#include <aclapi.h>

#include "platform/SecurityFacts.h"

namespace platform {

// The owner and the access-allowed entries of a descriptor as plain facts (see JudgeSecurity).
void SecurityFactsOf(PSID owner, PACL dacl, SecurityFacts &facts);
// The facts of an open handle's object; false when its descriptor cannot be read.
bool HandleSecurityFacts(HANDLE handle, SE_OBJECT_TYPE type, SecurityFacts &facts);
// Attributes whose DACL gives the sensor's account, SYSTEM and the administrators every right and
// no one else any, not inherited from the folder; null when they cannot be built.
SECURITY_ATTRIBUTES *OwnerOnlyAttributes();

} // namespace platform
