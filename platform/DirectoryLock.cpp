#include "platform/DirectoryLock.h"

#include <cstdio>

#include "platform/Process.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

// FNV-1a of the working directory's path: processes in one directory find the same lock.
uint32_t DirectoryHash() {
    char path[4096] = {};
#if defined(_WIN32)
    if (GetCurrentDirectoryA(sizeof path, path) == 0) path[0] = '\0';
    for (char *c = path; *c != '\0'; ++c)
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a'); // Windows paths ignore case
#else
    if (getcwd(path, sizeof path) == nullptr) path[0] = '\0';
#endif
    uint32_t hash = 2166136261u;
    for (const char *c = path; *c != '\0'; ++c) {
        hash ^= static_cast<unsigned char>(*c);
        hash *= 16777619u;
    }
    return hash;
}

// A file of the working directory's in the temporary folder: "marrowind-<hash>.<extension>".
bool DirectoryFileName(TextBase &name, uint32_t directory, const char *extension) {
    FixedText<63> leaf;
    leaf.Format("marrowind-%08x.%s", static_cast<unsigned>(directory), extension);
    return TemporaryFileName(name, leaf.c_str());
}

struct DirectoryLock {
    bool held = false;
#if defined(_WIN32)
    HANDLE mutex = nullptr;
#else
    int descriptor = -1;
    pid_t opener = 0; // a forked child must open its own: a shared descriptor shares the lock
#endif
    uint32_t directory = 0; // the working directory the lock belongs to
};

DirectoryLock directoryLock;

} // namespace
} // namespace platform

bool AcquireDirectoryLock(uint32_t waitMs) {
    platform::DirectoryLock &lock = platform::directoryLock;
#if !defined(_WIN32)
    if (lock.held && lock.opener != getpid()) lock.held = false;
#endif
    if (lock.held) return true;
    FixedText<127> name;
    uint32_t directory = platform::DirectoryHash();
#if defined(_WIN32)
    if (lock.mutex != nullptr && lock.directory != directory) {
        CloseHandle(lock.mutex);
        lock.mutex = nullptr;
    }
#else
    if (lock.descriptor >= 0 && lock.directory != directory) {
        close(lock.descriptor);
        lock.descriptor = -1;
    }
#endif
    lock.directory = directory;
#if defined(_WIN32)
    if (lock.mutex == nullptr) {
        name.Format("Local\\Marrowind-%08x", static_cast<unsigned>(directory));
        lock.mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        if (lock.mutex == nullptr) return false;
    }
    DWORD waited = WaitForSingleObject(lock.mutex, waitMs);
    // An abandoned mutex was held by a process that ended: it is ours now.
    lock.held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
#else
    if (lock.descriptor >= 0 && lock.opener != getpid()) {
        close(lock.descriptor);
        lock.descriptor = -1;
        lock.held = false;
    }
    if (lock.descriptor < 0) {
        if (!platform::DirectoryFileName(name, directory, "lck")) return false;
        lock.descriptor = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (lock.descriptor < 0) return false;
        lock.opener = getpid();
    }
    uint64_t until = MonotonicMilliseconds() + waitMs;
    for (;;) {
        if (flock(lock.descriptor, LOCK_EX | LOCK_NB) == 0) {
            lock.held = true;
            break;
        }
        if (MonotonicMilliseconds() >= until) break;
        SleepMilliseconds(5);
    }
#endif
    return lock.held;
}

void ReleaseDirectoryLock() {
    platform::DirectoryLock &lock = platform::directoryLock;
    if (!lock.held) return;
#if defined(_WIN32)
    ReleaseMutex(lock.mutex);
#else
    flock(lock.descriptor, LOCK_UN);
#endif
    lock.held = false;
}

bool DirectoryLockHeld() { return platform::directoryLock.held; }

namespace platform {
namespace {

// The file of the step marks: locked shared by every marked step under way (on Windows its byte
// kMarkByte); its first eight bytes count the marked steps ever begun. Opened once per process and
// directory.
struct StepMarks {
#if defined(_WIN32)
    HANDLE file = INVALID_HANDLE_VALUE;
#else
    int descriptor = -1;
    pid_t opener = 0;
#endif
    uint32_t directory = 0;
};

StepMarks stepMarks;
#if defined(_WIN32)
constexpr uint32_t kMarkByte = 4096; // the byte range lock; the count stays outside it
#endif

bool OpenStepMarks() {
    StepMarks &marks = stepMarks;
    uint32_t directory = DirectoryHash();
    FixedText<600> name;
#if defined(_WIN32)
    if (marks.file != INVALID_HANDLE_VALUE && marks.directory == directory) return true;
    if (marks.file != INVALID_HANDLE_VALUE) CloseHandle(marks.file);
    marks.file = INVALID_HANDLE_VALUE;
    if (!DirectoryFileName(name, directory, "stp")) return false;
    marks.file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    marks.directory = directory;
    return marks.file != INVALID_HANDLE_VALUE;
#else
    if (marks.descriptor >= 0 && marks.directory == directory && marks.opener == getpid()) return true;
    if (marks.descriptor >= 0) close(marks.descriptor);
    marks.descriptor = -1;
    if (!DirectoryFileName(name, directory, "stp")) return false;
    marks.descriptor = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    marks.opener = getpid();
    marks.directory = directory;
    return marks.descriptor >= 0;
#endif
}

// Locks of the mark byte, without waiting.
bool LockMark(bool exclusive) {
#if defined(_WIN32)
    OVERLAPPED at{};
    at.Offset = kMarkByte;
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(stepMarks.file, flags, 0, 1, 0, &at) != 0;
#else
    return flock(stepMarks.descriptor, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
#endif
}

void UnlockMark() {
#if defined(_WIN32)
    OVERLAPPED at{};
    at.Offset = kMarkByte;
    UnlockFileEx(stepMarks.file, 0, 1, 0, &at);
#else
    flock(stepMarks.descriptor, LOCK_UN);
#endif
}

// The count of marked steps begun; a file too short for it counts none.
uint64_t ReadGeneration() {
    uint64_t generation = 0;
#if defined(_WIN32)
    OVERLAPPED at{};
    DWORD read = 0;
    if (!ReadFile(stepMarks.file, &generation, sizeof generation, &read, &at) || read != sizeof generation)
        generation = 0;
#else
    if (pread(stepMarks.descriptor, &generation, sizeof generation, 0) != static_cast<ssize_t>(sizeof generation))
        generation = 0;
#endif
    return generation;
}

void WriteGeneration(uint64_t generation) {
#if defined(_WIN32)
    OVERLAPPED at{};
    DWORD written = 0;
    WriteFile(stepMarks.file, &generation, sizeof generation, &written, &at);
#else
    // Unwritten, the next marked step looks like this one's successor: it is still marked on the
    // byte lock while under way, which is what the others check first.
    ssize_t written = pwrite(stepMarks.descriptor, &generation, sizeof generation, 0);
    (void)written;
#endif
}

// Whether another process holds the mark byte: a marked step of its is under way.
bool MarkedStepUnderWay() {
    bool nobody = LockMark(true);
    if (nobody) UnlockMark();
    return !nobody;
}

} // namespace
} // namespace platform

void BeginTraceStepMark(TraceStepMark &mark, bool markThisStep) {
    mark = TraceStepMark();
    if (!platform::OpenStepMarks()) {
        mark.othersAtStart = markThisStep;
        return;
    }
    mark.othersAtStart = platform::MarkedStepUnderWay();
    if (!markThisStep) return;
    mark.marked = platform::LockMark(false);
    if (!mark.marked) mark.othersAtStart = true;
    mark.generation = platform::ReadGeneration();
    platform::WriteGeneration(mark.generation + 1);
}

bool EndTraceStepMark(TraceStepMark &mark) {
    if (!platform::OpenStepMarks()) return !mark.othersAtStart && !mark.marked;
    bool alone = !mark.othersAtStart;
    // A marked step of another process that began meanwhile moved the count past this one's.
    if (mark.marked) {
        alone = alone && platform::ReadGeneration() == mark.generation + 1;
        platform::UnlockMark();
        mark.marked = false;
    }
    return alone;
}

bool OtherTraceStepsUnderWay() { return platform::OpenStepMarks() && platform::MarkedStepUnderWay(); }
