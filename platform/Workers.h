// Worker processes: the program started again by itself, once per worker, to serve requests over
// its standard input and output, so that a library that is not thread-safe serves several
// connections at once, each in a process of its own. The parent writes request frames to a
// worker's standard input and reads answer frames from its standard output; a frame is
// "<decimal length>:<bytes>". Nothing goes through a file, so there is nothing another account
// could plant, link or find left behind. Workers end with the parent: on Windows a job object
// that kills on close, on POSIX a parent-death signal and the worker's own end of input.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"

constexpr uint32_t kMaxWorkers = 64;
// The largest frame either side accepts; a longer one is malformed.
constexpr size_t kMaxFrameBytes = 65536;

// A started worker; `slot` is its place among the live workers (-1: none).
struct Worker {
    int32_t slot = -1;
};

// Starts the program itself as a worker: its standard input and output are pipes to this process,
// its standard error is this process's, and it inherits no other handle (PRTG's pipe closes when
// this process ends, whatever a worker does). The environment is this process's, marked so that
// the worker knows it is one. False when no process could be started.
// The worker is started by the program's file with no arguments. On POSIX the worker's
// parent-death signal follows the thread that called StartWorker: call it from the main thread.
bool StartWorker(Worker &worker);

// Sends one request frame. False when the worker is gone, or the frame is longer than
// kMaxFrameBytes (the worker is then stopped).
bool SendFrame(Worker &worker, const TextBase &frame);

// Waits until one of the `count` workers has an answer ready to read (or has ended, or sent
// something that is no frame), or until the monotonic clock reaches deadlineMs. Returns the index
// into `workers` of such a worker, or -1 at the deadline. Workers with slot -1 are passed over;
// when none of them is live, -1 at once. deadlineMs UINT64_MAX waits without end.
int32_t WaitForAnswer(Worker *workers, uint32_t count, uint64_t deadlineMs);

// Reads one whole answer frame into `frame`. False when the worker ended, or sent a frame that is
// malformed or longer than kMaxFrameBytes or than `frame` holds: the worker is then stopped.
// A frame is text: a zero byte in it makes it malformed.
bool ReceiveFrame(Worker &worker, TextBase &frame);

// Ends one worker (after a run-ending answer, or a worker that misbehaves).
void StopWorker(Worker &worker);
// From any thread (the deadline watch, or a system that ends the run): ends every live worker.
void StopAllWorkers();

// In a worker: whether this process was started by StartWorker. Checked once at start-up.
bool IsWorkerProcess();
// In a worker, once at start-up: the worker ends when the parent does (parent-death signal, and a
// check that the parent that started it is still the parent). From then on the worker's standard
// output goes nowhere and only WriteAnswerFrame reaches the pipe, so nothing printed by mistake
// can break a frame.
void BindWorkerToParent();
// In a worker: the next request frame; false when the parent closed the pipe or died (the worker
// then ends), or the frame is malformed.
bool ReadRequestFrame(TextBase &frame);
// In a worker: writes one answer frame and flushes it (the frame goes straight to the pipe, not
// through a buffer). False when the parent is gone or the frame is longer than kMaxFrameBytes.
bool WriteAnswerFrame(const TextBase &frame);
