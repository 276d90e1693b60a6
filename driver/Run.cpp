#include "driver/Run.h"

#include <cinttypes>

#include "driver/Listing.h"
#include "driver/Profile.h"
#include "driver/RunState.h"
#include "output/Console.h"
#include "output/Document.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"
#include "space/SpaceFigures.h"

namespace {

constexpr size_t kItemNameLength = 90;

RfcOpenRecords openRecords;

void CloseConnection() {
    if (run.connectionHandle != 0) RfcClose(run.connectionHandle);
    run.connectionHandle = 0;
}

void RegisterErrorHandler() {
    run.rfcEnvironment.errorhandler = RfcFailureHandler;
    run.rfcEnvironment.allocate = nullptr;
    RfcEnvironment(&run.rfcEnvironment);
}

void BuildSystemLine() {
    FixedText<8> now;
    TimeOfDay(now);
    const ConnectionFields &fields = run.connection;
    run.systemLine.Format("* %s %s, %s, %s, %s, %s", now.c_str(), run.profileName.c_str(),
                          fields.shownHost.c_str(), fields.destination.c_str(), fields.sysnr.c_str(),
                          fields.client.c_str());
}

void WriteProcessedLine() {
    FixedText<8> now;
    TimeOfDay(now);
    WriteOutFormat("\n* %s SAP %s now processed...\n", now.c_str(), kProgramName);
}

// On the open connection: the system information, the Oracle check and the space evaluation. A
// failed system information call or another database ends the whole run.
void EvaluateConnectedSystem() {
    ReadSystemInfo(run.connectionHandle);
    if (!RunStatusOk()) ReportRfcFailure();
    if (!databaseSystem.StartsWith("ORA")) RaiseError("Error 1018: DataBase mismatch !");
    run.runStatus.Assign("ERR");
    run.resultValue = EvaluateSpaceFigures(run.connectionHandle);
}

void StartUp(int argc, char **argv) {
    TimeOfDay(run.startTime);
    run.headerLine.Format("* %s SAP %s %s", run.startTime.c_str(), kProgramName, kProgramVersion);
    channelCount = 0;
    run.programPath = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    if (argc < 2 || argv[1] == nullptr) RaiseError("Error 1001: Parameter for Profile-Name is missing !");

    if (argc > 2) run.optionTextAsGiven.Assign(argv[2]);
    if (argc > 3) run.optionTextAsGiven.Append(" ").Append(argv[3]);
    run.optionText.Assign(run.optionTextAsGiven);
    run.optionText.ToUpper();

    const char *profileArgument = argv[1];
    size_t item = run.optionText.Find("ITEM=");
    if (item != TextBase::npos) {
        TakeItemName(run.itemName, run.optionTextAsGiven.c_str() + item + 5);
        run.itemMode = true;
        profileArgument = "Quorvane.Prf";
    }
    ResolveProfileName(profileArgument);

    run.connection = ConnectionFields();
    outputMode = OutputMode::ExeXml;
    SelectOutputMode();
    run.verbose = run.optionText.Contains("#") || run.optionText.Contains("@") ||
                  run.optionText.Contains("$") || run.optionText.Contains("%");
}

FILE *LocateProfileOrFail() {
    FixedText<255> error;
    FILE *file = LocateProfile(error);
    if (file == nullptr) RaiseError(error.c_str());
    return file;
}

[[noreturn]] void RunSingleSystem(FILE *profile) {
    ProfileFault fault = ReadProfile(profile, run.connection, kProfileLineSingleRun, true);
    CloseFile(profile);
    if (fault == ProfileFault::None) fault = CheckProfileFields(run.connection);
    if (fault != ProfileFault::None) {
        FixedText<255> message;
        ProfileFaultText(message, fault, run.profileName.c_str());
        RaiseError(message.c_str());
    }

    LogEvent(0, "program started", run.programPath);
    RegisterErrorHandler();
    LogEvent(0, "RfcEnvironment called", "");
    documentBuffer.Clear();
    run.runStatus.Assign("ERR");

    if (run.verbose) {
        WriteOut(run.headerLine);
        WriteOut("\n");
        BuildSystemLine();
        WriteOut(run.systemLine);
        WriteOut(" State=Processing\n");
        FixedText<127> shown;
        ShownOptions(shown, run.optionTextAsGiven);
        FixedText<8> now;
        TimeOfDay(now);
        WriteOutFormat("* %s %s - %s State=Executing\n", now.c_str(), kProgramName, shown.c_str());
    }

    run.connectionHandle = OpenRfcConnection(openRecords);
    if (run.connectionHandle == 0) {
        FixedText<127> message;
        message.Format("Error 1011: RFC-Open for %s failed !", run.connection.destination.c_str());
        RaiseError(message.c_str());
    }
    EvaluateConnectedSystem();
    CloseConnection();

    if (!RunStatusOk()) ReportRfcFailure();
    FlushDocument();
    RemoveFile("Dev_Rfc.Trc");
    if (run.verbose) WriteProcessedLine();
    EndProcess(0);
}

// The name under which item mode reports the current system.
void ChooseItemChannelName() {
    switch (run.channelNameChoice) {
    case '2':
        run.itemChannelName.Assign(run.profileName);
        if (run.profileName.size() >= 4) run.itemChannelName.Cut(run.profileName.size() - 4);
        break;
    case '3':
        run.itemChannelName.Assign(run.connection.hostname);
        break;
    case '4':
        run.itemChannelName.Assign(run.connection.destination);
        break;
    default:
        run.itemChannelName.Assign(run.profileName);
        break;
    }
}

void RunListedSystem() {
    run.itemFound = false;
    run.profileName.Clear();
    ++run.noSystems;
    FixedText<2047> entry;
    TakeListingEntry(run.serverListing, entry);
    run.profileName.Assign(entry);
    run.profilePath.Assign(run.profileDirectory).Append(run.profileName);
    run.itemChannelName.Assign(run.profileName);

    FILE *profile = OpenFile(run.profilePath, "rb");
    if (profile == nullptr) return;
    run.profileInvalid = false;
    ProfileFault fault = ReadProfile(profile, run.connection, kProfileLineSystemLoop, false);
    CloseFile(profile);
    if (fault != ProfileFault::None || CheckProfileFields(run.connection) != ProfileFault::None) {
        run.profileInvalid = true;
    }
    ChooseItemChannelName();

    BuildSystemLine();
    RegisterErrorHandler();
    documentBuffer.Clear();
    run.runStatus.Assign("ERR");

    run.connectionHandle = OpenRfcConnection(openRecords);
    if (run.connectionHandle == 0) {
        run.profileInvalid = true;
    } else {
        EvaluateConnectedSystem();
    }
    CloseConnection();

    bool ok = RunStatusOk();
    if (!run.profileInvalid && ok && run.itemFound) {
        ++run.processed;
    } else {
        ++run.failed;
    }
    const char *state = "Processed";
    if (!run.itemFound) state = "Not Found";
    if (run.profileInvalid || !ok) state = "Rfc Failure";
    if (run.verbose) WriteOutFormat("\n%s State=%s\n", run.systemLine.c_str(), state);
}

[[noreturn]] void RunItemMode(FILE *listingFile, const char *argument2) {
    PrepareListing(listingFile, argument2);

    run.optionText.Assign(run.optionTextAsGiven);
    run.optionText.ToUpper();
    SelectOutputMode();
    if (run.verbose) {
        WriteOut(run.headerLine);
        WriteOut("\n");
    }
    run.optionTextAsGiven.Replace(':', ' ');
    run.optionTextAsGiven.CutAt(" @");
    if (run.verbose)
        WriteOutFormat("* %s %s State=Executing\n", run.startTime.c_str(), run.optionTextAsGiven.c_str());

    BeginDocument();
    FlushDocument();
    WriteOut("\n");

    while (!run.serverListing.empty())
        RunListedSystem();

    // A failed evaluation leaves its outcome message behind; it has been counted already.
    documentBuffer.Clear();
    BeginText();
    FixedText<255> summary;
    summary.Assign("(***) ").Append(run.itemName);
    summary.AppendFormat(": NoSystems=%" PRIu32 ", Processed=%" PRIu32 ", Failed=%" PRIu32, run.noSystems,
                         run.processed, run.failed);
    AppendTextContent(summary.c_str());
    EndText();
    EndDocument();
    FlushDocument();
    WriteOut("\n");

    CloseConnection();
    if (run.verbose) WriteProcessedLine();
    EndProcess(0);
}

} // namespace

void RaiseError(const char *message) {
    WriteErrorDocument(message);
    FlushDocument();
    CloseConnection();
    EndProcess(2);
}

void ReportRfcFailure() {
    AppendTraceNotice();
    FixedText<kDocumentCapacity> message;
    message.Assign(documentBuffer);
    RaiseError(message.c_str());
}

void SelectOutputMode() {
    if (run.optionText.Contains("MODE=OSTRAVEL")) {
        outputMode = OutputMode::Ostravel;
    } else if (run.optionText.Contains("MODE=BRENNIC")) {
        outputMode = OutputMode::Brennic;
    } else {
        outputMode = OutputMode::ExeXml;
    }
}

void ShownOptions(TextBase &shown, const TextBase &optionTextAsGiven) {
    shown.Assign(optionTextAsGiven);
    shown.CutAt("#");
    shown.CutAt("@");
    if (shown.Equals("(Parameters ") || shown.Equals("(No ")) shown.Clear();
    if (shown.empty()) shown.Assign("(No Parameters)");
}

void TakeItemName(TextBase &itemName, const char *from) {
    itemName.Clear();
    for (size_t i = 0; i < kItemNameLength && from[i] != '\0' && from[i] != ' ' && from[i] != ','; ++i) {
        itemName.AppendChar(from[i] == ':' ? ' ' : from[i]);
    }
}

void RunSensor(int argc, char **argv) {
    StartUp(argc, argv);
    FILE *profile = LocateProfileOrFail();
    if (run.itemMode) RunItemMode(profile, argc > 2 ? argv[2] : "");
    RunSingleSystem(profile);
}
