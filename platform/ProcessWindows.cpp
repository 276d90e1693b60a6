// Process.h on Windows. The deadline watch is a thread that waits on an event for the time left
// and wakes before the deadline only when MoveDeadline sets the event.
#include "platform/Process.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace platform {
namespace {

struct DeadlineWatch {
    std::atomic<uint64_t> deadlineMs{UINT64_MAX};
    void (*expired)() = nullptr;
    HANDLE moved = nullptr; // auto reset: the deadline changed
};

DeadlineWatch deadlineWatch;

// Guards standard output between the main thread and the deadline watch (a critical section is
// recursive).
struct OutputLock {
    OutputLock() { InitializeCriticalSection(&section); }
    void Lock() { EnterCriticalSection(&section); }
    void Unlock() { LeaveCriticalSection(&section); }
    CRITICAL_SECTION section;
};

OutputLock &OutputMutex() {
    static OutputLock lock;
    return lock;
}

DWORD WINAPI WatchDeadline(LPVOID) {
    DeadlineWatch &watch = deadlineWatch;
    for (;;) {
        uint64_t deadline = watch.deadlineMs.load();
        uint64_t now = GetTickCount64();
        if (deadline != UINT64_MAX && now >= deadline) break;
        DWORD wait = INFINITE;
        if (deadline != UINT64_MAX) wait = deadline - now >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(deadline - now);
        WaitForSingleObject(watch.moved, wait);
    }
    watch.expired();
    return 0;
}

} // namespace
} // namespace platform

bool ReplaceFileWith(const char *from, const char *to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

uint64_t MonotonicMilliseconds() { return static_cast<uint64_t>(GetTickCount64()); }

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

bool StartDeadlineWatch(uint64_t deadlineMs, void (*expired)()) {
    platform::DeadlineWatch &watch = platform::deadlineWatch;
    watch.expired = expired;
    watch.deadlineMs = deadlineMs;
    if (watch.moved != nullptr) {
        SetEvent(watch.moved);
        return true;
    }
    watch.moved = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (watch.moved == nullptr) return false;
    // The callback composes a whole document: the program's default stack, not a small one.
    HANDLE thread = CreateThread(nullptr, 0, platform::WatchDeadline, nullptr, 0, nullptr);
    if (thread == nullptr) return false;
    CloseHandle(thread);
    return true;
}

void MoveDeadline(uint64_t deadlineMs) {
    platform::deadlineWatch.deadlineMs = deadlineMs;
    if (platform::deadlineWatch.moved != nullptr) SetEvent(platform::deadlineWatch.moved);
}

OutputGuard::OutputGuard() { platform::OutputMutex().Lock(); }

OutputGuard::~OutputGuard() { platform::OutputMutex().Unlock(); }

void EndProcessNow(int status) {
    if (fflush(stdout) != 0 || ferror(stdout)) status = 2;
    // No destructors and no exit handlers: the main thread may still be inside the RFC library.
    _Exit(status);
}
