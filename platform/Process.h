// What one process of the sensor needs of time, threads and its own identity: replacing a file in
// one step, the temporary folder, the monotonic clock, the deadline watch and the end of the process.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"

// Moves `from` over `to` in one step: a reader sees the old file or the new one, never a part.
bool ReplaceFileWith(const char *from, const char *to);

uint32_t CurrentProcessId();

// Milliseconds of a clock that never goes back.
uint64_t MonotonicMilliseconds();

void SleepMilliseconds(uint32_t milliseconds);

// Calls `expired` once the monotonic clock (MonotonicMilliseconds) reaches the deadline, unless
// the deadline is moved (MoveDeadline) before. The callback runs on a thread of its own and must
// end the process. Nothing runs before the deadline: on POSIX a timer, on Windows a thread that
// waits for the time left. Returns false when the watch could not be set up.
bool StartDeadlineWatch(uint64_t deadlineMs, void (*expired)());
// A new deadline for the watch; UINT64_MAX: none (the watch then never calls back).
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
