#include "output/Console.h"

#include <cstdio>

#include "platform/Platform.h"

namespace output {
namespace {

// The event log of ",SYSLOG": its file stays open to the end of the process.
struct EventLog {
    bool enabled = false;
    FILE *stream = nullptr;
};

EventLog eventLog;

bool EventLogOpen() {
    if (!eventLog.enabled) return false;
    if (eventLog.stream == nullptr) eventLog.stream = OpenAppendFile("Marrowind.Log");
    return eventLog.stream != nullptr;
}

} // namespace
} // namespace output

void PrintListingLine(const char *label, int32_t indent, int32_t width, const char *value) {
    WriteOutFormat("%*.0s", static_cast<int>(indent), label);
    WriteOutFormat("%-*s : %s\n", static_cast<int>(width), label, value);
}

void ConfigureEventLog(bool enabled) { output::eventLog.enabled = enabled; }

void LogEvent(int32_t handle, const char *text, const char *detail) {
    if (!output::EventLogOpen()) return;
    fprintf(output::eventLog.stream, "%d %s %s\n", static_cast<int>(handle), text, detail);
    fflush(output::eventLog.stream);
}

void LogAbortLine(const char *line) {
    if (output::eventLog.stream == nullptr) return;
    fprintf(output::eventLog.stream, "%s\n", line);
    fflush(output::eventLog.stream);
}
