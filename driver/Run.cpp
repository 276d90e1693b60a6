#include "driver/Run.h"

#include <cinttypes>

#include "driver/Listing.h"
#include "driver/Options.h"
#include "driver/Profile.h"
#include "output/Console.h"
#include "output/Document.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"
#include "space/SpaceFigures.h"

namespace {

constexpr const char *kProgramName = "Marrowind";
constexpr const char *kProgramVersion = "Vers 4.3 / 29.08.22";

// The message of an error document: an error number and its text, or a failed call's outcome
// message with the trace notice.
using ErrorText = FixedText<kDocumentCapacity>;

// What spans one run: the command line as parsed, where the profile is, the current system's
// connection values and the counters of item mode.
struct RunContext {
    FixedText<8> startTime;
    FixedText<123> headerLine;
    const char *programPath = "";
    const char *argument2 = "";
    OptionText commandLine;
    Options commandOptions; // the command line's options; verbose and the profile search follow them
    Options options;        // the options in force: the command line's, or item mode's
    bool itemMode = false;
    ProfileLocation location;
    ConnectionFields connection;
    ItemListing listing;
    FixedText<47> itemChannelName;
    uint32_t noSystems = 0;
    uint32_t processed = 0;
    uint32_t failed = 0;
    // The library keeps pointers to these for as long as a connection may be open.
    RFC_HANDLE connectionHandle = 0;
    RFC_ENV rfcEnvironment{};
    RfcOpenRecords openRecords;
};

void CloseConnection(RunContext &run) {
    if (run.connectionHandle != 0) rfcLibrary.RfcClose(run.connectionHandle);
    run.connectionHandle = 0;
}

// The first RFC step: the library is bound here, so a run that ends before needs none. False, with
// the message, when the library cannot be used.
bool RegisterErrorHandler(RunContext &run, TextBase &error) {
    if (!BindRfcLibrary(error)) return false;
    run.rfcEnvironment.errorhandler = RfcFailureHandler;
    run.rfcEnvironment.allocate = nullptr;
    rfcLibrary.RfcEnvironment(&run.rfcEnvironment);
    return true;
}

void BuildSystemLine(const RunContext &run, TextBase &systemLine) {
    FixedText<8> now;
    TimeOfDay(now);
    const ConnectionFields &fields = run.connection;
    systemLine.Format("* %s %s, %s, %s, %s, %s", now.c_str(), run.location.name.c_str(), fields.shownHost.c_str(),
                      fields.destination.c_str(), fields.sysnr.c_str(), fields.client.c_str());
}

void WriteProcessedLine() {
    FixedText<8> now;
    TimeOfDay(now);
    WriteOutFormat("\n* %s SAP %s now processed...\n", now.c_str(), kProgramName);
}

// A failed call's message: its outcome message and the trace notice.
void CallFailureText(TextBase &error, int outcome, const TextBase &exceptionText) {
    error.Clear();
    AppendOutcomeMessage(error, outcome, exceptionText);
    AppendTraceNotice(error);
}

// On the open connection: the system information, the Oracle check and the space evaluation.
// Returns false, with the message, when the whole run must end: the system information call failed
// or the database is not Oracle. A failed space evaluation is in `space`.
bool EvaluateConnectedSystem(RunContext &run, SpaceResult &space, TextBase &error) {
    SystemInfo info;
    ReadSystemInfo(run.connectionHandle, info);
    if (info.outcome != RFC_OK) {
        CallFailureText(error, info.outcome, info.exceptionText);
        return false;
    }
    run.connection.shownHost.Assign(info.host);
    if (!info.databaseSystem.StartsWith("ORA")) {
        error.Assign("Error 1018: DataBase mismatch !");
        return false;
    }
    SpaceRequest request;
    request.destination = run.connection.destination.c_str();
    request.unit = run.options.sizeUnit;
    request.itemMode = run.itemMode;
    request.itemName = run.listing.itemName.c_str();
    request.itemChannelName = run.itemChannelName.c_str();
    EvaluateSpaceFigures(run.connectionHandle, request, space);
    return true;
}

bool StartUp(RunContext &run, int argc, char **argv, TextBase &error) {
    TimeOfDay(run.startTime);
    run.headerLine.Format("* %s SAP %s %s", run.startTime.c_str(), kProgramName, kProgramVersion);
    run.programPath = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    if (argc < 2 || argv[1] == nullptr) {
        error.Assign("Error 1001: Parameter for Profile-Name is missing !");
        return false;
    }
    run.argument2 = argc > 2 && argv[2] != nullptr ? argv[2] : "";
    JoinOptionText(run.commandLine, argc > 2 ? argv[2] : nullptr, argc > 3 ? argv[3] : nullptr);
    ParseOptions(run.commandLine.upper, run.commandLine.asGiven, run.commandOptions);
    run.options = run.commandOptions;

    ResolveProfileName(run.commandOptions.itemMode ? "Quorvane.Prf" : argv[1], run.location);
    run.itemMode = run.commandOptions.itemMode || run.location.globalListing;
    ConfigureDocument(run.options.document);
    ConfigureEventLog(run.options.eventLog);
    return true;
}

bool RunSingleSystem(RunContext &run, FILE *profile, TextBase &error) {
    ProfileFault fault = ReadProfile(profile, run.connection, kProfileLineSingleRun, true);
    CloseFile(profile);
    if (fault == ProfileFault::None) fault = CheckProfileFields(run.connection);
    if (fault != ProfileFault::None) {
        ProfileFaultText(error, fault, run.location.name.c_str());
        return false;
    }

    LogEvent(0, "program started", run.programPath);
    if (!RegisterErrorHandler(run, error)) return false;
    LogEvent(0, "RfcEnvironment called", "");
    DiscardDocument();

    if (run.commandOptions.verbose) {
        WriteOut(run.headerLine);
        WriteOut("\n");
        FixedText<123> systemLine;
        BuildSystemLine(run, systemLine);
        WriteOut(systemLine);
        WriteOut(" State=Processing\n");
        FixedText<8> now;
        TimeOfDay(now);
        WriteOutFormat("* %s %s - %s State=Executing\n", now.c_str(), kProgramName,
                       run.options.shownOptions.c_str());
    }

    run.connectionHandle = OpenRfcConnection(run.connection, run.options.overrides, run.openRecords);
    if (run.connectionHandle == 0) {
        error.Format("Error 1011: RFC-Open for %s failed !", run.connection.destination.c_str());
        return false;
    }
    SpaceResult space;
    if (!EvaluateConnectedSystem(run, space, error)) return false;
    CloseConnection(run);
    if (space.outcome != RFC_OK) {
        CallFailureText(error, space.outcome, space.exceptionText);
        return false;
    }

    FlushDocument();
    RemoveFile("Dev_Rfc.Trc");
    if (run.commandOptions.verbose) WriteProcessedLine();
    return true;
}

// The name under which item mode reports the current system.
void ChooseItemChannelName(RunContext &run) {
    switch (run.listing.channelNameChoice) {
    case '2':
        run.itemChannelName.Assign(run.location.name);
        if (run.location.name.size() >= 4) run.itemChannelName.Cut(run.location.name.size() - 4);
        break;
    case '3':
        run.itemChannelName.Assign(run.connection.hostname);
        break;
    case '4':
        run.itemChannelName.Assign(run.connection.destination);
        break;
    default:
        run.itemChannelName.Assign(run.location.name);
        break;
    }
}

// One pass of the system loop. Returns false, with the message, when this system ends the run.
bool RunListedSystem(RunContext &run, TextBase &error) {
    ++run.noSystems;
    FixedText<kServerListingCapacity> entry;
    TakeListingEntry(run.listing.serverListing, entry);
    run.location.name.Assign(entry);
    run.location.path.Assign(run.location.directory).Append(run.location.name);
    run.itemChannelName.Assign(run.location.name);

    FILE *profile = OpenFile(run.location.path, "rb");
    if (profile == nullptr) return true;
    bool profileInvalid = false;
    ProfileFault fault = ReadProfile(profile, run.connection, kProfileLineSystemLoop, false);
    CloseFile(profile);
    if (fault != ProfileFault::None || CheckProfileFields(run.connection) != ProfileFault::None) {
        profileInvalid = true;
    }
    ChooseItemChannelName(run);

    FixedText<123> systemLine;
    BuildSystemLine(run, systemLine);
    if (!RegisterErrorHandler(run, error)) return false;
    DiscardDocument();

    SpaceResult space;
    space.outcome = RFC_FAILURE; // until an evaluation says otherwise
    run.connectionHandle = OpenRfcConnection(run.connection, run.options.overrides, run.openRecords);
    if (run.connectionHandle == 0) {
        profileInvalid = true;
    } else if (!EvaluateConnectedSystem(run, space, error)) {
        return false;
    }
    CloseConnection(run);

    bool evaluated = space.outcome == RFC_OK;
    if (!profileInvalid && evaluated && space.itemFound) {
        ++run.processed;
    } else {
        ++run.failed;
    }
    const char *state = "Processed";
    if (!space.itemFound) state = "Not Found";
    if (profileInvalid || !evaluated) state = "Rfc Failure";
    if (run.commandOptions.verbose) WriteOutFormat("\n%s State=%s\n", systemLine.c_str(), state);
    return true;
}

bool RunItemMode(RunContext &run, FILE *listingFile, TextBase &error) {
    if (!PrepareListing(listingFile, run.location, run.commandOptions, run.argument2, run.listing, error))
        return false;

    // From here on the options are item mode's: the sensor definition's for GLOBAL.
    OptionText itemText;
    itemText.asGiven.Assign(run.listing.optionsReplaced ? run.listing.optionTextAsGiven : run.commandLine.asGiven);
    itemText.upper.Assign(itemText.asGiven);
    itemText.upper.ToUpper();
    ItemModeOptionText(itemText.asGiven);
    ParseOptions(itemText.upper, itemText.asGiven, run.options);
    ConfigureDocument(run.options.document);
    ConfigureEventLog(run.options.eventLog);

    if (run.commandOptions.verbose) {
        WriteOut(run.headerLine);
        WriteOut("\n");
        WriteOutFormat("* %s %s State=Executing\n", run.startTime.c_str(), itemText.asGiven.c_str());
    }

    BeginDocument();
    FlushDocument();
    WriteOut("\n");

    while (!run.listing.serverListing.empty()) {
        if (!RunListedSystem(run, error)) return false;
    }

    DiscardDocument();
    BeginText();
    FixedText<255> summary;
    summary.Assign("(***) ").Append(run.listing.itemName);
    summary.AppendFormat(": NoSystems=%" PRIu32 ", Processed=%" PRIu32 ", Failed=%" PRIu32, run.noSystems,
                         run.processed, run.failed);
    AppendTextContent(summary.c_str());
    EndText();
    EndDocument();
    FlushDocument();
    WriteOut("\n");

    CloseConnection(run);
    if (run.commandOptions.verbose) WriteProcessedLine();
    return true;
}

bool Run(RunContext &run, int argc, char **argv, TextBase &error) {
    if (!StartUp(run, argc, argv, error)) return false;
    bool directorySearch = run.commandOptions.directorySearch && run.commandOptions.document.mode == OutputMode::ExeXml;
    FILE *profile = LocateProfile(run.location, directorySearch, error);
    if (profile == nullptr) return false;
    if (run.itemMode) return RunItemMode(run, profile, error);
    return RunSingleSystem(run, profile, error);
}

} // namespace

int RunSensor(int argc, char **argv) {
    // One run per process; the library may keep pointers into it to the end.
    static RunContext run;
    static ErrorText error;
    bool succeeded = Run(run, argc, argv, error);
    if (!succeeded) {
        WriteErrorDocument(error.c_str());
        FlushDocument();
    }
    CloseConnection(run);
    return succeeded ? 0 : 2;
}
