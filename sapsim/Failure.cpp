#include "Failure.h"

#include "Platform.h"
#include "Text.h"

#include <cstdio>

namespace sapsim {

namespace {

constexpr const char *kTraceFile = "Dev_Rfc.Trc";

LastError &Stored() {
    static LastError lastError;
    return lastError;
}

const std::vector<std::string> *&LinesInUse() {
    static const std::vector<std::string> *lines = nullptr;
    return lines;
}

void AppendLines(const std::vector<std::string> &lines) {
    std::FILE *file = std::fopen(kTraceFile, "a");
    if (file == nullptr) return;
    for (const std::string &line : lines)
        std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
}

// One block of two lines; a trace file that cannot be written is left alone.
void AppendTraceBlock(const std::string &message) {
    if (LinesInUse() != nullptr) {
        AppendLines(*LinesInUse());
        return;
    }
    LocalTime now = CurrentLocalTime();
    std::FILE *file = std::fopen(kTraceFile, "a");
    if (file == nullptr) return;
    std::fprintf(file, "**** ERROR file opened at %s %s\n", now.date.c_str(), now.time.c_str());
    std::fprintf(file, "ERROR       %s\n", message.c_str());
    std::fclose(file);
}

} // namespace

const char *ErrorKey(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::Communication:
        return "RFC_ERROR_COMMUNICATION";
    case ErrorKind::Logon:
        return "RFC_ERROR_LOGON_FAILURE";
    case ErrorKind::System:
        break;
    }
    return "RFC_ERROR_SYSTEM_FAILURE";
}

int ErrorGroup(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::Communication:
        return 1;
    case ErrorKind::Logon:
        return 2;
    case ErrorKind::System:
        break;
    }
    return 3;
}

void RecordFailure(ErrorKind kind, std::string_view message) {
    std::string line = OneLine(message);
    LastError &lastError = Stored();
    lastError.key = ErrorKey(kind);
    lastError.status = "RFC_FAILURE";
    lastError.message = line;
    lastError.internalStatus.clear();
    AppendTraceBlock(line);
}

const LastError &CurrentLastError() { return Stored(); }

TraceLinesInUse::TraceLinesInUse(const std::vector<std::string> *lines) : previous_(LinesInUse()) {
    LinesInUse() = lines;
}

TraceLinesInUse::~TraceLinesInUse() { LinesInUse() = previous_; }

void AppendTraceLinesInUse() {
    if (LinesInUse() != nullptr) AppendLines(*LinesInUse());
}

} // namespace sapsim
