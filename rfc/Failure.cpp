#include <cstdio>

#include "output/Console.h"
#include "output/Document.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"

namespace {

constexpr size_t kTraceLinePiece = 99;
constexpr int64_t kTraceTailBytes = 64 * 1024;

} // namespace

void MarkTrace(TraceMark &mark) {
    FILE *trace = OpenFile("Dev_Rfc.Trc", "rb");
    mark.length = trace == nullptr ? 0 : FileLength(trace);
    CloseFile(trace);
}

void AppendTraceNotice(TextBase &message, const TraceMark &mark) {
    // Only what this run's RFC step appended is its own: an older block may be another system's.
    FILE *trace = OpenFile("Dev_Rfc.Trc", "rb");
    int64_t length = FileLength(trace);
    if (trace == nullptr || mark.length < 0 || length <= mark.length || !SeekTo(trace, mark.length)) {
        CloseFile(trace);
        message.Append(" - Look for Trace-File");
        return;
    }
    // At most the last part of what this run appended is read: a file that keeps growing does
    // not hold the run, and the error text stands at the end of it.
    ReadBudget budget;
    budget.left = kTraceTailBytes;
    if (length - mark.length > kTraceTailBytes) SeekTo(trace, length - kTraceTailBytes);
    FixedText<kTraceLinePiece> kept;
    FixedText<kTraceLinePiece> line;
    while (ReadTextLine(trace, line, kTraceLinePiece, budget) == LineRead::Line) {
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
    const char *operationText = operation != nullptr ? operation : "";
    if (PlainFailureReport()) {
        // For a person: the block, line by line.
        WriteOut("RFC error\n");
        PrintListingLine("operation/code", 0, 15, operationText);
    }
    RFC_ERROR_INFO error{};
    RfcLastError(&error);
    // The library's texts are bounded by their fields, whatever it wrote.
    error.key[sizeof error.key - 1] = '\0';
    error.status[sizeof error.status - 1] = '\0';
    error.message[sizeof error.message - 1] = '\0';
    error.intstat[sizeof error.intstat - 1] = '\0';
    if (PlainFailureReport()) {
        PrintListingLine("key", 0, 15, error.key);
        PrintListingLine("status", 0, 15, error.status);
        PrintListingLine("message", 0, 15, error.message);
        PrintListingLine("internal status", 0, 15, error.intstat);
        WriteOut("\n");
        RfcClose(0);
        WriteOut("* Programm aborted...\n");
        LogAbortLine("* Pgrm aborted...");
        // The abort file keeps no name, so it is never created.
        WriteOut("* Error at EoXput-File...\n");
        EndProcess(1);
    }
    // For PRTG: the same lines joined into the text of one well-formed document.
    RfcClose(0);
    FixedText<1023> text;
    text.Format("RFC error; operation/code : %s; key : %s; status : %s; message : %s; internal status : %s; "
                "* Programm aborted...",
                operationText, error.key, error.status, error.message, error.intstat);
    WriteRunEndingError(text.c_str());
    LogAbortLine("* Pgrm aborted...");
    EndProcess(1);
}
