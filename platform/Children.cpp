#include "platform/Children.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Platform.h"
#include "platform/Process.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace platform {
namespace {

constexpr const char *kChildVariable = "MARROWIND_CHILD";

// The live children; the deadline watch ends them from its own thread.
struct ChildSlot {
    std::atomic<bool> live{false};
#if defined(_WIN32)
    HANDLE process = nullptr;
#else
    pid_t pid = 0;
#endif
    FixedText<kResultFileNameCapacity> resultFile;
};

// Built on first use: only PARALLEL runs need the slots, and building them at start-up would touch
// some 19 KiB of memory in every run.
ChildSlot (&ChildSlots())[kMaxChildren] {
    static ChildSlot slots[kMaxChildren];
    return slots;
}

struct Capture {
    bool active = false;
    bool recording = false;
    FILE *records = nullptr;
};

Capture capture;

int32_t FreeSlot() {
    for (uint32_t i = 0; i < kMaxChildren; ++i)
        if (!ChildSlots()[i].live) return static_cast<int32_t>(i);
    return -1;
}

#if defined(_WIN32)
// One argument as the C runtime's parser reads it back: quotes around it when it holds a blank, a
// tab or a quote (or is empty); backslashes doubled only before a quote.
void AppendQuotedArgument(TextBase &line, const char *argument) {
    if (argument[0] != '\0' && strpbrk(argument, " \t\n\v\"") == nullptr) {
        line.Append(argument);
        return;
    }
    line.AppendChar('"');
    for (const char *c = argument;; ++c) {
        size_t backslashes = 0;
        while (*c == '\\') {
            ++backslashes;
            ++c;
        }
        if (*c == '\0') {
            line.AppendRepeated('\\', backslashes * 2);
            break;
        }
        if (*c == '"') {
            line.AppendRepeated('\\', backslashes * 2 + 1);
        } else {
            line.AppendRepeated('\\', backslashes);
        }
        line.AppendChar(*c);
    }
    line.AppendChar('"');
}
#endif

} // namespace
} // namespace platform

void ChildResultFileName(TextBase &name, uint32_t index) {
    FixedText<63> leaf;
    leaf.Format("marrowind-%lu-%lu.res", static_cast<unsigned long>(CurrentProcessId()),
                static_cast<unsigned long>(index));
    TemporaryFileName(name, leaf.c_str());
}

bool StartChild(int argc, char **argv, uint32_t index, const char *resultFile, ChildProcess &child) {
    child.slot = -1;
    int32_t slot = platform::FreeSlot();
    if (slot < 0) return false;
    platform::ChildSlot &entry = platform::ChildSlots()[slot];
    FixedText<kResultFileNameCapacity + 16> request;
    request.Format("%lu %s", static_cast<unsigned long>(index), resultFile);
    if (request.truncated()) return false;
    entry.resultFile.Assign(resultFile);
#if defined(_WIN32)
    char program[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length > MAX_PATH) return false;
    static FixedText<32767> commandLine;
    commandLine.Clear();
    platform::AppendQuotedArgument(commandLine, program);
    for (int i = 1; i < argc; ++i) {
        commandLine.AppendChar(' ');
        platform::AppendQuotedArgument(commandLine, argv[i] != nullptr ? argv[i] : "");
    }
    if (commandLine.truncated()) return false;
    // The child reads the piece from its environment, which it takes from ours at its start.
    SetEnvironmentVariableA(platform::kChildVariable, request.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    // No handle is inherited: PRTG's pipe must close when this process ends, whatever a child does.
    BOOL started = CreateProcessA(program, const_cast<char *>(commandLine.c_str()), nullptr, nullptr, FALSE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &information);
    SetEnvironmentVariableA(platform::kChildVariable, nullptr);
    if (!started) return false;
    CloseHandle(information.hThread);
    entry.process = information.hProcess;
#else
    (void)argc;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // PRTG's pipe must close when this process ends, whatever a child does.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    setenv(platform::kChildVariable, request.c_str(), 1);
    // The program's own file by its path: under a tool that runs programs for inspection
    // (valgrind), /proc/self/exe is the tool, while reading the link gives the program.
    char program[4096] = {};
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    const char *path = length > 0 && static_cast<size_t>(length) < sizeof program - 1 ? program : "/proc/self/exe";
    pid_t pid = 0;
    int failed = posix_spawn(&pid, path, &actions, nullptr, argv, environ);
    unsetenv(platform::kChildVariable);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return false;
    entry.pid = pid;
#endif
    entry.live = true;
    child.slot = slot;
    return true;
}

int32_t WaitChild(ChildProcess &child) {
    if (child.slot < 0) return -1;
    platform::ChildSlot &entry = platform::ChildSlots()[child.slot];
    int32_t status = -1;
#if defined(_WIN32)
    WaitForSingleObject(entry.process, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(entry.process, &code)) status = static_cast<int32_t>(code);
    CloseHandle(entry.process);
    entry.process = nullptr;
#else
    int waited = 0;
    while (waitpid(entry.pid, &waited, 0) < 0) {
        if (errno != EINTR) break;
    }
    if (WIFEXITED(waited)) status = WEXITSTATUS(waited);
    entry.pid = 0;
#endif
    entry.live = false;
    child.slot = -1;
    return status;
}

void StopAllChildren() {
    for (platform::ChildSlot &entry : platform::ChildSlots()) {
        if (!entry.live) continue;
#if defined(_WIN32)
        TerminateProcess(entry.process, 3);
        WaitForSingleObject(entry.process, 1000);
        CloseHandle(entry.process);
        entry.process = nullptr;
#else
        kill(entry.pid, SIGKILL);
        waitpid(entry.pid, nullptr, 0);
        entry.pid = 0;
#endif
        RemoveFile(entry.resultFile.c_str());
        entry.live = false;
    }
}

bool ChildRequest(uint32_t &index, TextBase &resultFile) {
    const char *request = getenv(platform::kChildVariable);
    if (request == nullptr || request[0] < '0' || request[0] > '9') return false;
    char *end = nullptr;
    unsigned long value = strtoul(request, &end, 10);
    if (end == nullptr || *end != ' ' || end[1] == '\0') return false;
    index = static_cast<uint32_t>(value);
    resultFile.Assign(end + 1);
    return !resultFile.truncated();
}

bool OpenResultRecords(const char *resultFile) {
    platform::capture.records = OpenFile(resultFile, "wb");
    return platform::capture.records != nullptr;
}

void WriteResultRecord(char tag, const char *text, size_t length) {
    FILE *records = platform::capture.records;
    if (records == nullptr) return;
    fprintf(records, "%c%lu:", tag, static_cast<unsigned long>(length));
    fwrite(text, 1, length, records);
    fputc('\n', records);
    // A child the library ends (its failure handler) leaves every record written so far.
    fflush(records);
}

void WriteResultRecord(char tag, const char *text) { WriteResultRecord(tag, text, strlen(text)); }

void CloseResultRecords() { CloseFile(platform::capture.records); }

bool ReadResultRecord(FILE *file, char &tag, TextBase &text) {
    text.Clear();
    int first = fgetc(file);
    if (first == EOF) return false;
    tag = static_cast<char>(first);
    unsigned long length = 0;
    int c = fgetc(file);
    if (c < '0' || c > '9') return false;
    while (c >= '0' && c <= '9') {
        length = length * 10 + static_cast<unsigned long>(c - '0');
        if (length > 1000000) return false;
        c = fgetc(file);
    }
    if (c != ':') return false;
    for (unsigned long i = 0; i < length; ++i) {
        c = fgetc(file);
        if (c == EOF) return false;
        text.AppendChar(c == 0 ? ' ' : static_cast<char>(c));
    }
    return fgetc(file) == '\n';
}

void CaptureOutput(bool recording) {
    platform::capture.active = true;
    platform::capture.recording = recording;
}

bool DivertOutput(const char *text) {
    if (!platform::capture.active) return false;
    if (platform::capture.recording && text[0] != '\0') WriteResultRecord('O', text);
    return true;
}

bool OutputCaptured() { return platform::capture.active; }

bool DivertEventLine(const char *line) {
    if (!platform::capture.active) return false;
    if (platform::capture.recording) WriteResultRecord('L', line);
    return true;
}
