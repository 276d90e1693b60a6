#include "platform/Platform.h"

#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
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

namespace {

#if defined(_WIN32)
// Only a file on a disk: "CON.P00" is the console and "NUL" a device on Windows, whatever the
// extension, and a named pipe is no file either.
bool IsDiskFile(FILE *file) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
}
#else
// Opened without waiting (a FIFO without a writer would block the open), then kept only when it
// is a regular file; the descriptor reads blocking again from there.
FILE *OpenRegularForReading(const char *native, const char *mode) {
    int descriptor = open(native, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        return nullptr;
    }
    int flags = fcntl(descriptor, F_GETFL);
    if (flags == -1 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        close(descriptor);
        return nullptr;
    }
    FILE *file = fdopen(descriptor, mode);
    if (file == nullptr) close(descriptor);
    return file;
}
#endif

} // namespace

FILE *OpenFile(const char *windowsName, const char *mode) {
    if (windowsName == nullptr || windowsName[0] == '\0') return nullptr;
    FixedText<kNativeNameCapacity> native;
    NativeFileName(native, windowsName);
    if (native.truncated()) return nullptr;
    if (mode[0] != 'r') return fopen(native.c_str(), mode);
#if defined(_WIN32)
    struct stat info;
    if (stat(native.c_str(), &info) != 0 || (info.st_mode & S_IFMT) == S_IFDIR) return nullptr;
    FILE *file = fopen(native.c_str(), mode);
    if (file != nullptr && !IsDiskFile(file)) CloseFile(file);
    return file;
#else
    return OpenRegularForReading(native.c_str(), mode);
#endif
}

FILE *OpenAppendFile(const char *windowsName) {
    if (windowsName == nullptr || windowsName[0] == '\0') return nullptr;
    FixedText<kNativeNameCapacity> native;
    NativeFileName(native, windowsName);
    if (native.truncated()) return nullptr;
#if defined(_WIN32)
    // The reparse point itself is opened, not what it points to, and refused.
    HANDLE handle = CreateFileA(native.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) || GetFileType(handle) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        CloseHandle(handle);
        return nullptr;
    }
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_WRONLY);
    if (descriptor == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE *file = _fdopen(descriptor, "a");
    if (file == nullptr) _close(descriptor);
    return file;
#else
    int descriptor = open(native.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (descriptor < 0) return nullptr;
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        return nullptr;
    }
    FILE *file = fdopen(descriptor, "a");
    if (file == nullptr) close(descriptor);
    return file;
#endif
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

namespace {

// One piece of a line; `budget` null reads without a bound.
LineRead ReadPiece(FILE *file, TextBase &line, size_t maxChars, ReadBudget *budget) {
    line.Clear();
    if (file == nullptr) return LineRead::End;
    size_t count = 0;
    bool ended = false; // a zero byte ended the text; the piece is still consumed
    bool any = false;
    auto next = [&]() -> int {
        int c = fgetc(file);
        if (c != EOF && budget != nullptr) --budget->left;
        return c;
    };
    while (count < maxChars) {
        if (budget != nullptr && budget->left <= 0) {
            // Spent: the file must end here, or it is more than a reader takes.
            int c = fgetc(file);
            if (c == EOF && !ferror(file)) break;
            return LineRead::Failed;
        }
        int c = next();
        if (c == EOF) {
            if (ferror(file)) return LineRead::Failed;
            break;
        }
        any = true;
        if (c == '\r') {
            int after = fgetc(file);
            if (after == '\n') {
                c = '\n';
                if (budget != nullptr) --budget->left;
            } else if (after != EOF) {
                ungetc(after, file);
            } else if (ferror(file)) {
                return LineRead::Failed;
            }
        }
        ++count;
        if (c == '\0') ended = true;
        if (!ended) line.AppendChar(static_cast<char>(c));
        if (c == '\n') break;
    }
    return any ? LineRead::Line : LineRead::End;
}

} // namespace

bool ReadTextLine(FILE *file, TextBase &line, size_t maxChars) {
    return ReadPiece(file, line, maxChars, nullptr) == LineRead::Line;
}

LineRead ReadTextLine(FILE *file, TextBase &line, size_t maxChars, ReadBudget &budget) {
    return ReadPiece(file, line, maxChars, &budget);
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

void WriteOut(const char *text) { fputs(text, stdout); }

void WriteOut(const TextBase &text) { fputs(text.c_str(), stdout); }

void WriteOutFormat(const char *format, ...) {
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
