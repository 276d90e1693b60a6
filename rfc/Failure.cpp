#include <cstdio>

#include "output/Console.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"

namespace {

constexpr size_t kTraceLinePiece = 99;

} // namespace

void AppendTraceNotice(TextBase &message) {
    FILE *trace = OpenFile("Dev_Rfc.Trc", "rb");
    if (trace == nullptr) {
        message.Append(" - Look for Trace-File");
        return;
    }
    FixedText<kTraceLinePiece> kept;
    FixedText<kTraceLinePiece> line;
    while (ReadTextLine(trace, line, kTraceLinePiece)) {
        if (line.StartsWith("**** ERROR ")) kept.Clear();
        if (line.StartsWith("ERROR ")) {
            kept.Clear();
            if (line.size() > 12) kept.Assign(line.c_str() + 12);
        }
        if (line.size() >= 15 && line.Find("======> ", 7) == 7) kept.Assign(line.c_str() + 15);
        if (!kept.empty()) kept.StripLineEnd();
    }
    CloseFile(trace);
    if (kept.empty()) {
        message.Append(" - Please Check Trace-File !");
    } else {
        message.Append(" - ").Append(kept);
    }
}

void RFC_CALL RfcFailureHandler(const char *operation) {
    WriteOut("RFC error\n");
    PrintListingLine("operation/code", 0, 15, operation != nullptr ? operation : "");
    RFC_ERROR_INFO error{};
    rfcLibrary.RfcLastError(&error);
    // The library's texts are bounded by their fields, whatever it wrote.
    error.key[sizeof error.key - 1] = '\0';
    error.status[sizeof error.status - 1] = '\0';
    error.message[sizeof error.message - 1] = '\0';
    error.intstat[sizeof error.intstat - 1] = '\0';
    PrintListingLine("key", 0, 15, error.key);
    PrintListingLine("status", 0, 15, error.status);
    PrintListingLine("message", 0, 15, error.message);
    PrintListingLine("internal status", 0, 15, error.intstat);
    WriteOut("\n");
    rfcLibrary.RfcClose(0);
    WriteOut("* Programm aborted...\n");
    LogAbortLine("* Pgrm aborted...");
    // The abort file keeps no name, so it is never created.
    WriteOut("* Error at EoXput-File...\n");
    EndProcess(1);
}
