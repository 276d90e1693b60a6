// Process.h on POSIX. The deadline is a timer of the monotonic clock whose expiry runs the
// callback on a thread of its own (SIGEV_THREAD): nothing wakes before the deadline.
#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

namespace platform {
namespace {

struct DeadlineWatch {
    bool created = false;
    timer_t timer{};
    void (*expired)() = nullptr;
};

DeadlineWatch deadlineWatch;

// Guards standard output between the main thread and the deadline watch; recursive, since a
// writer may call another writer.
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

OutputLock &OutputMutex() {
    static OutputLock lock;
    return lock;
}

void DeadlineExpired(union sigval) { deadlineWatch.expired(); }

// Arms the timer for an absolute time of the monotonic clock; UINT64_MAX disarms it.
void ArmDeadline(uint64_t deadlineMs) {
    struct itimerspec when {};
    if (deadlineMs != UINT64_MAX) {
        when.it_value.tv_sec = static_cast<time_t>(deadlineMs / 1000u);
        when.it_value.tv_nsec = static_cast<long>(deadlineMs % 1000u) * 1000000L;
        // An all-zero value would disarm the timer instead of expiring at once.
        if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;
    }
    timer_settime(deadlineWatch.timer, TIMER_ABSTIME, &when, nullptr);
}

} // namespace
} // namespace platform

bool ReplaceFileWith(const char *from, const char *to) { return rename(from, to) == 0; }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

uint64_t MonotonicMilliseconds() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

void SleepMilliseconds(uint32_t milliseconds) {
    struct timespec pause {};
    pause.tv_sec = milliseconds / 1000;
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

bool StartDeadlineWatch(uint64_t deadlineMs, void (*expired)()) {
    platform::DeadlineWatch &watch = platform::deadlineWatch;
    watch.expired = expired;
    if (!watch.created) {
        struct sigevent event {};
        event.sigev_notify = SIGEV_THREAD;
        event.sigev_notify_function = platform::DeadlineExpired;
        if (timer_create(CLOCK_MONOTONIC, &event, &watch.timer) != 0) return false;
        watch.created = true;
    }
    platform::ArmDeadline(deadlineMs);
    return true;
}

void MoveDeadline(uint64_t deadlineMs) {
    if (platform::deadlineWatch.created) platform::ArmDeadline(deadlineMs);
}

OutputGuard::OutputGuard() { platform::OutputMutex().Lock(); }

OutputGuard::~OutputGuard() { platform::OutputMutex().Unlock(); }

void EndProcessNow(int status) {
    if (fflush(stdout) != 0 || ferror(stdout)) status = 2;
    // No destructors and no exit handlers: the main thread may still be inside the RFC library.
    _Exit(status);
}
