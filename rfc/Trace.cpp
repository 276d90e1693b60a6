// This run's share of the RFC trace file. Every process in the working directory appends to the one
// "Dev_Rfc.Trc", so a step takes the trace file's length before the library call and reads what
// was appended after it, each under the directory lock, and marks itself for the others while the
// library runs without the lock (a system that does not answer delays no other sensor). What it
// read counts as this run's only when no other process's step overlapped it; the error text quoted
// later is only ever this run's, withheld at worst.
#include <atomic>
#include <cstdio>

#include "platform/Platform.h"
#include "platform/DirectoryLock.h"
#include "platform/Process.h"
#include "rfc/Rfc.h"

namespace rfc {
namespace {

constexpr const char *kTraceFile = "Dev_Rfc.Trc";
constexpr size_t kTraceLinePiece = 99;
constexpr int64_t kTraceTailBytes = 64 * 1024;

// What this run's steps for the current system wrote to the trace file, read by the trace rules.
struct RunTrace {
    TraceText text;
    uint32_t lockWaitMs = 5000;
    bool lockMissed = false; // a step went on without the lock
    std::atomic<const char *> step{""};
};

RunTrace runTrace;

int64_t TraceLength() {
    int64_t size = FileSize(kTraceFile);
    return size < 0 ? 0 : size;
}

} // namespace
} // namespace rfc

void TraceText::Feed(const TextBase &line) {
    written = true;
    if (line.StartsWith("**** ERROR ")) kept.Clear();
    if (line.StartsWith("ERROR ")) {
        kept.Clear();
        if (line.size() > 12) kept.Assign(line.c_str() + 12);
    }
    if (line.size() >= 15 && line.Find("======> ", 7) == 7) kept.Assign(line.c_str() + 15);
    if (!kept.empty()) kept.StripLineEnd();
}

void TraceText::Append(TextBase &message) const {
    if (!written) {
        message.Append(" - Look for Trace-File");
    } else if (kept.empty()) {
        message.Append(" - Please Check Trace-File !");
    } else {
        message.Append(" - ").Append(kept);
    }
}

void ReadTraceFrom(FILE *trace, TraceText &text) {
    // At most the last part is read: a file that keeps growing must not hold the run, and the
    // error text stands at the end.
    FixedText<rfc::kTraceLinePiece> line;
    ReadBudget budget;
    budget.left = rfc::kTraceTailBytes;
    while (ReadTextLine(trace, line, rfc::kTraceLinePiece, budget) == LineRead::Line)
        text.Feed(line);
}

void ConfigureRfcSteps(uint32_t lockWaitMs) { rfc::runTrace.lockWaitMs = lockWaitMs; }

bool RfcStepMissedLock() { return rfc::runTrace.lockMissed; }

const char *CurrentRfcStep() { return rfc::runTrace.step.load(); }

void BeginSystemTrace() { rfc::runTrace.text = TraceText(); }

RfcStep::RfcStep(const char *name) {
    rfc::runTrace.step = "the working directory's lock";
    locked_ = AcquireDirectoryLock(rfc::runTrace.lockWaitMs);
    rfc::runTrace.step = name;
    if (!locked_) rfc::runTrace.lockMissed = true;
    before_ = rfc::TraceLength();
    // Marked even without the lock, so that no other process takes what this call appends as its own.
    BeginTraceStepMark(mark_, true);
    // Never held through the library call: it may wait for a system that does not answer.
    ReleaseDirectoryLock();
}

RfcStep::~RfcStep() {
    // A step that went on without the lock does not wait for it a second time: its text is lost anyway.
    bool lockedAfter = locked_ && AcquireDirectoryLock(rfc::runTrace.lockWaitMs);
    if (locked_ && !lockedAfter) rfc::runTrace.lockMissed = true;
    // Another process's step under way at any time during this one may have appended too.
    bool alone = EndTraceStepMark(mark_) && lockedAfter;
    FILE *trace = OpenFile(rfc::kTraceFile, "rb");
    int64_t after = trace == nullptr ? 0 : FileLength(trace);
    if (after != before_) {
        int64_t from = after - before_ > rfc::kTraceTailBytes ? after - rfc::kTraceTailBytes : before_;
        if (alone && after > before_ && SeekTo(trace, from)) {
            ReadTraceFrom(trace, rfc::runTrace.text);
        } else {
            // Changed while others could write too, or shrunk: nothing in it can be called ours.
            rfc::runTrace.text = TraceText();
        }
    }
    CloseFile(trace);
    ReleaseDirectoryLock();
    rfc::runTrace.step = "";
}

DirectoryBookkeeping::DirectoryBookkeeping() {
    rfc::runTrace.step = "the working directory's lock";
    held_ = AcquireDirectoryLock(rfc::runTrace.lockWaitMs);
    rfc::runTrace.step = "";
    if (!held_) rfc::runTrace.lockMissed = true;
}

DirectoryBookkeeping::~DirectoryBookkeeping() { ReleaseDirectoryLock(); }

void AppendTraceNotice(TextBase &message) { rfc::runTrace.text.Append(message); }

void RemoveTraceFile() {
    // Under the lock: another process may be between its step and the reading of its part. A step
    // of another process that runs without the lock keeps the file: the library may be writing its
    // block right now, and that process reads it when its step ends.
    bool locked = AcquireDirectoryLock(rfc::runTrace.lockWaitMs);
    if (!locked || !OtherTraceStepsUnderWay()) RemoveFile(rfc::kTraceFile);
    if (locked) ReleaseDirectoryLock();
}
