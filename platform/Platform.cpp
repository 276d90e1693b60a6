#include "platform/Platform.h"

#include "platform/Process.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/WindowsSecurity.h"
#else
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

constexpr size_t kNativeNameCapacity = 1023;

} // namespace

// The text files being read, by FILE*: their encoding and, for files opened by OpenFile, a block
// of bytes read ahead. An editor may write a profile in UTF-16 (PowerShell's "> file") or with a
// UTF-8 mark (Notepad); the reader finds that out at the start of a file and keeps it here until
// CloseFile. A file OpenFile opened for reading is read a block at a time (one read, no lock and no
// position query per character or line); any other stream (standard input, where a person types
// line by line) is read a character at a time from the stream itself.
namespace textencoding {

enum class Encoding : uint8_t { Bytes, Utf16Le, Utf16Be };

constexpr size_t kBlockBytes = 4096;

struct OpenText {
    FILE *file = nullptr;
    Encoding encoding = Encoding::Bytes;
    int pending = EOF;    // a code unit read ahead after a carriage return, already turned into a byte
    bool blocks = false;  // read through `block` (opened by OpenFile); the stream's position is then
                          // that of the block's end
    bool atStart = false; // with blocks: the next byte is the file's first (instead of ftell)
    uint16_t next = 0;    // with blocks: the next byte to take and the end of what the block holds
    uint16_t end = 0;
    unsigned char block[kBlockBytes];
};

// More than the program ever has open at once; a file that finds no room reads character by
// character.
constexpr size_t kOpenTexts = 16;
OpenText openTexts[kOpenTexts];

OpenText *Find(FILE *file) {
    for (OpenText &entry : openTexts) {
        if (entry.file == file) return &entry;
    }
    return nullptr;
}

void Reset(OpenText &entry, FILE *file, bool blocks) {
    entry.file = file;
    entry.encoding = Encoding::Bytes;
    entry.pending = EOF;
    entry.blocks = blocks;
    entry.atStart = blocks;
    entry.next = entry.end = 0;
}

void Forget(FILE *file) {
    if (OpenText *entry = Find(file)) Reset(*entry, nullptr, false);
}

// A file OpenFile opened for reading: read in blocks from its start. An entry left by a file
// closed without CloseFile at the same address is taken over.
void RememberOpened(FILE *file) {
    OpenText *entry = Find(file);
    if (entry == nullptr) entry = Find(nullptr);
    if (entry != nullptr) Reset(*entry, file, true);
}

// The stream moved (SeekTo, FileLength): what the block holds is no longer next.
void Moved(FILE *file, bool toStart) {
    OpenText *entry = Find(file);
    if (entry == nullptr || !entry->blocks) return;
    entry->next = entry->end = 0;
    entry->pending = EOF;
    entry->atStart = toStart;
}

// The next byte of the file, EOF at its end or on an error (ferror tells).
int NextByte(FILE *file, OpenText *entry) {
    if (entry == nullptr || !entry->blocks) return fgetc(file);
    if (entry->next == entry->end) {
        // At the end nothing changes: the start of a short file stays in the block.
        size_t got = fread(entry->block, 1, kBlockBytes, file);
        if (got == 0) return EOF;
        entry->next = 0;
        entry->end = static_cast<uint16_t>(got);
    }
    return entry->block[entry->next++];
}

// Puts back the byte NextByte just returned.
void UngetByte(FILE *file, OpenText *entry, int c) {
    if (entry == nullptr || !entry->blocks) {
        ungetc(c, file);
    } else {
        --entry->next;
    }
}

bool AtStart(FILE *file, OpenText *entry) {
    if (entry == nullptr || !entry->blocks) return ftell(file) == 0;
    return entry->atStart;
}

// At the start of a file: skips a UTF-8 mark, or takes a UTF-16 mark and remembers the byte order.
// Anything else is put back and the file reads as bytes. Runs on every read at offset 0, so an
// entry left by a stream closed without CloseFile never applies to a new one at the same address.
// Without blocks a first byte that cannot begin a mark goes back with ungetc, which needs no seek:
// standard input may be a pipe that reports offset 0. With blocks the first bytes of the file are
// all in the block, so going back to the start is going back to its first byte.
void DetectAtStart(FILE *file, OpenText *&entry) {
    if (entry != nullptr && entry->blocks) {
        entry->atStart = false;
        entry->encoding = Encoding::Bytes;
        entry->pending = EOF;
    } else {
        Forget(file);
        entry = nullptr;
    }
    int first = NextByte(file, entry);
    if (first == EOF) return;
    if (first != 0xEF && first != 0xFF && first != 0xFE) {
        UngetByte(file, entry, first);
        return;
    }
    int second = NextByte(file, entry);
    Encoding found = first == 0xFF && second == 0xFE   ? Encoding::Utf16Le
                     : first == 0xFE && second == 0xFF ? Encoding::Utf16Be
                                                       : Encoding::Bytes;
    if (found != Encoding::Bytes) {
        if (entry == nullptr) {
            entry = Find(nullptr);
            if (entry == nullptr) return;
            Reset(*entry, file, false);
        }
        entry->encoding = found;
        return;
    }
    if (first == 0xEF && second == 0xBB && NextByte(file, entry) == 0xBF) return;
    if (entry != nullptr && entry->blocks) {
        entry->next = 0;
    } else {
        fseek(file, 0, SEEK_SET);
    }
}

// The next character: a byte, or a UTF-16 code unit as one byte (above 0x7F a '?', which no key
// holds). EOF at the end; half a code unit at the end is no character.
int NextCharacter(FILE *file, OpenText *entry) {
    if (entry == nullptr || entry->encoding == Encoding::Bytes) return NextByte(file, entry);
    if (entry->pending != EOF) {
        int c = entry->pending;
        entry->pending = EOF;
        return c;
    }
    int first = NextByte(file, entry);
    if (first == EOF) return EOF;
    int second = NextByte(file, entry);
    if (second == EOF) return EOF;
    unsigned unit = entry->encoding == Encoding::Utf16Le ? static_cast<unsigned>(first | (second << 8))
                                                         : static_cast<unsigned>((first << 8) | second);
    return unit > 0x7F ? '?' : static_cast<int>(unit);
}

void PutBack(FILE *file, OpenText *entry, int c) {
    if (entry == nullptr || entry->encoding == Encoding::Bytes) {
        UngetByte(file, entry, c);
    } else {
        entry->pending = c;
    }
}

} // namespace textencoding

namespace {

#if defined(_WIN32)
// Only a file on a disk: "CON.P00" is the console and "NUL" a device on Windows, whatever the
// extension, and a named pipe is no file either.
bool IsDiskFile(FILE *file) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
}
#else
// A stream over an open descriptor, when it is a regular file; otherwise the descriptor is closed
// (errno EISDIR for a directory, ENODEV for anything else). `blocking` clears O_NONBLOCK first.
FILE *RegularFileStream(int descriptor, const char *mode, bool blocking) {
    if (descriptor < 0) return nullptr;
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        errno = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
        return nullptr;
    }
    if (blocking) {
        int flags = fcntl(descriptor, F_GETFL);
        if (flags == -1 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == -1) {
            close(descriptor);
            return nullptr;
        }
    }
    FILE *file = fdopen(descriptor, mode);
    if (file == nullptr) close(descriptor);
    return file;
}

// Opened without waiting (a FIFO without a writer would block the open), then kept only when it
// is a regular file; the descriptor reads blocking again from there.
FILE *OpenRegularForReading(const char *native, const char *mode) {
    return RegularFileStream(open(native, O_RDONLY | O_NONBLOCK | O_CLOEXEC), mode, true);
}
#endif

} // namespace

FILE *OpenFile(const char *windowsName, const char *mode) {
    if (windowsName == nullptr || windowsName[0] == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    FixedText<kNativeNameCapacity> native;
    NativeFileName(native, windowsName);
    if (native.truncated()) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    if (mode[0] != 'r') return fopen(native.c_str(), mode);
#if defined(_WIN32)
    struct stat info;
    if (stat(native.c_str(), &info) != 0) return nullptr;
    if ((info.st_mode & S_IFMT) == S_IFDIR) {
        errno = EISDIR;
        return nullptr;
    }
    FILE *file = fopen(native.c_str(), mode);
    if (file != nullptr && !IsDiskFile(file)) {
        CloseFile(file);
        errno = ENODEV;
        return nullptr;
    }
#else
    FILE *file = OpenRegularForReading(native.c_str(), mode);
#endif
    if (file != nullptr) textencoding::RememberOpened(file);
    return file;
}

FILE *OpenAppendFile(const char *windowsName) {
    if (windowsName == nullptr || windowsName[0] == '\0') return nullptr;
    FixedText<kNativeNameCapacity> native;
    NativeFileName(native, windowsName);
    if (native.truncated()) return nullptr;
#if defined(_WIN32)
    // The reparse point itself is opened, not what it points to, and refused.
    // A new log is the account's alone (its lines name systems and users).
    HANDLE handle = CreateFileA(native.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                platform::OwnerOnlyAttributes(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
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
    return RegularFileStream(
        open(native.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600), "a", false);
#endif
}

FILE *OpenFile(const TextBase &windowsName, const char *mode) {
    if (windowsName.truncated()) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    return OpenFile(windowsName.c_str(), mode);
}

OpenFailure ClassifyOpenFailure(int errorNumber) {
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL: // a name Windows does not take ("PRD?.P00")
    case EISDIR:
    case ENODEV:
    case ENXIO:
        return OpenFailure::Missing;
    default:
        return OpenFailure::Unreadable;
    }
}

void ErrorNumberText(TextBase &text, int errorNumber) { text.Assign(strerror(errorNumber)); }

void CloseFile(FILE *&file) {
    if (file != nullptr) {
        textencoding::Forget(file);
        fclose(file);
    }
    file = nullptr;
}

bool FileExists(const TextBase &windowsName) {
    FILE *file = OpenFile(windowsName, "rb");
    if (file == nullptr) return false;
    CloseFile(file);
    return true;
}

#if defined(_WIN32)
const char kTextLineEnd[] = "\r\n";
#else
const char kTextLineEnd[] = "\n";
#endif

void RemoveFile(const char *windowsName) {
    FixedText<kNativeNameCapacity> native;
    NativeFileName(native, windowsName);
    if (native.truncated() || native.empty()) return;
    // Only a file: remove() would take an empty directory of that name as well on POSIX.
    struct stat info;
    if (stat(native.c_str(), &info) != 0 || (info.st_mode & S_IFMT) != S_IFREG) return;
    remove(native.c_str());
}

bool MoveFileOver(const char *fromWindowsName, const char *toWindowsName) {
    FixedText<kNativeNameCapacity> from;
    FixedText<kNativeNameCapacity> to;
    NativeFileName(from, fromWindowsName);
    NativeFileName(to, toWindowsName);
    if (from.truncated() || to.truncated() || from.empty() || to.empty()) {
        errno = ENAMETOOLONG;
        return false;
    }
#if defined(_WIN32)
    // ReplaceFile keeps the replaced file's ACL (Wine's wants full paths). Where it cannot work (a
    // file system without ACLs) the plain rename still replaces the file in one step; a new target
    // takes the directory's rights, as the temporary file did.
    char fullFrom[MAX_PATH];
    char fullTo[MAX_PATH];
    DWORD fromLength = GetFullPathNameA(from.c_str(), MAX_PATH, fullFrom, nullptr);
    DWORD toLength = GetFullPathNameA(to.c_str(), MAX_PATH, fullTo, nullptr);
    if (fromLength > 0 && fromLength < MAX_PATH && toLength > 0 && toLength < MAX_PATH &&
        GetFileAttributesA(fullTo) != INVALID_FILE_ATTRIBUTES &&
        ReplaceFileA(fullTo, fullFrom, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        return true;
    }
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DWORD failure = GetLastError();
    errno = failure == ERROR_ACCESS_DENIED || failure == ERROR_SHARING_VIOLATION ? EACCES
            : failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND ? ENOENT
                                                                                 : EIO;
    return false;
#else
    struct stat info;
    if (stat(to.c_str(), &info) == 0 && chmod(from.c_str(), info.st_mode & 07777) != 0) return false;
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

namespace {

// One piece of a line; `budget` null reads without a bound. A file that began with a byte-order
// mark is read in its encoding (textencoding); the budget counts the file's bytes.
LineRead ReadPiece(FILE *file, TextBase &line, size_t maxChars, ReadBudget *budget, bool *lineEnded) {
    line.Clear();
    // Until the piece is full: then its line goes on in the next piece.
    if (lineEnded != nullptr) *lineEnded = true;
    if (file == nullptr) return LineRead::End;
    textencoding::OpenText *entry = textencoding::Find(file);
    if (textencoding::AtStart(file, entry)) textencoding::DetectAtStart(file, entry);
    size_t count = 0;
    bool ended = false; // a zero byte ended the text; the piece is still consumed
    bool any = false;
    const bool units = entry != nullptr && entry->encoding != textencoding::Encoding::Bytes;
    auto next = [&]() -> int {
        bool putBack = units && entry->pending != EOF; // already counted when it was read
        int c = textencoding::NextCharacter(file, entry);
        if (c != EOF && budget != nullptr && !putBack) budget->left -= units ? 2 : 1;
        return c;
    };
    while (count < maxChars) {
        if (budget != nullptr && budget->left <= 0) {
            // Spent: the file must end here, or it is more than a reader takes.
            int c = textencoding::NextByte(file, entry);
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
            int after = next();
            if (after == '\n') {
                c = '\n';
            } else if (after != EOF) {
                textencoding::PutBack(file, entry, after);
            } else if (ferror(file)) {
                return LineRead::Failed;
            }
        }
        ++count;
        if (c == '\0') ended = true;
        if (!ended) line.AppendChar(static_cast<char>(c));
        if (c == '\n') break;
        if (count == maxChars && lineEnded != nullptr) *lineEnded = false;
    }
    return any ? LineRead::Line : LineRead::End;
}

} // namespace

bool ReadTextLine(FILE *file, TextBase &line, size_t maxChars) {
    return ReadPiece(file, line, maxChars, nullptr, nullptr) == LineRead::Line;
}

LineRead ReadTextLine(FILE *file, TextBase &line, size_t maxChars, ReadBudget &budget) {
    return ReadPiece(file, line, maxChars, &budget, nullptr);
}

LineRead ReadTextLine(FILE *file, TextBase &line, size_t maxChars, ReadBudget &budget, bool &lineEnded) {
    return ReadPiece(file, line, maxChars, &budget, &lineEnded);
}

bool StandardInputIsTerminal() {
#if defined(_WIN32)
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
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

int64_t FileSize(const char *windowsName) {
    FixedText<kNativeNameCapacity> native;
    NativeFileName(native, windowsName);
    if (native.truncated() || native.empty()) return -1;
#if defined(_WIN32)
    struct _stat64 info;
    if (_stat64(native.c_str(), &info) != 0 || (info.st_mode & S_IFMT) != S_IFREG) return -1;
#else
    struct stat info;
    if (stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
#endif
    return static_cast<int64_t>(info.st_size);
}

int64_t FileLength(FILE *file) {
    if (file == nullptr) return -1;
    textencoding::Moved(file, false);
    if (fseek(file, 0, SEEK_END) != 0) return -1;
#if defined(_WIN32)
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

bool SeekTo(FILE *file, int64_t offset) {
    if (file == nullptr || offset < 0) return false;
    textencoding::Moved(file, offset == 0);
#if defined(_WIN32)
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}
