// Security descriptors on Windows: the principals the sensor trusts, the facts of a descriptor,
// and the attributes of what only the sensor's account may reach.
#include "platform/WindowsSecurity.h"

#include <cstring>

#include "platform/FixedText.h"

namespace platform {
namespace {

// A SID in a buffer of its own: no allocation, and compared with EqualSid.
struct KnownSid {
    alignas(8) BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
    bool valid = false;
    PSID sid() { return valid ? static_cast<PSID>(bytes) : nullptr; }
};

void BuildSid(KnownSid &known, BYTE authority, const DWORD *subAuthorities, BYTE count) {
    SID_IDENTIFIER_AUTHORITY identifier = {{0, 0, 0, 0, 0, authority}};
    if (!InitializeSid(known.bytes, &identifier, count)) return;
    for (BYTE i = 0; i < count; ++i)
        *GetSidSubAuthority(known.bytes, i) = subAuthorities[i];
    known.valid = true;
}

// The principals whose rights the sensor trusts: administrators, SYSTEM, TrustedInstaller (the
// owner of the system's own folders, "C:\Program Files (x86)" among them), OWNER RIGHTS (the
// owner, who is judged by itself) and the account the sensor runs as.
struct TrustedSids {
    KnownSid administrators, system, trustedInstaller, ownerRights, self;
    bool built = false;
};

TrustedSids trustedSids;

TrustedSids &Trusted() {
    TrustedSids &sids = trustedSids;
    if (sids.built) return sids;
    const DWORD administrators[] = {32, 544};
    BuildSid(sids.administrators, 5, administrators, 2);
    const DWORD system[] = {18};
    BuildSid(sids.system, 5, system, 1);
    const DWORD trustedInstaller[] = {80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u};
    BuildSid(sids.trustedInstaller, 5, trustedInstaller, 6);
    const DWORD ownerRights[] = {4};
    BuildSid(sids.ownerRights, 3, ownerRights, 1);
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        alignas(8) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD length = 0;
        if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length)) {
            PSID user = reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid;
            sids.self.valid = CopySid(sizeof sids.self.bytes, sids.self.bytes, user) != 0;
        }
        CloseHandle(token);
    }
    sids.built = true;
    return sids;
}

bool TrustedPrincipal(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) return false;
    TrustedSids &sids = Trusted();
    KnownSid *all[] = {&sids.administrators, &sids.system, &sids.trustedInstaller, &sids.ownerRights, &sids.self};
    for (KnownSid *known : all) {
        if (known->valid && EqualSid(sid, known->sid())) return true;
    }
    return false;
}

} // namespace

void SecurityFactsOf(PSID owner, PACL dacl, SecurityFacts &facts) {
    facts = SecurityFacts();
    facts.ownerTrusted = TrustedPrincipal(owner);
    facts.daclPresent = dacl != nullptr;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void *ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            facts.entriesCut = true;
            break;
        }
        const ACE_HEADER *header = static_cast<const ACE_HEADER *>(ace);
        bool allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
                      header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
                      header->AceType == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE ||
                      header->AceType == ACCESS_ALLOWED_COMPOUND_ACE_TYPE;
        if (!allows) continue; // denying and auditing entries give no one a right
        if (facts.entryCount == kMaxAccessEntries) {
            facts.entriesCut = true;
            break;
        }
        AccessEntry &entry = facts.entries[facts.entryCount++];
        const ACCESS_ALLOWED_ACE *allowed = static_cast<const ACCESS_ALLOWED_ACE *>(ace);
        entry.mask = allowed->Mask;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        // Only the plain entry's trustee is where SidStart says; any other kind counts as another
        // account's.
        entry.trustedPrincipal = header->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                                 TrustedPrincipal(reinterpret_cast<PSID>(const_cast<DWORD *>(&allowed->SidStart)));
    }
}

bool HandleSecurityFacts(HANDLE handle, SE_OBJECT_TYPE type, SecurityFacts &facts) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD status = GetSecurityInfo(handle, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                   nullptr, &dacl, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) return false;
    SecurityFactsOf(owner, dacl, facts);
    LocalFree(descriptor);
    return true;
}

SECURITY_ATTRIBUTES *OwnerOnlyAttributes() {
    static SECURITY_ATTRIBUTES attributes;
    static SECURITY_DESCRIPTOR descriptor;
    alignas(8) static BYTE aclBytes[sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
    static bool built = false;
    if (built) return &attributes;
    TrustedSids &sids = Trusted();
    PACL acl = reinterpret_cast<PACL>(aclBytes);
    if (!InitializeAcl(acl, sizeof aclBytes, ACL_REVISION)) return nullptr;
    KnownSid *granted[] = {&sids.self, &sids.system, &sids.administrators};
    for (KnownSid *known : granted) {
        if (known->valid && !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, known->sid())) return nullptr;
    }
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return nullptr;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = FALSE;
    built = true;
    return &attributes;
}

} // namespace platform
