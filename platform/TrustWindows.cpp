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
