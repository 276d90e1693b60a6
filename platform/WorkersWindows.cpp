// Worker processes on Windows: CreateProcess of the program's own file with two anonymous pipes as
// standard input and output (only those two ends and standard error inherited, through a handle
// list), every worker in a job object that kills it when the parent's handle to the job closes.
//
// Anonymous pipes cannot be waited on, nor read with a timeout. Each worker therefore has a reader
// thread that blocks in ReadFile into the worker's buffer and then sets the worker's `filled`
// event; WaitForAnswer waits for those events with WaitForMultipleObjects (64 handles at most,
// which is kMaxWorkers) and the remaining time, so an answer is seen at once, without polling.
// The reader reads again only when the buffer has been taken (`drained`).
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0602
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602 // handle lists (Vista), nested job objects (Windows 8)
#endif

#include "platform/Workers.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <io.h>
#include <windows.h>

#include "platform/Frames.h"
#include "platform/Process.h"

static_assert(kMaxWorkers <= MAXIMUM_WAIT_OBJECTS, "WaitForMultipleObjects takes one event per worker");

namespace platform {
namespace {

constexpr const wchar_t kWorkerVariable[] = L"MARROWIND_WORKER";
// The environment a worker receives, in wide characters; a larger one starts no worker.
constexpr size_t kEnvironmentCapacity = 65536;

struct WorkerSlot {
    // Taken (exchanged for null) by whoever ends the worker, which may be the deadline watch.
    std::atomic<HANDLE> process{nullptr};
    HANDLE requests = nullptr; // the write end of the worker's standard input
    HANDLE answers = nullptr;  // the read end of its standard output, read by the reader thread
    HANDLE reader = nullptr;
    HANDLE filled = nullptr;  // manual reset: the buffer holds bytes, or the reader met the end
    HANDLE drained = nullptr; // auto reset: the reader may read again
    std::atomic<bool> stopping{false};
    // Written by the reader before it sets `filled`, taken by the parent's thread after.
    bool ended = false;
    DWORD start = 0;
    DWORD end = 0;
    char buffer[4096];
};

WorkerSlot workerSlots[kMaxWorkers];
HANDLE workerJob = nullptr; // never closed: its end with this process kills every worker

struct WorkerSide {
    bool checked = false;
    bool worker = false;
    HANDLE requests = nullptr;
    HANDLE answers = nullptr;
};

WorkerSide workerSide;

WorkerSlot *SlotOf(const Worker &worker) {
    if (worker.slot < 0 || worker.slot >= static_cast<int32_t>(kMaxWorkers)) return nullptr;
    WorkerSlot &slot = workerSlots[worker.slot];
    return slot.reader != nullptr ? &slot : nullptr;
}

void CloseHandleOnce(HANDLE &handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = nullptr;
}

DWORD WINAPI ReadAnswers(LPVOID parameter) {
    WorkerSlot &slot = *static_cast<WorkerSlot *>(parameter);
    for (;;) {
        WaitForSingleObject(slot.drained, INFINITE);
        if (slot.stopping) return 0;
        DWORD got = 0;
        BOOL read = ReadFile(slot.answers, slot.buffer, sizeof slot.buffer, &got, nullptr);
        slot.start = 0;
        slot.end = read ? got : 0;
        slot.ended = !read || got == 0;
        SetEvent(slot.filled);
        if (slot.ended) return 0;
    }
}

// Exactly `count` bytes from a worker's buffer, waiting for the reader thread when it is empty.
bool ReadFromSlot(void *source, char *bytes, size_t count) {
    WorkerSlot &slot = *static_cast<WorkerSlot *>(source);
    while (count > 0) {
        WaitForSingleObject(slot.filled, INFINITE);
        if (slot.start == slot.end) return false; // the reader met the end
        DWORD taken = slot.end - slot.start;
        if (taken > count) taken = static_cast<DWORD>(count);
        memcpy(bytes, slot.buffer + slot.start, taken);
        slot.start += taken;
        bytes += taken;
        count -= taken;
        if (slot.start == slot.end) {
            ResetEvent(slot.filled);
            SetEvent(slot.drained);
        }
    }
    return true;
}

bool ReadFromHandle(void *source, char *bytes, size_t count) {
    HANDLE handle = *static_cast<HANDLE *>(source);
    while (count > 0) {
        DWORD got = 0;
        DWORD wanted = count > 65536 ? 65536 : static_cast<DWORD>(count);
        if (!ReadFile(handle, bytes, wanted, &got, nullptr) || got == 0) return false;
        bytes += got;
        count -= got;
    }
    return true;
}

bool WriteToHandle(HANDLE handle, const char *bytes, size_t count) {
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, static_cast<DWORD>(count), &written, nullptr) || written == 0) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

bool WriteFrame(HANDLE handle, const TextBase &frame) {
    FixedText<15> header;
    FrameHeader(header, frame.size());
    return WriteToHandle(handle, header.c_str(), header.size()) && WriteToHandle(handle, frame.c_str(), frame.size());
}

// This process's environment with the worker's mark, which stands only there.
const wchar_t *WorkerEnvironment() {
    static wchar_t block[kEnvironmentCapacity];
    wchar_t mark[64];
    swprintf(mark, sizeof mark / sizeof mark[0], L"%ls=%lu", kWorkerVariable,
             static_cast<unsigned long>(GetCurrentProcessId()));
    const size_t nameLength = sizeof kWorkerVariable / sizeof kWorkerVariable[0] - 1;
    wchar_t *current = GetEnvironmentStringsW();
    if (current == nullptr) return nullptr;
    size_t used = 0;
    bool fits = true;
    for (const wchar_t *entry = current; *entry != L'\0' && fits; entry += wcslen(entry) + 1) {
        size_t length = wcslen(entry) + 1;
        if (_wcsnicmp(entry, kWorkerVariable, nameLength) == 0 && entry[nameLength] == L'=') continue;
        fits = used + length < kEnvironmentCapacity;
        if (fits) {
            wmemcpy(block + used, entry, length);
            used += length;
        }
    }
    FreeEnvironmentStringsW(current);
    size_t markLength = wcslen(mark) + 1;
    if (!fits || used + markLength + 1 > kEnvironmentCapacity) return nullptr;
    wmemcpy(block + used, mark, markLength);
    used += markLength;
    block[used] = L'\0';
    return block;
}

// The job every worker joins; when this process ends, its handle closes and the job kills them.
bool WorkerJob() {
    if (workerJob != nullptr) return true;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return false;
    }
    workerJob = job;
    return true;
}

// A pipe whose one end (`inherited`) the worker receives; the other end stays with this process.
bool OpenPipe(HANDLE &read, HANDLE &write, bool workerReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inheritable, 0)) return false;
    if (SetHandleInformation(workerReads ? write : read, HANDLE_FLAG_INHERIT, 0)) return true;
    CloseHandleOnce(read);
    CloseHandleOnce(write);
    return false;
}

void EndWorkerProcess(WorkerSlot &slot) {
    HANDLE process = slot.process.exchange(nullptr);
    if (process == nullptr) return;
    TerminateProcess(process, 3);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

// Starts the program suspended with the two pipe ends and standard error as its standard handles
// and nothing else inherited, in the workers' job; then lets it run.
HANDLE StartProcess(HANDLE input, HANDLE output) {
    static wchar_t program[32768];
    static wchar_t commandLine[32768 + 2];
    DWORD length = GetModuleFileNameW(nullptr, program, 32768);
    if (length == 0 || length >= 32768) return nullptr;
    swprintf(commandLine, sizeof commandLine / sizeof commandLine[0], L"\"%ls\"", program);
    const wchar_t *environment = WorkerEnvironment();
    if (environment == nullptr || !WorkerJob()) return nullptr;

    // Standard error as an inheritable copy: a handle list takes only inheritable handles.
    HANDLE error = nullptr;
    HANDLE ownError = GetStdHandle(STD_ERROR_HANDLE);
    if (ownError != nullptr && ownError != INVALID_HANDLE_VALUE &&
        !DuplicateHandle(GetCurrentProcess(), ownError, GetCurrentProcess(), &error, 0, TRUE, DUPLICATE_SAME_ACCESS))
        error = nullptr;
    HANDLE inherited[3] = {input, output, error};
    DWORD inheritedCount = error != nullptr ? 3 : 2;

    static char attributeStorage[256];
    SIZE_T attributeSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
    auto *attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeStorage);
    HANDLE process = nullptr;
    if (attributeSize <= sizeof attributeStorage && InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)) {
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                      inheritedCount * sizeof(HANDLE), nullptr, nullptr)) {
            STARTUPINFOEXW startup{};
            startup.StartupInfo.cb = sizeof startup;
            startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
            startup.StartupInfo.hStdInput = input;
            startup.StartupInfo.hStdOutput = output;
            startup.StartupInfo.hStdError = error;
            startup.lpAttributeList = attributes;
            PROCESS_INFORMATION information{};
            if (CreateProcessW(program, commandLine, nullptr, nullptr, TRUE,
                               EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW | CREATE_SUSPENDED |
                                   CREATE_UNICODE_ENVIRONMENT,
                               const_cast<wchar_t *>(environment), nullptr, &startup.StartupInfo, &information)) {
                // A worker that cannot join the job would outlive this process: it never runs.
                if (AssignProcessToJobObject(workerJob, information.hProcess) &&
                    ResumeThread(information.hThread) != static_cast<DWORD>(-1)) {
                    process = information.hProcess;
                } else {
                    TerminateProcess(information.hProcess, 3);
                    CloseHandle(information.hProcess);
                }
                CloseHandle(information.hThread);
            }
        }
        DeleteProcThreadAttributeList(attributes);
    }
    CloseHandleOnce(error);
    return process;
}

} // namespace
} // namespace platform

bool StartWorker(Worker &worker) {
    using namespace platform;
    worker.slot = -1;
    int32_t free = -1;
    for (uint32_t i = 0; i < kMaxWorkers && free < 0; ++i)
        if (workerSlots[i].reader == nullptr && workerSlots[i].process.load() == nullptr)
            free = static_cast<int32_t>(i);
    if (free < 0) return false;
    WorkerSlot &slot = workerSlots[free];
    HANDLE inputRead = nullptr, inputWrite = nullptr, outputRead = nullptr, outputWrite = nullptr;
    if (!OpenPipe(inputRead, inputWrite, true)) return false;
    if (!OpenPipe(outputRead, outputWrite, false)) {
        CloseHandleOnce(inputRead);
        CloseHandleOnce(inputWrite);
        return false;
    }
    HANDLE process = StartProcess(inputRead, outputWrite);
    CloseHandleOnce(inputRead);
    CloseHandleOnce(outputWrite);
    slot.filled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    slot.drained = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    slot.stopping = false;
    slot.ended = false;
    slot.start = slot.end = 0;
    slot.requests = inputWrite;
    slot.answers = outputRead;
    slot.process = process;
    if (process != nullptr && slot.filled != nullptr && slot.drained != nullptr)
        slot.reader = CreateThread(nullptr, 64 * 1024, ReadAnswers, &slot, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (slot.reader == nullptr) {
        EndWorkerProcess(slot);
        CloseHandleOnce(slot.requests);
        CloseHandleOnce(slot.answers);
        CloseHandleOnce(slot.filled);
        CloseHandleOnce(slot.drained);
        return false;
    }
    worker.slot = free;
    return true;
}

bool SendFrame(Worker &worker, const TextBase &frame) {
    platform::WorkerSlot *slot = platform::SlotOf(worker);
    if (slot == nullptr) return false;
    if (frame.size() <= kMaxFrameBytes && platform::WriteFrame(slot->requests, frame)) return true;
    StopWorker(worker);
    return false;
}

int32_t WaitForAnswer(Worker *workers, uint32_t count, uint64_t deadlineMs) {
    HANDLE events[kMaxWorkers];
    int32_t indexes[kMaxWorkers];
    DWORD eventCount = 0;
    for (uint32_t i = 0; i < count && eventCount < kMaxWorkers; ++i) {
        platform::WorkerSlot *slot = platform::SlotOf(workers[i]);
        if (slot == nullptr) continue;
        events[eventCount] = slot->filled;
        indexes[eventCount++] = static_cast<int32_t>(i);
    }
    if (eventCount == 0) return -1;
    for (;;) {
        DWORD timeout = INFINITE;
        if (deadlineMs != UINT64_MAX) {
            uint64_t now = MonotonicMilliseconds();
            timeout = now >= deadlineMs ? 0 : deadlineMs - now >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(deadlineMs - now);
        }
        DWORD woken = WaitForMultipleObjects(eventCount, events, FALSE, timeout);
        if (woken < WAIT_OBJECT_0 + eventCount) return indexes[woken - WAIT_OBJECT_0];
        if (woken != WAIT_TIMEOUT) return -1;
        // GetTickCount64 moves in steps of the system tick: wait out what is left of the deadline.
        if (deadlineMs != UINT64_MAX && MonotonicMilliseconds() >= deadlineMs) return -1;
    }
}

bool ReceiveFrame(Worker &worker, TextBase &frame) {
    frame.Clear();
    platform::WorkerSlot *slot = platform::SlotOf(worker);
    if (slot == nullptr) return false;
    if (ReadFrame(platform::ReadFromSlot, slot, frame, kMaxFrameBytes)) return true;
    frame.Clear();
    StopWorker(worker);
    return false;
}

void StopWorker(Worker &worker) {
    if (worker.slot < 0 || worker.slot >= static_cast<int32_t>(kMaxWorkers)) return;
    platform::WorkerSlot &slot = platform::workerSlots[worker.slot];
    worker.slot = -1;
    if (slot.reader == nullptr) return;
    platform::CloseHandleOnce(slot.requests);
    platform::EndWorkerProcess(slot);
    // The reader ends at the broken pipe, or at `drained` when it waits for the buffer to be taken.
    slot.stopping = true;
    SetEvent(slot.drained);
    WaitForSingleObject(slot.reader, INFINITE);
    platform::CloseHandleOnce(slot.reader);
    platform::CloseHandleOnce(slot.answers);
    platform::CloseHandleOnce(slot.filled);
    platform::CloseHandleOnce(slot.drained);
}

void StopAllWorkers() {
    // Only the processes: handles and reader threads are the other thread's, which sees each
    // pipe's end then.
    for (platform::WorkerSlot &slot : platform::workerSlots)
        platform::EndWorkerProcess(slot);
}

bool IsWorkerProcess() {
    platform::WorkerSide &side = platform::workerSide;
    if (!side.checked) {
        side.checked = true;
        wchar_t mark[32];
        DWORD length = GetEnvironmentVariableW(platform::kWorkerVariable, mark, 32);
        side.worker = length > 0 && length < 32 && mark[0] >= L'0' && mark[0] <= L'9';
        side.requests = GetStdHandle(STD_INPUT_HANDLE);
        side.answers = GetStdHandle(STD_OUTPUT_HANDLE);
    }
    return side.worker;
}

void BindWorkerToParent() {
    if (!IsWorkerProcess()) return;
    // The job kills the worker with the parent; a parent gone before that leaves a broken pipe,
    // which ends the worker at its next read. Answers keep the pipe; the C runtime's standard
    // output goes nowhere, so nothing printed by mistake can break a frame.
    HANDLE answers = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), platform::workerSide.answers, GetCurrentProcess(), &answers, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return;
    platform::workerSide.answers = answers;
    if (freopen("NUL", "wb", stdout) != nullptr)
        SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
}

bool ReadRequestFrame(TextBase &frame) {
    IsWorkerProcess();
    return ReadFrame(platform::ReadFromHandle, &platform::workerSide.requests, frame, kMaxFrameBytes);
}

bool WriteAnswerFrame(const TextBase &frame) {
    IsWorkerProcess();
    return frame.size() <= kMaxFrameBytes && platform::WriteFrame(platform::workerSide.answers, frame);
}
