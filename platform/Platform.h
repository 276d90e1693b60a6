// The platform seam: files by their Windows-style names, text lines, file deletion, the time of day,
// standard output and the end of the process. Nothing else in the program knows which platform it
// runs on.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/FileNames.h"
#include "platform/FixedText.h"

// Opens a file by its Windows-style name. A name that was cut (truncated text) and an empty name
// never open (errno ENAMETOOLONG, ENOENT). For reading (a mode beginning with "r") only a regular
// file opens: never a directory (EISDIR), a FIFO or a device (a FIFO without a writer or an
// endless device would hold the run), and the open itself does not wait. Mode as for fopen; text
// files are opened "rb" and read with ReadTextLine, binary copies use fread and get every byte.
FILE *OpenFile(const TextBase &windowsName, const char *mode);
FILE *OpenFile(const char *windowsName, const char *mode);
// Opens a file for appending, creating it when missing, but never through a link: a symbolic link
// (on Windows any reparse point) or anything but a regular file of that name does not open, so
// the lines cannot land elsewhere.
FILE *OpenAppendFile(const char *windowsName);
// Why an open for reading failed, from the errno it left: Missing when no file of that name is there
// (nothing, a name that was cut or is no valid name, or no regular file: a directory, a FIFO, a
// device count as missing); Unreadable when something is there but could not be opened: no
// permission, a file another program holds without sharing (Windows), too many open files, an I/O
// error.
enum class OpenFailure { Missing, Unreadable };
OpenFailure ClassifyOpenFailure(int errorNumber);
// The system's text for an error number, e.g. "Permission denied".
void ErrorNumberText(TextBase &text, int errorNumber);
// Closes the file and forgets the encoding ReadTextLine found for it.
void CloseFile(FILE *&file);
bool FileExists(const TextBase &windowsName);
// The line end of text files written for a person: CR LF on Windows (for Notepad), LF elsewhere.
// The sensor reads either.
extern const char kTextLineEnd[];
void RemoveFile(const char *windowsName);
// Renames a file over another in the same directory in one step, so a reader finds the old file or
// the new one, never a part. A target that exists keeps its access rights (on Windows its ACL).
bool MoveFileOver(const char *fromWindowsName, const char *toWindowsName);

// Reads one piece of a text line the way fgets does with a buffer of maxChars + 1 bytes: at most
// maxChars characters, ending after the line feed when one comes first; the rest of a longer line
// is the next piece. A carriage return directly before a line feed is dropped, as Windows' text
// mode does, so CR LF and LF files read alike everywhere. A zero byte ends the text (the rest of the
// piece is consumed). Returns false at the end of the file when nothing was read.
// Whatever an editor wrote reads as the ASCII text it holds: a UTF-8 byte-order mark is skipped, and
// a file that starts with a UTF-16 mark (either byte order) is read by code units, each one a
// character; a unit above 0x7F reads as '?'. The encoding is found when reading at offset 0.
bool ReadTextLine(FILE *file, TextBase &line, size_t maxChars);

// Whether standard input is a terminal (a console on Windows), where a person types.
bool StandardInputIsTerminal();
// How much a reader takes of a text file at most: a profile or a listing is far smaller, and a
// file that keeps growing must not hold the run.
constexpr int64_t kMaxTextFileBytes = int64_t{1} << 20;
struct ReadBudget {
    int64_t left = kMaxTextFileBytes;
};
enum class LineRead {
    Line,  // a piece was read
    End,   // the end of the file, nothing read
    Failed // a read error, or the file goes on beyond the budget: the file cannot be read, and
           // what came before is no whole file either
};
// ReadTextLine within a budget, telling the end of the file from a failed read.
LineRead ReadTextLine(FILE *file, TextBase &line, size_t maxChars, ReadBudget &budget);
// The same, also telling whether the piece ended its line (at a line feed or the end of the file).
// A piece that did not is continued by the next one: a reader takes a line of any length piece by
// piece, each piece's text ending at a zero byte as above.
LineRead ReadTextLine(FILE *file, TextBase &line, size_t maxChars, ReadBudget &budget, bool &lineEnded);

// Reads one line from standard input, without echo and after the prompt on standard error when
// standard input is a terminal; the line end is removed. Returns false at the end of input.
bool ReadSecretLine(const char *prompt, TextBase &line, size_t maxChars);

// Local time of day as "HH:MM:SS".
void TimeOfDay(TextBase &text);

// Standard output: the text as it stands, no formatting of its content.
void WriteOut(const char *text);
void WriteOut(const TextBase &text);
void WriteOutFormat(const char *format, ...) MARROWIND_PRINTF_LIKE(1, 2);

// The size in bytes of a regular file by its Windows-style name, taken with one stat; -1 when no
// regular file has that name.
int64_t FileSize(const char *windowsName);
// The length of an open file in bytes (its position is then at the end), or -1.
int64_t FileLength(FILE *file);
// Moves to a byte offset of a file opened in binary mode.
bool SeekTo(FILE *file, int64_t offset);

// Ends the process with the status after flushing standard output; status 2 instead when a write
// to standard output failed.
[[noreturn]] void EndProcess(int status);
