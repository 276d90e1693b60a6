// What one process of the sensor shares with the others that PRTG starts beside it in the same
// working directory, and what it needs of time and threads: the directory lock, replacing a file
// in one step, the monotonic clock and the deadline watch.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"

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

// The name of a file in the temporary folder (TEMP on Windows, TMPDIR or /tmp elsewhere). False
// when the folder is unknown (the name is then the leaf alone) or the name was cut.
bool TemporaryFileName(TextBase &name, const char *leaf);

// Moves `from` over `to` in one step: a reader sees the old file or the new one, never a part.
bool ReplaceFileWith(const char *from, const char *to);

uint32_t CurrentProcessId();

// Milliseconds of a clock that never goes back.
uint64_t MonotonicMilliseconds();

void SleepMilliseconds(uint32_t milliseconds);

// Starts a thread that calls `expired` once the monotonic clock reaches the deadline, unless the
// deadline is moved (MoveDeadline) before. The callback runs on that thread and must end the
// process. Returns false when no thread could be started.
bool StartDeadlineWatch(uint64_t deadlineMs, void (*expired)());
void MoveDeadline(uint64_t deadlineMs);

// Standard output shared by the main thread and the deadline watch: whoever writes holds it.
class OutputGuard {
  public:
    OutputGuard();
    ~OutputGuard();
    OutputGuard(const OutputGuard &) = delete;
    OutputGuard &operator=(const OutputGuard &) = delete;
};

// Ends the process at once, from any thread, after flushing standard output.
[[noreturn]] void EndProcessNow(int status);
