// Keeping what the sensor holds and writes to its own account: no dump of a process that holds a
// password, files created for the account alone, and leftovers of ended processes found again.
#pragma once

#include <cstdint>
#include <cstdio>

// At start-up, before any password is read: no core dump or crash dump of the process and no crash
// dialog waiting for a person (on POSIX core size 0 and not dumpable; on Windows a crash ends the
// process at once, without Windows Error Reporting); files the process creates are readable by
// its account alone (on POSIX the umask 077).
void HardenProcess();

// Creates a new file for writing in binary mode, by its Windows-style name: fails when anything of
// that name exists, so a link planted under it is never followed; readable and writable only by
// the account (on Windows also SYSTEM and the administrators), from the start.
FILE *CreatePrivateFile(const char *windowsName);

// Calls `visit` with the name of every entry of the working directory that begins with `prefix`
// (on Windows in any letter case). False when the directory cannot be read.
bool ListWorkingDirectory(const char *prefix, void (*visit)(const char *name, void *context), void *context);

// Whether two names of the working directory's files name the same file: on Windows in any letter
// case, elsewhere exactly.
bool SameFileName(const char *one, const char *other);

// Whether a process of this id is running (one that cannot be asked about counts as running).
bool ProcessRunning(uint32_t processId);
