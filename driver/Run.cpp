#include "driver/Run.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>

#include "driver/Listing.h"
#include "driver/Options.h"
#include "driver/Profile.h"
#include "output/Console.h"
#include "output/Document.h"
#include "output/Errors.h"
#include "platform/Children.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "rfc/Rfc.h"
#include "space/SpaceFigures.h"

namespace {

// The message of an error document: an error number and its text, or a failed call's outcome
// message with the trace notice.
using ErrorText = FixedText<kDocumentCapacity>;

// A channel field replayed from a child's result: as long as the writer's own copies.
constexpr size_t kPrivateFieldCapacity = 159;

// What spans one run: the command line as parsed, where the profile is, the current system's
// connection values and the counters of item mode.
struct RunContext {
    FixedText<8> startTime;
    FixedText<123> headerLine;
    const char *programPath = "";
    const char *argument2 = "";
    int argc = 0;
    char **argv = nullptr;
    // A child process runs one entry of the listing (its index) and records it to its result file.
    bool child = false;
    uint32_t childIndex = 0;
    FixedText<kResultFileNameCapacity> childResultFile;
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
    // What the deadline watch reads; changed only under the output guard.
    uint64_t startMs = 0;
    std::atomic<bool> profileRead{false};
    bool itemDocumentStarted = false;
    bool systemInProgress = false;
    bool lockMissNoted = false;
};

// How long an RFC step waits for the working directory's lock.
constexpr uint32_t kLockWaitMs = 5000;

// The one run of the process; the deadline watch ends it from its own thread.
RunContext currentRun;

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

// A lock never blocks for good: a step that went on without it is told to a person at the console.
void NoteMissedLock(RunContext &run) {
    if (!run.commandOptions.verbose || run.lockMissNoted || !RfcStepMissedLock()) return;
    run.lockMissNoted = true;
    WriteOutFormat("* Working directory lock not obtained within %" PRIu32 " ms: went on without it\n",
                   kLockWaitMs);
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

// How the run ends after a failure inside the RFC library: its report, and status 1.
[[noreturn]] void EndWithLibraryFailure(const LibraryFailureReport &failure) {
    rfcLibrary.RfcClose(0);
    WriteLibraryFailure(failure);
    EndProcess(1);
}

[[noreturn]] void EndWithLibraryFailure(const char *operation) {
    static LibraryFailureReport failure;
    ReadLibraryFailure(operation, failure);
    EndWithLibraryFailure(failure);
}

// The channel guard's room, from the mode the run finally runs in.
int32_t ChannelRoom(const RunContext &run) { return ChannelRoomFor(run.options.space, run.itemMode); }

// The report of the current system's space evaluation: large, so one for the process.
SpaceReport spaceReport;

// On the open connection: the system information, the Oracle check and the space evaluation.
// Returns false, with the message, when the whole run must end: the system information call failed
// or the database is not Oracle. A failed space evaluation is in the report.
bool EvaluateConnectedSystem(RunContext &run, SpaceReport &space, TextBase &error) {
    SystemInfo info;
    ReadSystemInfo(run.connectionHandle, info);
    if (info.libraryFailure != nullptr) EndWithLibraryFailure(info.libraryFailure);
    if (info.outcome != RFC_OK) {
        CallFailureText(error, info.outcome, info.exceptionText);
        return false;
    }
    run.connection.shownHost.Assign(info.host);
    if (!info.databaseSystem.StartsWith("ORA")) {
        FormatError(error, ErrorId::DatabaseMismatch);
        return false;
    }
    SpaceRequest request;
    request.destination = run.connection.destination.c_str();
    request.unit = run.options.sizeUnit;
    request.itemMode = run.itemMode;
    request.itemName = run.listing.itemName.c_str();
    request.itemChannelName = run.itemChannelName.c_str();
    request.keywords = run.options.space;
    request.channelRoom = ChannelRoom(run);
    EvaluateSpaceFigures(run.connectionHandle, request, space);
    if (space.libraryFailure != nullptr) EndWithLibraryFailure(space.libraryFailure);
    NoteMissedLock(run);
    return true;
}

// The channels of the report, each written as it is taken; the report's table goes back to the
// library after the last. A failure inside the library ends the run behind what was written.
void WriteReportChannels(SpaceReport &space) {
    ChannelReport channel;
    while (NextSpaceChannel(space, channel)) {
        WriteChannel(channel);
        FlushDocument();
    }
    CloseSpaceReport(space);
    if (space.libraryFailure != nullptr) EndWithLibraryFailure(space.libraryFailure);
}

// Hands the options in force to the writer and the event log.
void ConfigureForRun(RunContext &run) {
    DocumentSettings settings = run.options.document;
    settings.forPerson = run.commandOptions.verbose;
    settings.channelRoom = ChannelRoom(run);
    ConfigureDocument(settings);
    ConfigureEventLog(run.options.eventLog);
}

// The destination file's notice is for a person: verbose forms and the line modes, never a PRTG
// document.
bool ShowDestinationNotice(const RunContext &run) {
    return run.commandOptions.verbose || run.options.document.mode != OutputMode::ExeXml;
}

// Opens the connection of the current system; a failed open leaves its message with the reason:
// the destination file that could not be copied, or what the open wrote to the trace file.
void OpenConnection(RunContext &run, TextBase &openFailure) {
    BeginSystemTrace();
    FixedText<127> cause;
    run.connectionHandle = OpenRfcConnection(run.connection, run.options.overrides, run.openRecords,
                                             ShowDestinationNotice(run), cause);
    NoteMissedLock(run);
    if (run.connectionHandle != 0) return;
    FormatError(openFailure, ErrorId::OpenFailed, run.connection.destination.c_str());
    if (cause.empty()) {
        AppendTraceNotice(openFailure);
    } else {
        openFailure.Append(" - ").Append(cause);
    }
}

// Entries of the listing not yet begun.
uint32_t EntriesLeft(const RunContext &run) {
    uint32_t left = 0;
    const TextBase &listing = run.listing.serverListing;
    for (size_t i = run.listing.next; i < listing.size(); ++i)
        if (listing[i] == '#' || i + 1 == listing.size()) ++left;
    return left;
}

void AppendItemSummary(TextBase &summary, const RunContext &run, uint32_t noSystems, uint32_t failed) {
    summary.Assign("(***) ").Append(run.listing.itemName);
    summary.AppendFormat(": NoSystems=%" PRIu32 ", Processed=%" PRIu32 ", Failed=%" PRIu32, noSystems,
                         run.processed, failed);
    if (run.listing.fill.entriesLeftOut > 0) {
        summary.AppendFormat(" - Server listing too long: %" PRIu32 " entries left out",
                             run.listing.fill.entriesLeftOut);
    }
}

// PRTG kills a sensor that has not answered in time and shows nothing of it: before that, the run
// ends with what it has. A call blocked inside the library cannot be cancelled, so the document is
// finished from here and the process ends around it.
void DeadlineReached() {
    RunContext &run = currentRun;
    // The process that writes the document answers PRTG; a child's unfinished system counts there.
    if (run.child) EndProcessNow(3);
    OutputGuard guard; // kept to the end: the main thread writes nothing more
    StopAllChildren();
    static FixedText<kDocumentCapacity> text;
    uint32_t seconds = run.options.timeoutSeconds;
    if (run.itemDocumentStarted) {
        // Every system not finished counts as failed.
        uint32_t unfinished = EntriesLeft(run) + (run.systemInProgress ? 1u : 0u);
        FixedText<255> summary;
        AppendItemSummary(summary, run, run.noSystems + EntriesLeft(run), run.failed + unfinished);
        summary.AppendFormat(" - deadline of %" PRIu32 " s reached", seconds);
        ComposeClosingSummary(text, summary.c_str());
        WriteOut(text);
        WriteOut("\n");
        EndProcessNow(0);
    }
    FixedText<255> message;
    const char *step = CurrentRfcStep();
    FixedText<15> secondsText;
    secondsText.Format("%" PRIu32, seconds);
    if (run.profileRead && !run.itemMode) {
        FormatError(message, ErrorId::NoAnswerFrom, run.connection.destination.c_str(), secondsText.c_str());
    } else {
        FormatError(message, ErrorId::NoAnswer, secondsText.c_str());
    }
    if (step[0] != '\0') message.AppendFormat(" (%s)", step);
    ComposeRunEndingError(text, message.c_str());
    WriteOut(text);
    EndProcessNow(2);
}

bool StartUp(RunContext &run, int argc, char **argv, TextBase &error) {
    run.startMs = MonotonicMilliseconds();
    SetLibraryFailureEnd(EndWithLibraryFailure);
    run.argc = argc;
    run.argv = argv;
    run.child = ChildRequest(run.childIndex, run.childResultFile);
    // A child writes nothing to standard output: what it writes for its system goes to its result.
    if (run.child) CaptureOutput(false);
    TimeOfDay(run.startTime);
    run.headerLine.Format("* %s SAP %s %s", run.startTime.c_str(), kProgramName, kProgramVersion);
    run.programPath = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    if (argc < 2 || argv[1] == nullptr) {
        FormatError(error, ErrorId::ProfileNameMissing);
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
    ConfigureRfcSteps(kLockWaitMs);
    StartDeadlineWatch(run.startMs + run.commandOptions.timeoutSeconds * uint64_t{1000}, DeadlineReached);
    return true;
}

bool RunSingleSystem(RunContext &run, FILE *profile, TextBase &error) {
    ProfileFault fault = ReadProfile(profile, run.connection, kProfileLineSingleRun, true);
    CloseFile(profile);
    run.profileRead = true;
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

    OpenConnection(run, error);
    if (run.connectionHandle == 0) return false;
    SpaceReport &space = spaceReport;
    if (!EvaluateConnectedSystem(run, space, error)) return false;
    if (space.outcome == RFC_OK) {
        WriteDocumentStart(space.summary.c_str());
        WriteReportChannels(space);
    }
    CloseConnection(run);
    if (space.outcome != RFC_OK) {
        CallFailureText(error, space.outcome, space.exceptionText);
        return false;
    }

    WriteDocumentEnd();
    RemoveTraceFile();
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

// A child of PARALLEL=n records the channel of its system for the process that writes the document.
void RecordChannel(const ChannelReport &channel) {
    WriteResultRecord('C', channel.name.c_str());
    WriteResultRecord('c', channel.value.c_str());
    WriteResultRecord('c', channel.unit.c_str());
    WriteResultRecord('c', channel.prtgUnit.c_str());
    FixedText<127> figures;
    figures.Format("%d %d %d %" PRId64 " %d %" PRId64, channel.prtgUnit.empty() ? 0 : 1, channel.sensorWarning ? 1 : 0,
                   channel.warningLevel ? 1 : 0, channel.maxWarning, channel.errorLevel ? 1 : 0, channel.maxError);
    WriteResultRecord('c', figures.c_str());
    WriteResultRecord('c', channel.warningMessage.c_str());
    WriteResultRecord('c', channel.errorMessage.c_str());
}

// One pass of the system loop. Returns false, with the message, when this system ends the run.
bool RunListedSystem(RunContext &run, TextBase &error) {
    FixedText<255> entry;
    {
        OutputGuard guard;
        ++run.noSystems;
        TakeListingEntry(run.listing.serverListing, run.listing.next, entry);
        run.systemInProgress = true;
    }
    run.location.name.Assign(entry); // a cut name keeps its mark and never opens
    run.location.path.Assign(run.location.directory).Append(run.location.name);
    run.itemChannelName.Assign(run.location.name);

    FILE *profile = OpenFile(run.location.path, "rb");
    if (profile == nullptr) {
        OutputGuard guard;
        run.systemInProgress = false;
        return true;
    }
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
    if (!RegisterErrorHandler(run, error)) return false;
    DiscardDocument();

    SpaceReport &space = spaceReport;
    space.outcome = RFC_FAILURE; // until an evaluation says otherwise
    space.itemFound = false;
    FixedText<kDocumentCapacity> openFailure;
    OpenConnection(run, openFailure);
    if (run.connectionHandle == 0) {
        profileInvalid = true;
    } else if (!EvaluateConnectedSystem(run, space, error)) {
        return false;
    } else if (space.outcome == RFC_OK) {
        if (run.child) {
            ChannelReport channel;
            while (NextSpaceChannel(space, channel))
                RecordChannel(channel);
            CloseSpaceReport(space);
            if (space.libraryFailure != nullptr) EndWithLibraryFailure(space.libraryFailure);
        } else {
            WriteReportChannels(space);
        }
    }
    CloseConnection(run);

    OutputGuard guard;
    run.systemInProgress = false;
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

// PARALLEL=n: each system runs in a child process of its own (the RFC library is not assumed to be
// thread-safe); the child records what the system loop would have done, and this process replays
// the records strictly in listing order, so document, counters and state lines are those of the
// sequential loop.

// In a child: runs the entry `childIndex` places behind the loop's start and ends the process.
[[noreturn]] void RunChildSystem(RunContext &run) {
    if (!OpenResultRecords(run.childResultFile.c_str())) EndProcess(2);
    ShareRfcSteps();
    FixedText<255> entry;
    for (uint32_t i = 0; i < run.childIndex; ++i)
        TakeListingEntry(run.listing.serverListing, run.listing.next, entry);
    CaptureOutput(true);
    uint32_t processed = run.processed;
    uint32_t failed = run.failed;
    static ErrorText error;
    bool goesOn = true;
    if (run.listing.next < run.listing.serverListing.size()) goesOn = RunListedSystem(run, error);
    CaptureOutput(false);
    CloseConnection(run);
    if (!goesOn) {
        WriteResultRecord('E', error.c_str());
    } else {
        WriteResultRecord('N', run.processed > processed ? "P" : run.failed > failed ? "F" : "-");
    }
    WriteResultRecord('D', "");
    CloseResultRecords();
    EndProcess(0);
}

enum class Replayed {
    GoesOn,
    RunEnds,     // the system ends the run: the error is in `error`
    ProcessEnds, // the library ended the child; this process ends with the same status
};

// Reads the fields of a channel record behind its name and hands the channel to the writer.
void ReplayChannel(FILE *file, const TextBase &name) {
    FixedText<kPrivateFieldCapacity> fields[6];
    char tag = 0;
    for (TextBase &field : fields) {
        if (!ReadResultRecord(file, tag, field) || tag != 'c') return;
    }
    ChannelExtras extras;
    int prtgUnit = 0, sensorWarning = 0, warningLevel = 0, errorLevel = 0;
    int64_t maxWarning = 0, maxError = 0;
    if (sscanf(fields[3].c_str(), "%d %d %d %" SCNd64 " %d %" SCNd64, &prtgUnit, &sensorWarning, &warningLevel,
               &maxWarning, &errorLevel, &maxError) != 6)
        return;
    extras.prtgUnit = prtgUnit != 0 ? fields[2].c_str() : nullptr;
    extras.sensorWarning = sensorWarning != 0;
    extras.warningLevel = warningLevel != 0;
    extras.maxWarning = maxWarning;
    extras.warningMessage = fields[4].c_str();
    extras.errorLevel = errorLevel != 0;
    extras.maxError = maxError;
    extras.errorMessage = fields[5].c_str();
    WriteChannel(name.c_str(), fields[0].c_str(), fields[1].c_str(), extras);
    FlushDocument();
}

// Replays the result of the next entry's child as the sequential loop would have written it.
Replayed ReplayChildResult(RunContext &run, const char *resultFile, int32_t status, TextBase &error,
                           int &exitStatus) {
    OutputGuard guard; // the deadline watch sees a system whole or not at all
    FixedText<255> entry;
    ++run.noSystems;
    TakeListingEntry(run.listing.serverListing, run.listing.next, entry);
    FILE *file = OpenFile(resultFile, "rb");
    static FixedText<8191> text;
    bool done = false;
    bool runEnds = false;
    char tag = 0;
    while (file != nullptr && !done && ReadResultRecord(file, tag, text)) {
        switch (tag) {
        case 'O':
            WriteOut(text);
            break;
        case 'L':
            ReplayEventLine(text.c_str());
            break;
        case 'C':
            ReplayChannel(file, text);
            break;
        case 'N':
            if (text.Equals("P")) ++run.processed;
            if (text.Equals("F")) ++run.failed;
            break;
        case 'E':
            error.Assign(text);
            runEnds = true;
            break;
        case 'D':
            done = true;
            break;
        default:
            break;
        }
    }
    CloseFile(file);
    RemoveFile(resultFile);
    if (runEnds) return Replayed::RunEnds;
    if (done) return Replayed::GoesOn;
    // The RFC library's failure handler ended the child after its report, which is replayed above.
    if (status == 1) {
        exitStatus = 1;
        return Replayed::ProcessEnds;
    }
    FormatError(error, ErrorId::WorkerWithoutResult, entry.c_str());
    return Replayed::RunEnds;
}

// The entries of the listing from its current position on.
uint32_t CountEntries(const RunContext &run) {
    size_t next = run.listing.next;
    uint32_t count = 0;
    FixedText<255> entry;
    while (next < run.listing.serverListing.size()) {
        TakeListingEntry(run.listing.serverListing, next, entry);
        ++count;
    }
    return count;
}

struct ParallelSlot {
    ChildProcess child;
    bool started = false;
    FixedText<kResultFileNameCapacity> resultFile;
};

// The system loop with up to `parallel` systems connected at once. Returns false, with the message,
// when a system ends the run.
bool RunListedSystemsInParallel(RunContext &run, TextBase &error) {
    static ParallelSlot slots[kMaxParallel];
    uint32_t window = run.options.parallel < kMaxParallel ? run.options.parallel : kMaxParallel;
    uint32_t total = CountEntries(run);
    uint32_t nextToStart = 0;
    for (uint32_t k = 0; k < total; ++k) {
        for (; nextToStart < total && nextToStart < k + window; ++nextToStart) {
            ParallelSlot &slot = slots[nextToStart % window];
            ChildResultFileName(slot.resultFile, nextToStart);
            slot.started = StartChild(run.argc, run.argv, nextToStart, slot.resultFile.c_str(), slot.child);
        }
        ParallelSlot &slot = slots[k % window];
        if (!slot.started) {
            // No process could be started: this system runs here, as without PARALLEL; a person
            // at the console learns it.
            if (run.commandOptions.verbose) WriteOut("\n* No process of its own: the system runs in this one\n");
            if (!RunListedSystem(run, error)) {
                StopAllChildren();
                return false;
            }
            continue;
        }
        int32_t status = WaitChild(slot.child);
        slot.started = false;
        int exitStatus = 0;
        Replayed replayed = ReplayChildResult(run, slot.resultFile.c_str(), status, error, exitStatus);
        if (replayed == Replayed::GoesOn) continue;
        // Systems after this one contribute nothing.
        StopAllChildren();
        if (replayed == Replayed::ProcessEnds) EndProcess(exitStatus);
        return false;
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
    MoveDeadline(run.startMs + run.options.timeoutSeconds * uint64_t{1000});

    if (run.commandOptions.verbose) {
        WriteOut(run.headerLine);
        WriteOut("\n");
        WriteOutFormat("* %s %s State=Executing\n", run.startTime.c_str(), itemText.asGiven.c_str());
    }

    {
        OutputGuard guard;
        BeginDocument();
        FlushDocument();
        WriteOut("\n");
        run.itemDocumentStarted = true;
    }

    if (run.listing.fill.entriesLeftOut > 0 && run.commandOptions.verbose) {
        WriteOutFormat("* Server listing too long: %" PRIu32 " entries left out\n", run.listing.fill.entriesLeftOut);
    }
    if (run.child) RunChildSystem(run);
    if (run.options.parallel > 1) {
        if (!RunListedSystemsInParallel(run, error)) return false;
    }
    while (run.listing.next < run.listing.serverListing.size()) {
        if (!RunListedSystem(run, error)) return false;
    }

    {
        OutputGuard guard;
        FixedText<511> summary;
        AppendItemSummary(summary, run, run.noSystems, run.failed);
        ItemTally tally{run.noSystems, run.processed, run.failed};
        AppendItemHealth(summary, run.options.space, tally, ChannelsLeftOut());
        DiscardDocument();
        BeginText();
        AppendTextContent(summary.c_str());
        EndText();
        ChannelReport health;
        if (BuildItemHealthChannel(health, run.options.space, run.listing.itemName.c_str(), tally, ChannelsLeftOut())) {
            // The place the systems' channels left free.
            if (ChannelRoom(run) > 0) SetChannelRoom(ChannelRoom(run) + 1);
            WriteChannel(health);
        }
        EndDocument();
        FlushDocument();
        WriteOut("\n");
        run.itemDocumentStarted = false;
    }

    CloseConnection(run);
    if (run.commandOptions.verbose) WriteProcessedLine();
    return true;
}

bool Run(RunContext &run, int argc, char **argv, TextBase &error) {
    if (!StartUp(run, argc, argv, error)) return false;
    bool directorySearch = run.commandOptions.directorySearch && run.commandOptions.document.mode == OutputMode::ExeXml;
    FILE *profile = LocateProfile(run.location, directorySearch, error);
    if (profile == nullptr) {
        // A person at the console learns where the program looked; the document stays as it is.
        if (run.commandOptions.verbose) {
            WriteOut("* Profile searched in:\n");
            const TextBase &searched = run.location.searched;
            size_t start = 0;
            for (size_t end = searched.Find("\n"); end != TextBase::npos; end = searched.Find("\n", start)) {
                FixedText<255> path;
                path.AssignPart(searched.c_str() + start, end - start);
                WriteOutFormat("*   %s\n", path.c_str());
                start = end + 1;
            }
        }
        return false;
    }
    if (run.itemMode) return RunItemMode(run, profile, error);
    return RunSingleSystem(run, profile, error);
}

} // namespace

int RunSensor(int argc, char **argv) {
    static ErrorText error;
    bool succeeded = Run(currentRun, argc, argv, error);
    {
        OutputGuard guard;
        if (!succeeded) WriteRunEndingError(error.c_str());
        currentRun.itemDocumentStarted = false; // ended: the deadline has nothing more to finish
        MoveDeadline(UINT64_MAX);
    }
    CloseConnection(currentRun);
    return succeeded ? 0 : 2;
}
