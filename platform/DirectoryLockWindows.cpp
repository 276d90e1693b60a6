// The directory lock and the step marks on Windows: byte-range locks on two files in the account's
// own folder "%LOCALAPPDATA%\Marrowind" (TEMP where that is unknown), made with a DACL for the
// account, SYSTEM and the administrators alone, and named after the working directory's volume
// serial number and file ID. No named kernel object: there is no name another account could take
// first or open.
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include <windows.h>
#include <shlobj.h>

#include "platform/DirectoryLockParts.h"
#include "platform/FixedText.h"
#include "platform/Process.h"
#include "platform/Trust.h"
#include "platform/WindowsSecurity.h"

namespace platform {
namespace {

HANDLE lockFile = INVALID_HANDLE_VALUE;
HANDLE marksFile = INVALID_HANDLE_VALUE;
constexpr DWORD kLockByte = 0;
constexpr DWORD kMarkByte = 4096; // the count of marked steps stays outside the locked byte

// Another account may do nothing with it that the account itself did not grant: no way to hold a
// lock, replace a file or forge a count.
bool OwnersAlone(HANDLE handle, bool folder) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    if (((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder) return false;
    if (!folder && info.nNumberOfLinks != 1) return false;
    SecurityFacts facts;
    return HandleSecurityFacts(handle, SE_FILE_OBJECT, facts) &&
           JudgeSecurity(facts, folder ? kFolderWriteRights | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY
                                       : kFileWriteRights | FILE_READ_DATA) == TrustFault::None;
}

// The account's local application data (for SYSTEM below its own profile, which other accounts
// cannot write): from the environment, else from the shell (loaded only then: it costs every
// run's start-up); the temporary folder where neither knows it.
bool PrivateFolder(TextBase &folder) {
    char base[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
    if (length == 0 || length >= sizeof base) {
        length = 0;
        using FolderPath = HRESULT(WINAPI *)(HWND, int, HANDLE, DWORD, LPSTR);
        HMODULE shell = LoadLibraryA("shell32.dll");
        // Through void (*)(), which takes any function pointer type without a cast warning.
        FolderPath folderPath =
            shell != nullptr ? reinterpret_cast<FolderPath>(reinterpret_cast<void (*)()>(
                                   GetProcAddress(shell, "SHGetFolderPathA")))
                             : nullptr;
        if (folderPath != nullptr && folderPath(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                                SHGFP_TYPE_CURRENT, base) == S_OK)
            length = static_cast<DWORD>(strlen(base));
    }
    if (length == 0 || length >= sizeof base) length = GetTempPathA(sizeof base, base);
    if (length == 0 || length >= sizeof base) return false;
    folder.Assign(base);
    if (folder.Last() != '\\') folder.AppendChar('\\');
    folder.Append("Marrowind");
    if (folder.truncated()) return false;
    SECURITY_ATTRIBUTES *attributes = OwnerOnlyAttributes();
    if (attributes == nullptr) return false;
    if (!CreateDirectoryA(folder.c_str(), attributes) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    HANDLE handle = CreateFileA(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool alone = OwnersAlone(handle, true);
    CloseHandle(handle);
    return alone;
}

HANDLE OpenPrivateFile(const DirectoryIdentity &identity, const char *extension) {
    FixedText<MAX_PATH> name;
    if (!PrivateFolder(name)) return INVALID_HANDLE_VALUE;
    name.AppendFormat("\\%016" PRIx64 "-%016" PRIx64 ".%s", identity.volume, identity.file, extension);
    if (name.truncated()) return INVALID_HANDLE_VALUE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD access = GENERIC_READ | GENERIC_WRITE | READ_CONTROL;
    HANDLE handle = CreateFileA(name.c_str(), access, share, OwnerOnlyAttributes(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return handle;
    handle = CreateFileA(name.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return handle;
    if (!OwnersAlone(handle, false)) {
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

bool LockByte(HANDLE file, DWORD offset, DWORD flags) {
    OVERLAPPED at{};
    at.Offset = offset;
    return LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

void UnlockByte(HANDLE file, DWORD offset) {
    OVERLAPPED at{};
    at.Offset = offset;
    UnlockFileEx(file, 0, 1, 0, &at);
}

} // namespace

bool CurrentDirectoryIdentity(DirectoryIdentity &identity) {
    HANDLE directory = CreateFileA(".", FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(directory, &info) != 0;
    CloseHandle(directory);
    if (!known) return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool OpenLockFile(const DirectoryIdentity &identity) {
    lockFile = OpenPrivateFile(identity, "lck");
    return lockFile != INVALID_HANDLE_VALUE;
}

void CloseLockFile() {
    if (lockFile != INVALID_HANDLE_VALUE) CloseHandle(lockFile);
    lockFile = INVALID_HANDLE_VALUE;
}

bool WaitForLock(uint32_t waitMs) {
    uint64_t until = MonotonicMilliseconds() + waitMs;
    for (;;) {
        if (LockByte(lockFile, kLockByte, LOCKFILE_EXCLUSIVE_LOCK)) return true;
        if (MonotonicMilliseconds() >= until) return false;
        SleepMilliseconds(1);
    }
}

void UnlockLock() { UnlockByte(lockFile, kLockByte); }

bool OpenMarksFile(const DirectoryIdentity &identity) {
    marksFile = OpenPrivateFile(identity, "stp");
    return marksFile != INVALID_HANDLE_VALUE;
}

void CloseMarksFile() {
    if (marksFile != INVALID_HANDLE_VALUE) CloseHandle(marksFile);
    marksFile = INVALID_HANDLE_VALUE;
}

bool LockMark(bool exclusive) { return LockByte(marksFile, kMarkByte, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0); }

void UnlockMark() { UnlockByte(marksFile, kMarkByte); }

uint64_t ReadGeneration() {
    uint64_t generation = 0;
    OVERLAPPED at{};
    DWORD read = 0;
    if (!ReadFile(marksFile, &generation, sizeof generation, &read, &at) || read != sizeof generation) generation = 0;
    return generation;
}

void WriteGeneration(uint64_t generation) {
    OVERLAPPED at{};
    DWORD written = 0;
    WriteFile(marksFile, &generation, sizeof generation, &written, &at);
}

} // namespace platform
