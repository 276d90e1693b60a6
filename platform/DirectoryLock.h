// What one process of the sensor shares with the others that PRTG starts beside it in the same
// working directory: the directory lock and the marks of RFC steps that run without it.
#pragma once

#include <cstdint>

// The lock of the working directory, shared by every process of the program that works there
// (the RFC library reads SapRfc.ini and appends to Dev_Rfc.Trc in it). Waits at most waitMs;
// false when the lock could not be had in that time. Held until ReleaseDirectoryLock, or until the
// process ends.
bool AcquireDirectoryLock(uint32_t waitMs);
void ReleaseDirectoryLock();
bool DirectoryLockHeld();

// Marks of the RFC steps that run while the directory lock is free (the children of a PARALLEL
// run call the library at the same time), so that any step can tell whether a process other than
// its own could have appended to the trace file during it. A mark is a lock on a file beside the
// directory lock's: a process that dies drops its marks with it. Begin and end under the directory
// lock.
struct TraceStepMark {
    bool othersAtStart = true; // another process's step was under way when this one began
    bool marked = false;       // this process's step is marked for the others to see
    uint64_t generation = 0;   // marked steps begun in the directory so far, as this step began
};
// markThisStep: the step will run without the directory lock. Without the marks' file a marked
// step counts as overlapped; an unmarked one (held under the lock throughout) as alone.
void BeginTraceStepMark(TraceStepMark &mark, bool markThisStep);
// True when no other process's step ran at any time during this one; ends this step's mark.
bool EndTraceStepMark(TraceStepMark &mark);
// Whether a marked step of another process is under way (the trace file is then not to be removed).
bool OtherTraceStepsUnderWay();
