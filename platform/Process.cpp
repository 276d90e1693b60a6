#include "platform/Process.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

struct DeadlineWatch {
    std::atomic<uint64_t> deadlineMs{0};
    void (*expired)() = nullptr;
};

DeadlineWatch deadlineWatch;

// Guards standard output between the main thread and the deadline watch.
#if defined(_WIN32)
struct OutputLock {
    OutputLock() { InitializeCriticalSection(&section); }
    void Lock() { EnterCriticalSection(&section); }
    void Unlock() { LeaveCriticalSection(&section); }
    CRITICAL_SECTION section;
};
#else
struct OutputLock {
    OutputLock() {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutex_init(&mutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    void Lock() { pthread_mutex_lock(&mutex); }
    void Unlock() { pthread_mutex_unlock(&mutex); }
    pthread_mutex_t mutex;
};
#endif

OutputLock &OutputMutex() {
    static OutputLock lock;
    return lock;
}

#if defined(_WIN32)
DWORD WINAPI WatchDeadline(LPVOID) {
#else
void *WatchDeadline(void *) {
#endif
    while (MonotonicMilliseconds() < deadlineWatch.deadlineMs.load())
        SleepMilliseconds(50);
    deadlineWatch.expired();
    return 0;
}

} // namespace
} // namespace platform

bool TemporaryFileName(TextBase &name, const char *leaf) {
#if defined(_WIN32)
    char folder[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof folder, folder);
    bool found = length != 0 && length <= MAX_PATH;
    if (!found) folder[0] = '\0';
    name.Format("%s%s", folder, leaf);
#else
    const char *folder = getenv("TMPDIR");
    if (folder == nullptr || folder[0] == '\0') folder = "/tmp";
    bool found = true;
    name.Format("%s/%s", folder, leaf);
#endif
    return found && !name.truncated();
}

bool ReplaceFileWith(const char *from, const char *to) {
#if defined(_WIN32)
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return rename(from, to) == 0;
#endif
}

uint32_t CurrentProcessId() {
#if defined(_WIN32)
    return static_cast<uint32_t>(GetCurrentProcessId());
#else
    return static_cast<uint32_t>(getpid());
#endif
}

uint64_t MonotonicMilliseconds() {
#if defined(_WIN32)
    return static_cast<uint64_t>(GetTickCount64());
#else
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
#endif
}

void SleepMilliseconds(uint32_t milliseconds) {
#if defined(_WIN32)
    Sleep(milliseconds);
#else
    struct timespec pause {};
    pause.tv_sec = milliseconds / 1000;
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    nanosleep(&pause, nullptr);
#endif
}

bool StartDeadlineWatch(uint64_t deadlineMs, void (*expired)()) {
    platform::deadlineWatch.deadlineMs = deadlineMs;
    platform::deadlineWatch.expired = expired;
#if defined(_WIN32)
    HANDLE thread = CreateThread(nullptr, 64 * 1024, platform::WatchDeadline, nullptr, 0, nullptr);
    if (thread == nullptr) return false;
    CloseHandle(thread);
    return true;
#else
    pthread_t thread;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    bool started = pthread_create(&thread, &attributes, platform::WatchDeadline, nullptr) == 0;
    pthread_attr_destroy(&attributes);
    return started;
#endif
}

void MoveDeadline(uint64_t deadlineMs) { platform::deadlineWatch.deadlineMs = deadlineMs; }

OutputGuard::OutputGuard() { platform::OutputMutex().Lock(); }

OutputGuard::~OutputGuard() { platform::OutputMutex().Unlock(); }

void EndProcessNow(int status) {
    if (fflush(stdout) != 0 || ferror(stdout)) status = 2;
    // No destructors and no exit handlers: the main thread may still be inside the RFC library.
    _Exit(status);
}
