// The trust check on Windows: the owner and DACL of the file and of every folder on its way, read
// into plain facts and judged by JudgeSecurity.
#include "platform/Trust.h"

#include <windows.h>
#include <aclapi.h>

#include <cstring>

#include "platform/FixedText.h"
#include "platform/WindowsSecurity.h"

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

namespace {

// The facts of one object's security descriptor, by name; false when it cannot be read.
bool ReadSecurityFacts(const char *path, SecurityFacts &facts) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD status = GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                         &owner, nullptr, &dacl, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) return false;
    SecurityFactsOf(owner, dacl, facts);
    LocalFree(descriptor);
    return true;
}

TrustFault JudgeObject(const char *path, bool folder) {
    SecurityFacts facts;
    if (!ReadSecurityFacts(path, facts)) return TrustFault::Unknown;
    return JudgeSecurity(facts, folder ? kFolderWriteRights : kFileWriteRights);
}

// The root ("C:\" or "\\server\share\"), every folder on the way and the file, in that order.
TrustFault JudgePath(const char *full) {
    size_t length = strlen(full);
    size_t start = 0;
    if (length >= 3 && full[1] == ':' && full[2] == '\\') {
        start = 3;
    } else if (length >= 2 && full[0] == '\\' && full[1] == '\\') {
        // "\\server\share\": the share's root is the first folder judged.
        int separators = 0;
        for (start = 2; start < length && separators < 2; ++start)
            if (full[start] == '\\') ++separators;
        if (separators < 2) return TrustFault::Unknown;
    } else {
        return TrustFault::Unknown;
    }
    FixedText<MAX_PATH> prefix;
    prefix.AssignPart(full, start);
    TrustFault fault = JudgeObject(prefix.c_str(), true);
    for (size_t end = start + 1; fault == TrustFault::None && end <= length; ++end) {
        if (end < length && full[end] != '\\') continue;
        if (full[end - 1] == '\\') continue;
        prefix.AssignPart(full, end);
        if (prefix.truncated()) return TrustFault::Unknown;
        fault = JudgeObject(prefix.c_str(), end < length);
    }
    return fault;
}

} // namespace
} // namespace platform

TrustFault CheckTrustedFile(const char *windowsName) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(windowsName, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return TrustFault::Unknown;
    TrustFault fault = platform::JudgePath(full);
    if (fault != TrustFault::None) return fault;
    // Where junctions and links on the way lead: those folders must be as safe as the ones named.
    HANDLE file = CreateFileA(full, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TrustFault::Unknown;
    char final[MAX_PATH + 8];
    DWORD finalLength = GetFinalPathNameByHandleA(file, final, sizeof final, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (finalLength == 0 || finalLength >= sizeof final) return TrustFault::Unknown;
    const char *resolved = final;
    if (strncmp(resolved, "\\\\?\\UNC\\", 8) == 0) {
        // "\\?\UNC\server\share\..." is "\\server\share\...".
        final[6] = '\\';
        resolved = final + 6;
    } else if (strncmp(resolved, "\\\\?\\", 4) == 0) {
        resolved = final + 4;
    }
    if (lstrcmpiA(resolved, full) == 0) return TrustFault::None;
    return platform::JudgePath(resolved);
}
