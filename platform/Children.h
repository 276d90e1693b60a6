// The program started again by itself for one piece of work (one system of item mode), so that a
// library that is not thread-safe serves several connections at once, each in its own process.
// A child learns its piece from the environment variable MARROWIND_CHILD ("<index> <result file>"),
// writes nothing to standard output and records what it did, in order, to its result file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/FixedText.h"

constexpr size_t kResultFileNameCapacity = 259;
constexpr uint32_t kMaxChildren = 64;

// A started child; `slot` is its place among the live children (-1: none).
struct ChildProcess {
    int32_t slot = -1;
};

// The result file of piece `index` of this process, in the temporary directory.
void ChildResultFileName(TextBase &name, uint32_t index);

// Starts the program again with the same arguments, MARROWIND_CHILD naming the piece and its result
// file; standard input and output of the child go nowhere. False when no process could be started.
bool StartChild(int argc, char **argv, uint32_t index, const char *resultFile, ChildProcess &child);

// Waits for the child to end; its exit status, or -1 when it did not end by itself.
int32_t WaitChild(ChildProcess &child);

// From any thread (the deadline watch, or a system that ends the run): ends every live child and
// removes its result file.
void StopAllChildren();

// In a child: the piece it runs and its result file. False in the program PRTG started.
bool ChildRequest(uint32_t &index, TextBase &resultFile);

// Result records: a tag and a text of any bytes, written as "<tag><length>:<bytes>\n".
bool OpenResultRecords(const char *resultFile);
void WriteResultRecord(char tag, const char *text);
void WriteResultRecord(char tag, const char *text, size_t length);
void CloseResultRecords();
// Reads the next record of a result file; false at its end or at a damaged record.
bool ReadResultRecord(FILE *file, char &tag, TextBase &text);

// Standard output of a child: while capturing, what the program writes goes to the result file as
// records of tag 'O' when recording, and nowhere otherwise.
void CaptureOutput(bool recording);
// For the output functions: true when the text was taken by the capture (recorded or dropped).
bool DivertOutput(const char *text);
bool OutputCaptured();
// The same for a line of the event log, recorded with tag 'L': the sensor writes it to its own
// event log when it replays the child's result, so the lines come in listing order.
bool DivertEventLine(const char *line);
