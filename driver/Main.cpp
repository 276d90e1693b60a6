// SAP Marrowind: a PRTG EXE/XML sensor for the tablespaces of an SAP system's Oracle database.
#include "driver/Run.h"
#include "platform/Platform.h"

int main(int argc, char **argv) { EndProcess(RunSensor(argc, argv)); }
