#include "platform/Platform.h"
#include "platform/Process.h"

#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

constexpr size_t kNativeNameCapacity = 1023;

} // namespace

void NativeFileName(TextBase &native, const char *windowsName) {
    native.Clear();
#if defined(_WIN32)
    native.Assign(windowsName);
#else
    const char *name = windowsName;
    if (((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) && name[1] == ':') {
        native.AppendChar('/');
        name += 2;
        if (*name == '\\' || *name == '/') ++name;
    }
    for (; *name != '\0'; ++name)
        native.AppendChar(*name == '\\' ? '/' : *name);
#endif
}

FILE *OpenFile(const char *windowsName, const char *mode) {
    if (windowsName == nullptr || windowsName[0] == '\0') return nullptr;
    FixedText<kNativeNameCapacity> native;
    NativeFileName(native, windowsName);
    if (native.truncated()) return nullptr;
    if (mode[0] == 'r') {
        struct stat info;
        if (stat(native.c_str(), &info) != 0 || (info.st_mode & S_IFMT) == S_IFDIR) return nullptr;
    }
    return fopen(native.c_str(), mode);
}

FILE *OpenFile(const TextBase &windowsName, const char *mode) {
    if (windowsName.truncated()) return nullptr;
    return OpenFile(windowsName.c_str(), mode);
}

void CloseFile(FILE *&file) {
    if (file != nullptr) fclose(file);
    file = nullptr;
}

bool FileExists(const TextBase &windowsName) {
    FILE *file = OpenFile(windowsName, "rb");
    if (file == nullptr) return false;
    CloseFile(file);
    return true;
}

void RemoveFile(const char *windowsName) {
    FixedText<kNativeNameCapacity> native;
    NativeFileName(native, windowsName);
    if (native.truncated() || native.empty()) return;
    // Only a file: remove() would take an empty directory of that name as well on POSIX.
    struct stat info;
    if (stat(native.c_str(), &info) != 0 || (info.st_mode & S_IFMT) != S_IFREG) return;
    remove(native.c_str());
}

bool ReadTextLine(FILE *file, TextBase &line, size_t maxChars) {
    line.Clear();
    if (file == nullptr) return false;
    size_t count = 0;
    bool ended = false; // a zero byte ended the text; the piece is still consumed
    bool any = false;
    while (count < maxChars) {
        int c = fgetc(file);
        if (c == EOF) break;
        any = true;
        if (c == '\r') {
            int next = fgetc(file);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                ungetc(next, file);
            }
        }
        ++count;
        if (c == '\0') ended = true;
        if (!ended) line.AppendChar(static_cast<char>(c));
        if (c == '\n') break;
    }
    return any;
}

bool ReadSecretLine(const char *prompt, TextBase &line, size_t maxChars) {
#if defined(_WIN32)
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    bool console = GetConsoleMode(input, &mode) != 0;
    if (console) SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
#else
    struct termios saved {};
    bool console = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (console) {
        struct termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
#endif
    if (console) fputs(prompt, stderr);
    bool any = ReadTextLine(stdin, line, maxChars);
    line.StripLineEnd();
#if defined(_WIN32)
    if (console) SetConsoleMode(input, mode);
#else
    if (console) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
#endif
    if (console) fputs("\n", stderr);
    return any;
}

void TimeOfDay(TextBase &text) {
    time_t now = time(nullptr);
    struct tm local {};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    text.Format("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
}

void WriteOut(const char *text) {
    OutputGuard guard;
    fputs(text, stdout);
}

void WriteOut(const TextBase &text) { WriteOut(text.c_str()); }

void WriteOutFormat(const char *format, ...) {
    OutputGuard guard;
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
}

void EndProcess(int status) {
    // A document PRTG did not receive whole is no success: a failed write is status 2.
    if (fflush(stdout) != 0 || ferror(stdout)) status = 2;
    exit(status);
}

int64_t FileLength(FILE *file) {
    if (file == nullptr || fseek(file, 0, SEEK_END) != 0) return -1;
#if defined(_WIN32)
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

bool SeekTo(FILE *file, int64_t offset) {
    if (file == nullptr || offset < 0) return false;
#if defined(_WIN32)
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}
