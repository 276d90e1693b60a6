#include <cstdio>

#include "output/Console.h"
#include "output/Document.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"

void RFC_CALL RfcFailureHandler(const char *operation) {
    const char *operationText = operation != nullptr ? operation : "";
    if (PlainFailureReport()) {
        // For a person: the block, line by line.
        WriteOut("RFC error\n");
        PrintListingLine("operation/code", 0, 15, operationText);
    }
    RFC_ERROR_INFO error{};
    rfcLibrary.RfcLastError(&error);
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
        rfcLibrary.RfcClose(0);
        WriteOut("* Programm aborted...\n");
        LogAbortLine("* Pgrm aborted...");
        // The abort file keeps no name, so it is never created.
        WriteOut("* Error at EoXput-File...\n");
        EndProcess(1);
    }
    // For PRTG: the same lines joined into the text of one well-formed document.
    rfcLibrary.RfcClose(0);
    FixedText<1023> text;
    text.Format("RFC error; operation/code : %s; key : %s; status : %s; message : %s; internal status : %s; "
                "* Programm aborted...",
                operationText, error.key, error.status, error.message, error.intstat);
    WriteRunEndingError(text.c_str());
    LogAbortLine("* Pgrm aborted...");
    EndProcess(1);
}
