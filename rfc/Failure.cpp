#include <cstdio>

#include "output/Console.h"
#include "output/Document.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"

namespace {

constexpr size_t kTraceLinePiece = 99;

// The abort file keeps no name, so it cannot be created.
const char *const kEoXputFile = "";

} // namespace

void AppendTraceNotice() {
    FILE *trace = OpenFile("Dev_Rfc.Trc", "rb");
    if (trace == nullptr) {
        documentBuffer.Append(" - Look for Trace-File");
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
        documentBuffer.Append(" - Please Check Trace-File !");
    } else {
        documentBuffer.Append(" - ").Append(kept);
    }
}

void RFC_CALL RfcFailureHandler(const char *operation) {
    WriteOut("RFC error\n");
    PrintListingLine("operation/code", 0, 15, operation != nullptr ? operation : "");
    RFC_ERROR_INFO error{};
    RfcLastError(&error);
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
    RfcClose(0);
    WriteOut("* Programm aborted...\n");
    LogAbortLine("* Pgrm aborted...");
    FILE *eoXput = OpenFile(kEoXputFile, "wb");
    if (eoXput == nullptr) {
        WriteOut("* Error at EoXput-File...\n");
    } else {
        CloseFile(eoXput);
    }
    EndProcess(1);
}
