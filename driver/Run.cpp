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
    if (run.connectionHandle != 0) RfcClose(run.connectionHandle);
    run.connectionHandle = 0;
}

void RegisterErrorHandler(RunContext &run) {
    run.rfcEnvironment.errorhandler = RfcFailureHandler;
    run.rfcEnvironment.allocate = nullptr;
    RfcEnvironment(&run.rfcEnvironment);
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
void CallFailureText(TextBase &error, int outcome, const TextBase &exceptionText, const TraceMark &mark) {
    error.Clear();
    AppendOutcomeMessage(error, outcome, exceptionText);
    AppendTraceNotice(error, mark);
}

// On the open connection: the system information, the Oracle check and the space evaluation.
// Returns false, with the message, when the whole run must end: the system information call failed
// or the database is not Oracle. A failed space evaluation is in `space`.
bool EvaluateConnectedSystem(RunContext &run, const TraceMark &mark, SpaceResult &space, TextBase &error) {
    SystemInfo info;
    ReadSystemInfo(run.connectionHandle, info);
    if (info.outcome != RFC_OK) {
        CallFailureText(error, info.outcome, info.exceptionText, mark);
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
    request.keywords = run.options.space;
    EvaluateSpaceFigures(run.connectionHandle, request, space);
    return true;
}

// Hands the options in force to the writer and the event log.
void ConfigureForRun(RunContext &run) {
    DocumentSettings settings = run.options.document;
    settings.forPerson = run.commandOptions.verbose;
    ConfigureDocument(settings);
    ConfigureEventLog(run.options.eventLog);
}

// The destination file's notice is for a person: verbose forms and the line modes, never a PRTG
// document.
bool ShowDestinationNotice(const RunContext &run) {
    return run.commandOptions.verbose || run.options.document.mode != OutputMode::ExeXml;
}

// Opens the connection of the current system; the trace mark tells this step's trace text from
// older ones.
void OpenConnection(RunContext &run, TraceMark &mark) {
    MarkTrace(mark);
    run.connectionHandle =
        OpenRfcConnection(run.connection, run.options.overrides, run.openRecords, ShowDestinationNotice(run));
}

void OpenFailureText(TextBase &error, const RunContext &run, const TraceMark &mark) {
    error.Format("Error 1011: RFC-Open for %s failed !", run.connection.destination.c_str());
    AppendTraceNotice(error, mark);
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
    if (!CheckOptions(run.commandOptions, error)) return false;
    run.options = run.commandOptions;

    ResolveProfileName(run.commandOptions.itemMode ? "Quorvane.Prf" : argv[1], run.location);
    run.itemMode = run.commandOptions.itemMode || run.location.globalListing;
    ConfigureForRun(run);
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
    RegisterErrorHandler(run);
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

    TraceMark mark;
    OpenConnection(run, mark);
    if (run.connectionHandle == 0) {
        OpenFailureText(error, run, mark);
        return false;
    }
    SpaceResult space;
    if (!EvaluateConnectedSystem(run, mark, space, error)) return false;
    CloseConnection(run);
    if (space.outcome != RFC_OK) {
        CallFailureText(error, space.outcome, space.exceptionText, mark);
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
    FixedText<255> entry;
    TakeListingEntry(run.listing.serverListing, run.listing.next, entry);
    run.location.name.Assign(entry); // a cut name keeps its mark and never opens
    run.location.path.Assign(run.location.directory).Append(run.location.name);
    run.itemChannelName.Assign(run.location.name);

    FILE *profile = OpenFile(run.location.path, "rb");
    if (profile == nullptr) return true;
    // Every profile is read on its own: a key it lacks is missing, never the previous system's.
    run.connection = ConnectionFields();
    bool profileInvalid = false;
    ProfileFault fault = ReadProfile(profile, run.connection, kProfileLineSystemLoop, false);
    CloseFile(profile);
    if (fault != ProfileFault::None || CheckProfileFields(run.connection) != ProfileFault::None) {
        profileInvalid = true;
    }
    ChooseItemChannelName(run);

    FixedText<123> systemLine;
    BuildSystemLine(run, systemLine);
    RegisterErrorHandler(run);
    DiscardDocument();

    SpaceResult space;
    space.outcome = RFC_FAILURE; // until an evaluation says otherwise
    TraceMark mark;
    FixedText<kDocumentCapacity> openFailure;
    OpenConnection(run, mark);
    if (run.connectionHandle == 0) {
        profileInvalid = true;
        OpenFailureText(openFailure, run, mark);
    } else if (!EvaluateConnectedSystem(run, mark, space, error)) {
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
    if (run.commandOptions.verbose) {
        WriteOutFormat("\n%s State=%s", systemLine.c_str(), state);
        // A person at the console learns why the open failed.
        if (!openFailure.empty()) WriteOutFormat(" (%s)", openFailure.c_str());
        WriteOut("\n");
    }
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
    if (!CheckOptions(run.options, error)) return false;
    ConfigureForRun(run);

    if (run.commandOptions.verbose) {
        WriteOut(run.headerLine);
        WriteOut("\n");
        WriteOutFormat("* %s %s State=Executing\n", run.startTime.c_str(), itemText.asGiven.c_str());
    }

    BeginDocument();
    FlushDocument();
    WriteOut("\n");

    if (run.listing.fill.entriesLeftOut > 0 && run.commandOptions.verbose) {
        WriteOutFormat("* Server listing too long: %" PRIu32 " entries left out\n", run.listing.fill.entriesLeftOut);
    }
    while (run.listing.next < run.listing.serverListing.size()) {
        if (!RunListedSystem(run, error)) return false;
    }

    DiscardDocument();
    BeginText();
    FixedText<511> summary;
    summary.Assign("(***) ").Append(run.listing.itemName);
    summary.AppendFormat(": NoSystems=%" PRIu32 ", Processed=%" PRIu32 ", Failed=%" PRIu32, run.noSystems,
                         run.processed, run.failed);
    if (run.listing.fill.entriesLeftOut > 0) {
        summary.AppendFormat(" - Server listing too long: %" PRIu32 " entries left out",
                             run.listing.fill.entriesLeftOut);
    }
    ItemTally tally{run.noSystems, run.processed, run.failed};
    AppendItemHealth(summary, run.options.space, tally);
    AppendTextContent(summary.c_str());
    EndText();
    WriteItemHealth(run.options.space, run.listing.itemName.c_str(), tally);
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
    if (!succeeded) WriteRunEndingError(error.c_str());
    CloseConnection(run);
    return succeeded ? 0 : 2;
}
