#include "platform/Protection.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "platform/FixedText.h"
#include "platform/Platform.h"

void HardenProcess() {
    struct rlimit none {};
    setrlimit(RLIMIT_CORE, &none);
#if defined(__linux__)
    // Not dumpable: no core even where a core pattern pipes it elsewhere, and no other process of
    // the account reads this one's memory through /proc or ptrace.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
    umask(077);
}

FILE *CreatePrivateFile(const char *windowsName) {
    FixedText<1023> native;
    NativeFileName(native, windowsName);
    if (native.empty() || native.truncated()) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    int descriptor = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) return nullptr;
    FILE *file = fdopen(descriptor, "wb");
    if (file == nullptr) close(descriptor);
    return file;
}

bool ListWorkingDirectory(const char *prefix, void (*visit)(const char *name, void *context), void *context) {
    DIR *directory = opendir(".");
    if (directory == nullptr) return false;
    size_t length = strlen(prefix);
    while (const dirent *entry = readdir(directory)) {
        if (strncmp(entry->d_name, prefix, length) == 0) visit(entry->d_name, context);
    }
    closedir(directory);
    return true;
}

bool ProcessRunning(uint32_t processId) {
    if (processId == 0 || processId > static_cast<uint32_t>(INT32_MAX)) return false;
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

bool SameFileName(const char *one, const char *other) { return strcmp(one, other) == 0; }
