#include "platform/Protection.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#include "platform/FixedText.h"
#include "platform/Platform.h"
#include "platform/WindowsSecurity.h"

namespace platform {
namespace {

// A crash ends the process here: Windows Error Reporting, which would write a dump holding the
// password and may wait for a person, is never reached.
LONG WINAPI EndAtCrash(EXCEPTION_POINTERS *exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace
} // namespace platform

void HardenProcess() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(platform::EndAtCrash);
}

FILE *CreatePrivateFile(const char *windowsName) {
    if (windowsName == nullptr || windowsName[0] == '\0' || strlen(windowsName) >= MAX_PATH) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    SECURITY_ATTRIBUTES *attributes = platform::OwnerOnlyAttributes();
    if (attributes == nullptr) {
        errno = EACCES;
        return nullptr;
    }
    // CREATE_NEW fails on any existing name, a link or junction among them.
    HANDLE handle = CreateFileA(windowsName, GENERIC_WRITE, FILE_SHARE_READ, attributes, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
        return nullptr;
    }
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE *file = _fdopen(descriptor, "wb");
    if (file == nullptr) _close(descriptor);
    return file;
}

bool ListWorkingDirectory(const char *prefix, void (*visit)(const char *name, void *context), void *context) {
    FixedText<MAX_PATH> pattern;
    pattern.Assign(prefix).Append("*");
    if (pattern.truncated()) return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    size_t length = strlen(prefix);
    do {
        // The pattern also matches short 8.3 names: only long names that begin with the prefix.
        if (_strnicmp(found.cFileName, prefix, length) == 0) visit(found.cFileName, context);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

bool ProcessRunning(uint32_t processId) {
    if (processId == 0) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

bool SameFileName(const char *one, const char *other) { return _stricmp(one, other) == 0; }
