#include "output/Console.h"

#include <cstdio>

#include "driver/RunState.h"
#include "platform/Platform.h"

namespace {

FILE *logStream = nullptr;

bool EventLogOpen() {
    if (!run.optionText.Contains(",SYSLOG")) return false;
    if (logStream == nullptr) logStream = OpenFile("Marrowind.Log", "a");
    return logStream != nullptr;
}

} // namespace

void PrintListingLine(const char *label, int32_t indent, int32_t width, const char *value) {
    WriteOutFormat("%*.0s", static_cast<int>(indent), label);
    WriteOutFormat("%-*s : %s\n", static_cast<int>(width), label, value);
}

void LogEvent(int32_t handle, const char *text, const char *detail) {
    if (!EventLogOpen()) return;
    fprintf(logStream, "%d %s %s\n", static_cast<int>(handle), text, detail);
    fflush(logStream);
}

void LogAbortLine(const char *line) {
    if (logStream == nullptr) return;
    fprintf(logStream, "%s\n", line);
    fflush(logStream);
}
