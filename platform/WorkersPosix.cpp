// Worker processes on POSIX: posix_spawn of the program's own file with two pipes as standard
// input and output, poll() to wait for answers, a parent-death signal set by the worker itself.
#include "platform/Workers.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "platform/Frames.h"
#include "platform/Process.h"

extern char **environ;

namespace platform {
namespace {

// The worker's mark in its environment: the parent's process id, so the worker can check that
// the process that started it is still its parent.
constexpr const char kWorkerVariable[] = "MARROWIND_WORKER";
// Entries of the environment a worker receives; a larger environment starts no worker.
constexpr size_t kMaxEnvironmentEntries = 4096;

// The parent's side of one worker. The descriptors belong to the thread that runs the workers;
// the process id is taken (exchanged for 0) by whoever ends the worker, which may be the deadline
// watch on its own thread.
struct WorkerSlot {
    std::atomic<pid_t> pid{0};
    int requests = -1; // the write end of the worker's standard input
    int answers = -1;  // the read end of its standard output
};

WorkerSlot workerSlots[kMaxWorkers];

// The worker's side.
struct WorkerSide {
    bool checked = false;
    bool worker = false;
    pid_t parent = 0;
    int answers = STDOUT_FILENO; // where answer frames go (BindWorkerToParent moves it)
};

WorkerSide workerSide;

WorkerSlot *SlotOf(const Worker &worker) {
    if (worker.slot < 0 || worker.slot >= static_cast<int32_t>(kMaxWorkers)) return nullptr;
    WorkerSlot &slot = workerSlots[worker.slot];
    return slot.answers >= 0 ? &slot : nullptr;
}

void CloseDescriptor(int &descriptor) {
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
}

// A pipe whose ends no started program inherits and which are above the standard descriptors
// (a parent started with a closed standard input would otherwise get descriptor 0 here, which the
// worker's own standard input would then replace).
bool OpenPipe(int (&ends)[2]) {
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    for (int &end : ends) {
        if (end > STDERR_FILENO) continue;
        int moved = fcntl(end, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(end);
        end = moved;
    }
    if (ends[0] >= 0 && ends[1] >= 0) return true;
    CloseDescriptor(ends[0]);
    CloseDescriptor(ends[1]);
    return false;
}

// The program's own file by its path: under a tool that runs programs for inspection (valgrind),
// /proc/self/exe is the tool, while reading the link gives the program.
const char *ProgramPath() {
    static char path[4096];
    if (path[0] == '\0') {
        ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof path - 1) return "/proc/self/exe";
        path[length] = '\0';
    }
    return path;
}

// This process's environment with the worker's mark, which stands only there.
char **WorkerEnvironment() {
    static char *entries[kMaxEnvironmentEntries];
    static FixedText<63> mark;
    mark.Format("%s=%lu", kWorkerVariable, static_cast<unsigned long>(getpid()));
    const size_t nameLength = sizeof kWorkerVariable - 1;
    size_t count = 0;
    for (char **entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (strncmp(*entry, kWorkerVariable, nameLength) == 0 && (*entry)[nameLength] == '=') continue;
        if (count + 2 > kMaxEnvironmentEntries) return nullptr;
        entries[count++] = *entry;
    }
    entries[count++] = const_cast<char *>(mark.c_str());
    entries[count] = nullptr;
    return entries;
}

bool ReadDescriptor(void *source, char *buffer, size_t count) {
    int descriptor = *static_cast<int *>(source);
    while (count > 0) {
        ssize_t got = read(descriptor, buffer, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buffer += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteDescriptor(int descriptor, const char *bytes, size_t count) {
    while (count > 0) {
        ssize_t written = write(descriptor, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool WriteFrame(int descriptor, const TextBase &frame) {
    FixedText<15> header;
    FrameHeader(header, frame.size());
    return WriteDescriptor(descriptor, header.c_str(), header.size()) &&
           WriteDescriptor(descriptor, frame.c_str(), frame.size());
}

// Kills the worker unless another thread already did, and collects it.
void EndWorkerProcess(WorkerSlot &slot) {
    pid_t pid = slot.pid.exchange(0);
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace
} // namespace platform

bool StartWorker(Worker &worker) {
    using namespace platform;
    worker.slot = -1;
    // A write to a worker that died must fail with EPIPE, not end this process.
    static bool pipeSignalIgnored = false;
    if (!pipeSignalIgnored) {
        signal(SIGPIPE, SIG_IGN);
        pipeSignalIgnored = true;
    }
    int32_t free = -1;
    for (uint32_t i = 0; i < kMaxWorkers && free < 0; ++i)
        if (workerSlots[i].answers < 0 && workerSlots[i].pid.load() == 0) free = static_cast<int32_t>(i);
    char **environment = WorkerEnvironment();
    if (free < 0 || environment == nullptr) return false;

    int requests[2];
    int answers[2];
    if (!OpenPipe(requests)) return false;
    if (!OpenPipe(answers)) {
        CloseDescriptor(requests[0]);
        CloseDescriptor(requests[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, requests[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, answers[1], STDOUT_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Nothing else this process holds, not even a descriptor it inherited without close-on-exec.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    // The worker's writes to a parent that died should end it, as for any program.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    char *arguments[] = {const_cast<char *>(ProgramPath()), nullptr};
    pid_t pid = 0;
    int failed = posix_spawn(&pid, arguments[0], &actions, &attributes, arguments, environment);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    CloseDescriptor(requests[0]);
    CloseDescriptor(answers[1]);
    if (failed != 0) {
        CloseDescriptor(requests[1]);
        CloseDescriptor(answers[0]);
        return false;
    }
    WorkerSlot &slot = workerSlots[free];
    slot.requests = requests[1];
    slot.answers = answers[0];
    slot.pid = pid;
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
    struct pollfd watched[kMaxWorkers];
    int32_t indexes[kMaxWorkers];
    nfds_t watchedCount = 0;
    for (uint32_t i = 0; i < count && watchedCount < kMaxWorkers; ++i) {
        platform::WorkerSlot *slot = platform::SlotOf(workers[i]);
        if (slot == nullptr) continue;
        watched[watchedCount] = {slot->answers, POLLIN, 0};
        indexes[watchedCount++] = static_cast<int32_t>(i);
    }
    if (watchedCount == 0) return -1;
    for (;;) {
        int timeout = -1;
        if (deadlineMs != UINT64_MAX) {
            uint64_t now = MonotonicMilliseconds();
            if (now >= deadlineMs) timeout = 0;
            else timeout = deadlineMs - now > INT32_MAX ? INT32_MAX : static_cast<int>(deadlineMs - now);
        }
        int ready = poll(watched, watchedCount, timeout);
        if (ready < 0 && errno != EINTR) return -1;
        for (nfds_t i = 0; ready > 0 && i < watchedCount; ++i)
            if (watched[i].revents != 0) return indexes[i];
        if (timeout == 0) return -1;
    }
}

bool ReceiveFrame(Worker &worker, TextBase &frame) {
    frame.Clear();
    platform::WorkerSlot *slot = platform::SlotOf(worker);
    if (slot == nullptr) return false;
    if (ReadFrame(platform::ReadDescriptor, &slot->answers, frame, kMaxFrameBytes)) return true;
    frame.Clear();
    StopWorker(worker);
    return false;
}

void StopWorker(Worker &worker) {
    if (worker.slot < 0 || worker.slot >= static_cast<int32_t>(kMaxWorkers)) return;
    platform::WorkerSlot &slot = platform::workerSlots[worker.slot];
    platform::CloseDescriptor(slot.requests);
    platform::EndWorkerProcess(slot);
    platform::CloseDescriptor(slot.answers);
    worker.slot = -1;
}

void StopAllWorkers() {
    // Only the processes: the descriptors are the other thread's, which sees each pipe end then.
    for (platform::WorkerSlot &slot : platform::workerSlots)
        platform::EndWorkerProcess(slot);
}

bool IsWorkerProcess() {
    platform::WorkerSide &side = platform::workerSide;
    if (!side.checked) {
        side.checked = true;
        const char *mark = getenv(platform::kWorkerVariable);
        int64_t parent = mark != nullptr && IsDigit(mark[0]) ? DecimalValue(mark, 12) : 0;
        side.worker = parent > 0;
        side.parent = static_cast<pid_t>(parent);
    }
    return side.worker;
}

void BindWorkerToParent() {
    if (!IsWorkerProcess()) return;
#if defined(__linux__)
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    // The parent may have died before the signal was asked for: the worker then belongs to
    // another process already.
    if (getppid() != platform::workerSide.parent) _exit(3);
    // Answers keep the pipe; standard output goes nowhere, so nothing printed by mistake can
    // break a frame.
    int answers = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (answers >= 0 && nowhere >= 0 && dup2(nowhere, STDOUT_FILENO) >= 0) {
        platform::workerSide.answers = answers;
    } else if (answers >= 0) {
        close(answers);
    }
    if (nowhere >= 0) close(nowhere);
}

bool ReadRequestFrame(TextBase &frame) {
    int input = STDIN_FILENO;
    return ReadFrame(platform::ReadDescriptor, &input, frame, kMaxFrameBytes);
}

bool WriteAnswerFrame(const TextBase &frame) {
    return frame.size() <= kMaxFrameBytes && platform::WriteFrame(platform::workerSide.answers, frame);
}
