// Console services beside the sensor document: the aligned listing line and the event log.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"

// Prints indent blanks, the label left-aligned in a column of width characters (a longer label
// whole), " : ", the value and a line end.
void PrintListingLine(const char *label, int32_t indent, int32_t width, const char *value);

// Whether LogEvent writes: the run driver enables it for ",SYSLOG". The log file is opened at the
// first event, not before.
void ConfigureEventLog(bool enabled);

// Appends "<handle> <text> <detail>" to the event log "Marrowind.Log" in the working directory when
// the event log is enabled; otherwise does nothing.
void LogEvent(int32_t handle, const char *text, const char *detail);

// Writes one plain line to the event log when it is open.
void LogAbortLine(const char *line);

// In a worker: while `lines` is set, the event lines are appended to it, each ended by a line feed,
// for the process that writes the log in listing order; null writes them to the log again.
void CaptureEventLines(TextBase *lines);
// Writes a line a worker recorded for the event log (enabled or not, as LogEvent).
void ReplayEventLine(const char *line);
