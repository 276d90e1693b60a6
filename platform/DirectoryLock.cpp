#include "platform/DirectoryLock.h"

#include "platform/DirectoryLockParts.h"
#include "platform/Process.h"

namespace platform {
namespace {

// What this process has open, for which working directory, and in which process: a forked child
// must open its own (a shared descriptor would share the lock).
struct OpenFor {
    bool open = false;
    DirectoryIdentity identity;
    uint32_t process = 0;
};

struct DirectoryLock {
    OpenFor file;
    bool held = false;
};

DirectoryLock directoryLock;
OpenFor stepMarks;

bool OpenedHere(const OpenFor &what, const DirectoryIdentity &identity) {
    return what.open && what.identity == identity && what.process == CurrentProcessId();
}

bool OpenLock() {
    DirectoryIdentity identity;
    if (!CurrentDirectoryIdentity(identity)) return false;
    OpenFor &file = directoryLock.file;
    if (OpenedHere(file, identity)) return true;
    if (file.process != CurrentProcessId()) directoryLock.held = false;
    if (file.open) CloseLockFile();
    file.open = OpenLockFile(identity);
    file.identity = identity;
    file.process = CurrentProcessId();
    return file.open;
}

bool OpenStepMarks() {
    DirectoryIdentity identity;
    if (!CurrentDirectoryIdentity(identity)) return false;
    if (OpenedHere(stepMarks, identity)) return true;
    if (stepMarks.open) CloseMarksFile();
    stepMarks.open = OpenMarksFile(identity);
    stepMarks.identity = identity;
    stepMarks.process = CurrentProcessId();
    return stepMarks.open;
}

// Whether another process holds the mark byte: a marked step of its is under way.
bool MarkedStepUnderWay() {
    bool nobody = LockMark(true);
    if (nobody) UnlockMark();
    return !nobody;
}

} // namespace
} // namespace platform

bool AcquireDirectoryLock(uint32_t waitMs) {
    platform::DirectoryLock &lock = platform::directoryLock;
    if (lock.held && lock.file.process == CurrentProcessId()) return true;
    lock.held = false;
    if (!platform::OpenLock()) return false;
    lock.held = platform::WaitForLock(waitMs);
    return lock.held;
}

void ReleaseDirectoryLock() {
    platform::DirectoryLock &lock = platform::directoryLock;
    if (!lock.held) return;
    platform::UnlockLock();
    lock.held = false;
}

bool DirectoryLockHeld() { return platform::directoryLock.held; }

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
