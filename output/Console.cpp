#include "output/Console.h"

#include <cstdio>

#include "platform/FixedText.h"
#include "platform/Platform.h"

namespace output {
namespace {

// The event log of ",SYSLOG": its file stays open to the end of the process.
struct EventLog {
    bool enabled = false;
    FILE *stream = nullptr;
    TextBase *captured = nullptr; // a worker's lines, for the process that writes the log
};

EventLog eventLog;

bool EventLogOpen() {
    if (!eventLog.enabled) return false;
    if (eventLog.stream == nullptr) eventLog.stream = OpenAppendFile("Marrowind.Log");
    return eventLog.stream != nullptr;
}

void PutEventLine(const char *line) {
    fprintf(eventLog.stream, "%s\n", line);
    fflush(eventLog.stream);
}

} // namespace
} // namespace output

void PrintListingLine(const char *label, int32_t indent, int32_t width, const char *value) {
    WriteOutFormat("%*.0s", static_cast<int>(indent), label);
    WriteOutFormat("%-*s : %s\n", static_cast<int>(width), label, value);
}

void ConfigureEventLog(bool enabled) { output::eventLog.enabled = enabled; }

void LogEvent(int32_t handle, const char *text, const char *detail) {
    if (!output::eventLog.enabled) return;
    FixedText<2047> line;
    line.Format("%d %s %s", static_cast<int>(handle), text, detail);
    if (output::eventLog.captured != nullptr) {
        output::eventLog.captured->Append(line).Append("\n");
        return;
    }
    if (output::EventLogOpen()) output::PutEventLine(line.c_str());
}

void LogAbortLine(const char *line) {
    if (!output::eventLog.enabled) return;
    if (output::eventLog.captured != nullptr) {
        output::eventLog.captured->Append(line).Append("\n");
        return;
    }
    if (output::eventLog.stream != nullptr) output::PutEventLine(line);
}

void CaptureEventLines(TextBase *lines) { output::eventLog.captured = lines; }

void ReplayEventLine(const char *line) {
    if (output::EventLogOpen()) output::PutEventLine(line);
}
