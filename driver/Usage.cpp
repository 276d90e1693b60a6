#include "driver/Usage.h"

#include <cstring>

#include "driver/Run.h"
#include "platform/Platform.h"

namespace {

const char *const kUsage =
    "Usage: SapMarrowind PROFILE [OPTION ...]\n"
    "\n"
    "A PRTG EXE/Script Advanced sensor for the tablespaces of an SAP system's Oracle database.\n"
    "PROFILE names a profile (\".P00\" is added when it has no extension). Every word behind it\n"
    "is an option; the words are joined by one blank (at most 127 characters, a longer text\n"
    "is refused: Error 1040) and searched for these keywords, in any letter case:\n"
    "  MEGABYTE, GIGABYTE  channels show the used space in MB or GB instead of percent used\n"
    "  ITEM=name           item mode: tablespace name on every system listed in Quorvane.Prf\n"
    "  #  $  %  @          verbose lines for a person at a console, not a PRTG document;\n"
    "                      with @ PROFILE is opened by the path given\n"
    "  ,SYSLOG             events appended to Marrowind.Log in the working directory\n"
    "  ,HOST=name  ,NO=nn  connect to this host or system number instead of the profile's\n"
    "  MODE=OSTRAVEL       message and statistic lines (the first ten channels)\n"
    "  MODE=BRENNIC        plain lines; with CH=n only the value of channel n\n"
    "  TIMEOUT=n           end with what there is after n seconds (1-900, default 55; set it a\n"
    "                      few seconds under the sensor's timeout in PRTG)\n"
    "  PARALLEL=n          item mode: up to n systems (1-64, default 1) at the same time\n"
    "  A value outside its range or not a whole number is refused: Error 1035.\n"
    "  LOGON=LINUX         user and password from the PRTG device's credentials for Linux\n"
    "  LOGON=WINDOWS       (or for Windows) systems instead of the profile: in the sensor's\n"
    "                      settings set Environment to \"Set placeholders as environment\n"
    "                      values\"; the profile needs no User and Password lines then\n"
    "SapMarrowind GLOBAL sensorname: item mode as \"SAP Quorvane.Gbl\" defines sensorname.\n"
    "A listed profile that is there but cannot be opened counts as a failed system; a single\n"
    "run reports it as Error 1034 (no permission, too many open files, an I/O error).\n"
    "Item mode numbers a channel name that repeats (\"PRD (2)\"); a system that ends the run\n"
    "is named in the error. ONLY=/SKIP= that leave no tablespace: Error 1042.\n"
    "\n"
    "Alerting (whole words; a value ends at the next comma or blank):\n"
    "  LIMITS              channels carry PRTG limits: warning above 90 %, error above 95 %\n"
    "  WARN=n  ERROR=n     the levels in the channels' unit (each alone implies LIMITS)\n"
    "  MAX                 a first channel Fullest: the highest usage in percent, named in\n"
    "                      the text (temporary and undo tablespaces left out)\n"
    "  TOTAL               a first channel Total (behind Fullest): the whole database\n"
    "  AUTOEXTEND          percent of the size the tablespaces may grow to\n"
    "  FREE                channels show the free space (GB, or MEGABYTE); WARN=/ERROR= are\n"
    "                      then lower limits\n"
    "  ONLY=p1;p2          only tablespaces matching a pattern (* and ?, any letter case)\n"
    "  SKIP=p1;p2          no tablespaces matching a pattern; wins over ONLY=\n"
    "  NOLEVELS=p1;p2      tablespaces without limits (default *TEMP*;*UNDO*;PSAPROLL;\n"
    "                      NOLEVELS= alone: limits on every tablespace)\n"
    "  FORECAST            a channel Days until full, from the history of earlier runs kept in\n"
    "                      Marrowind-<SID>-<host>.hst in the working directory (single runs)\n"
    "  DAYS=w;e            its lower limits (default 30;7; implies LIMITS)\n"
    "Examples at the cmd.exe prompt (PowerShell reads # as a comment: quote it there):\n"
    "  C:\\...\\EXEXML>SapMarrowind PRD max,limits,skip=PSAPSR3USR\n"
    "  C:\\...\\EXEXML>SapMarrowind PRD free,warn=20,error=5\n"
    "  C:\\...\\EXEXML>SapMarrowind PRD max,limits,forecast\n"
    "  C:\\...\\EXEXML>SapMarrowind x item=PSAPSR3,limits,timeout=110,parallel=8\n"
    "PRTG fixes a channel's unit and limits when it first sees the channel: add the sensor anew\n"
    "after changing LIMITS, WARN=, ERROR=, the unit or FREE.\n"
    "\n"
    "A logon SAP refused (wrong user or password) is not tried again with the same password,\n"
    "so the sensor never locks the SAP user: Marrowind.Guard in the working directory keeps a\n"
    "salted hash of it (never the password). Change the password, or delete the line named in\n"
    "the error, to try again now.\n"
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
    "  With @ or a MODE= line mode: the path given only.\n"
    "  The search ends at the first profile there, readable or not (Error 1034).\n";

} // namespace

bool IsVersionRequest(const char *argument) {
    return argument != nullptr && (strcmp(argument, "--version") == 0 || strcmp(argument, "/v") == 0 ||
                                   strcmp(argument, "/V") == 0);
}

void WriteVersion() {
    WriteOutFormat("SAP %s %s (%s), build %s\n", kProgramName, MARROWIND_VERSION, kProgramVersion,
                   MARROWIND_BUILD_ID);
}

bool IsUsageRequest(const char *argument) {
    return argument != nullptr &&
           (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0 || strcmp(argument, "/?") == 0);
}

void WriteUsage() {
    WriteOutFormat("SAP %s %s\n", kProgramName, kProgramVersion);
    WriteOut(kUsage);
}
