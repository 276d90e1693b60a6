// SAP Marrowind: a PRTG EXE/XML sensor for the tablespaces of an SAP system's Oracle database.
#include "driver/Run.h"
#include "driver/Usage.h"
#include "platform/Platform.h"
#include "platform/Protection.h"

int main(int argc, char **argv) {
    HardenProcess(); // before any password is read
    if (argc > 1 && IsUsageRequest(argv[1])) {
        WriteUsage();
        EndProcess(0);
    }
    if (argc > 1 && IsVersionRequest(argv[1])) {
        WriteVersion();
        EndProcess(0);
    }
    static RunEnd end;
    RunSensor(argc, argv, end);
    if (!end.error.empty()) WriteRunEndingError(end.error.c_str());
    EndProcess(end.status);
}
