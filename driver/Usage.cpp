#include "driver/Usage.h"

#include <cstring>

#include "driver/Run.h"
#include "platform/Platform.h"

namespace {

const char *const kUsage =
    "Usage: SapMarrowind PROFILE [OPTION [OPTION]]\n"
    "\n"
    "A PRTG EXE/Script Advanced sensor for the tablespaces of an SAP system's Oracle database.\n"
    "PROFILE names a profile (\".P00\" is added when it has no extension). The options are\n"
    "joined by one blank and searched for these keywords, in any letter case:\n"
    "  MEGABYTE, GIGABYTE  channels show the used space in MB or GB instead of percent used\n"
    "  ITEM=name           item mode: tablespace name on every system listed in Quorvane.Prf\n"
    "  #  $  %  @          verbose lines for a person at a console, not a PRTG document;\n"
    "                      with @ PROFILE is opened by the path given\n"
    "  ,SYSLOG             events appended to Marrowind.Log in the working directory\n"
    "  ,HOST=name  ,NO=nn  connect to this host or system number instead of the profile's\n"
    "  MODE=OSTRAVEL       message and statistic lines (the first ten channels)\n"
    "  MODE=BRENNIC        plain lines; with CH=n only the value of channel n\n"
    "  TIMEOUT=n           end with what there is after n seconds (default 55; set it a few\n"
    "                      seconds under the sensor's timeout in PRTG)\n"
    "SapMarrowind GLOBAL sensorname: item mode as \"SAP Quorvane.Gbl\" defines sensorname.\n"
    "\n"
    "Exit status: 0 success, 2 an error document (Error 10nn), 1 a failure inside the RFC\n"
    "library (an error document; a plain-text block in the line modes and verbose forms).\n"
    "\n"
    "Where PROFILE is searched:\n"
    "  With C:\\PRTG_Path.Txt: only in the directory it names, extended by\n"
    "    \"PRTG Network Monitor\\Custom Sensors\\ExeXml\\\" and/or \"Custom Sensors\\ExeXml\\\"\n"
    "    where the profile lies there; nothing else is tried.\n"
    "  Without it: the working directory, then \\Programme\\, \\Program Files\\ and\n"
    "    \\Program Files (x86)\\, each with \"PRTG Network Monitor\\Custom Sensors\\ExeXml\\\".\n"
    "  With @ or a MODE= line mode: the path given only.\n";

} // namespace

bool IsUsageRequest(const char *argument) {
    return argument != nullptr &&
           (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0 || strcmp(argument, "/?") == 0);
}

void WriteUsage() {
    WriteOutFormat("SAP %s %s\n", kProgramName, kProgramVersion);
    WriteOut(kUsage);
}
