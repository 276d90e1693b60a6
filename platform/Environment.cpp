#include "platform/Environment.h"

#include "platform/Platform.h"

#if defined(_WIN32)
#include <windows.h>
// RtlGenRandom, exported by advapi32 as SystemFunction036 since Windows XP.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#endif

bool ReadEnvironmentValue(const char *name, TextBase &value) {
    value.Clear();
#if defined(_WIN32)
    // Read through the Windows API: the C runtime's copy of the environment is the ANSI one taken
    // at start-up, the API's the process's own.
    char buffer[1024];
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (length == 0) return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (length >= sizeof buffer) {
        // Longer than any value the program takes: kept cut, and so refused by the caller.
        value.AppendRepeated('?', value.capacity() + 1);
        SecureZeroMemory(buffer, sizeof buffer);
        return true;
    }
    value.AssignPart(buffer, length);
    SecureZeroMemory(buffer, sizeof buffer);
    return true;
#else
    const char *found = getenv(name);
    if (found == nullptr) return false;
    value.Assign(found);
    return true;
#endif
}

bool FillRandomBytes(uint8_t *bytes, size_t count) {
#if defined(_WIN32)
    return SystemFunction036(bytes, static_cast<ULONG>(count)) != FALSE;
#else
    int descriptor = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    size_t done = 0;
    while (done < count) {
        ssize_t got = read(descriptor, bytes + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    close(descriptor);
    return done == count;
#endif
}

FILE *CreateNewFile(const char *windowsName) {
#if defined(_WIN32)
    // The C runtime knows no exclusive mode: the name is removed first (a planted file cannot be a
    // link that writes elsewhere: ReplaceFile and MoveFileEx move the name, not a target).
    RemoveFile(windowsName);
    return OpenFile(windowsName, "wb");
#else
    RemoveFile(windowsName);
    return OpenFile(windowsName, "wbx");
#endif
}
