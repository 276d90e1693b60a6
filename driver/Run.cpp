#include "driver/Run.h"

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>

#include "driver/Credentials.h"
#include "driver/FieldReport.h"
#include "driver/Listing.h"
#include "driver/LogonGuard.h"
#include "driver/Options.h"
#include "driver/Outcome.h"
#include "driver/Profile.h"
#include "output/ChannelNames.h"
#include "output/Console.h"
#include "output/Document.h"
#include "output/Errors.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "platform/Workers.h"
#include "rfc/Rfc.h"
#include "space/SpaceFigures.h"

namespace {

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
    OptionText itemText;    // item mode's option text, as a worker is told it
    bool itemMode = false;
    bool worker = false; // this process serves a parent's PARALLEL run
    ProfileLocation location;
    ConnectionFields connection;
    ItemListing listing;
    FixedText<47> itemChannelName;
    uint32_t noSystems = 0;
    uint32_t processed = 0;
    uint32_t failed = 0;
    // The system of item mode under way: the failure handler of the library finishes it.
    SystemOutcome outcome;
    // The library keeps pointers to these for as long as a connection may be open.
    RFC_HANDLE connectionHandle = 0;
    RFC_ENV rfcEnvironment{};
    RfcOpenRecords openRecords;
    FixedText<47> historyHost; // the host FORECAST's history names: the system's, else the profile's
    // What the deadline watch reads; changed only under the output guard.
    uint64_t startMs = 0;
    std::atomic<bool> profileRead{false};
    bool itemDocumentStarted = false;
    bool systemInProgress = false;
    bool lockMissNoted = false;
};

// How long an RFC step waits for the working directory's lock.
constexpr uint32_t kLockWaitMs = 5000;

// The one run of the process; the deadline watch and the library's failure handler end it from
// where they are.
RunContext currentRun;

// The report of the current system's space evaluation.
SpaceReport spaceReport;

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
    if (!run.commandOptions.verbose || run.lockMissNoted) return;
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

// The destination file's notice is for a person: verbose forms and the line modes, never a PRTG
// document.
bool ShowDestinationNotice(const RunContext &run) {
    return run.commandOptions.verbose || run.options.document.mode != OutputMode::ExeXml;
}

void WriteDestinationNotice(const char *destination) {
    WriteOutFormat("* SapRfc.Ini.......: %s<\n", destination);
}

// What a listed system wrote before its state line: the destination notice, the missed lock, and
// its channels.
void WriteOutcomeBody(RunContext &run, const SystemOutcome &outcome) {
    for (size_t start = 0; start < outcome.eventLines.size();) {
        size_t end = outcome.eventLines.Find("\n", start);
        if (end == TextBase::npos) end = outcome.eventLines.size();
        FixedText<kOutcomeTextCapacity> line;
        line.AssignPart(outcome.eventLines.c_str() + start, end - start);
        ReplayEventLine(line.c_str());
        start = end + 1;
    }
    if (outcome.destinationNotice && ShowDestinationNotice(run)) WriteDestinationNotice(outcome.destination.c_str());
    if (outcome.lockMissed) NoteMissedLock(run);
    for (uint32_t i = 0; i < outcome.channelCount; ++i) {
        // PRTG keeps one channel per name: a repeated system name must not merge two histories.
        static ChannelReport channel;
        channel = outcome.channels[i];
        MakeChannelNameUnique(channel.name);
        WriteChannel(channel);
        FlushDocument();
    }
}

// How the run ends after a failure inside the RFC library: its report behind what the current
// system wrote, and status 1. A worker hands both to its parent instead.
[[noreturn]] void EndWithLibraryFailure(const LibraryFailureReport &failure) {
    RunContext &run = currentRun;
    if (run.systemInProgress) {
        SystemOutcome &outcome = run.outcome;
        outcome.libraryFailed = true;
        outcome.failure = failure;
        if (run.worker) {
            CaptureEventLines(nullptr);
            static FixedText<kMaxOutcomeFrame> frame;
            EncodeOutcome(outcome, frame);
            WriteAnswerFrame(frame);
            EndProcess(1);
        }
    }
    rfcLibrary.RfcClose(0);
    {
        OutputGuard guard;
        if (run.systemInProgress) WriteOutcomeBody(run, run.outcome);
        WriteLibraryFailure(failure);
    }
    EndProcess(1);
}

[[noreturn]] void EndWithLibraryFailure(const char *operation) {
    static LibraryFailureReport failure;
    ReadLibraryFailure(operation, failure);
    EndWithLibraryFailure(failure);
}

// The channel guard's room, from the mode the run finally runs in.
int32_t ChannelRoom(const RunContext &run) { return ChannelRoomFor(run.options.space, run.itemMode); }

// On the open connection: the system information, the Oracle check and the space evaluation.
// Returns false, with the message, when the whole run must end: the system information call failed
// or the database is not Oracle. A failed space evaluation is in the report.
bool EvaluateConnectedSystem(RunContext &run, SpaceReport &space, TextBase &error) {
    SystemInfo info;
    ReadSystemInfo(run.connectionHandle, info);
    if (info.libraryFailure != nullptr) EndWithLibraryFailure(info.libraryFailure);
    if (info.outcome != RFC_OK) {
        CallFailureText(error, info.outcome, info.exceptionText);
        if (run.itemMode) AppendSystemCause(error, run.location.name.c_str(), "RFC_SYSTEM_INFO");
        return false;
    }
    run.connection.shownHost.Assign(info.host);
    if (!info.databaseSystem.StartsWith("ORA")) {
        FormatError(error, ErrorId::DatabaseMismatch);
        // In item mode the run ends for one system of many: the text says which, and what it found.
        FixedText<10> found;
        found.Assign(info.databaseSystem);
        found.StripTrailingBlanks();
        if (run.itemMode) AppendSystemCause(error, run.location.name.c_str(), found.empty() ? "?" : found.c_str());
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
    // The history of FORECAST belongs to the SAP system, whichever profile or route reaches it.
    request.systemId = !info.systemId.empty() ? info.systemId.c_str() : run.connection.destination.c_str();
    FixedText<47> &host = run.historyHost;
    host.Assign(info.host);
    host.StripTrailingBlanks();
    if (host.empty())
        host.Assign(run.connection.hostname.empty() ? run.connection.gwhost.c_str() : run.connection.hostname.c_str());
    request.host = host.c_str();
    EvaluateSpaceFigures(run.connectionHandle, request, space);
    if (space.libraryFailure != nullptr) EndWithLibraryFailure(space.libraryFailure);
    return true;
}

// Hands the options in force to the writer and the event log.
void ConfigureForRun(RunContext &run) {
    DocumentSettings settings = run.options.document;
    settings.forPerson = run.commandOptions.verbose;
    settings.channelRoom = ChannelRoom(run);
    ConfigureDocument(settings);
    ConfigureEventLog(run.options.eventLog);
}

// Opens the connection of the current system; a failed open leaves its message with the reason:
// the destination file that could not be copied, or what the open wrote to the trace file.
void OpenConnection(RunContext &run, TextBase &openFailure) {
    BeginSystemTrace();
    // A password SAP refused for this user and system is not sent again: SAP would lock the user.
    FixedText<511> refusal;
    if (!LogonGuardAllows(run.connection, run.options.overrides, refusal)) {
        run.connectionHandle = 0;
        FormatError(openFailure, ErrorId::OpenFailed, run.connection.destination.c_str());
        openFailure.Append(refusal);
        return;
    }
    FixedText<127> cause;
    run.connectionHandle = OpenRfcConnection(run.connection, run.options.overrides, run.openRecords, cause);
    // Without a cause the library was asked: the guard learns whether SAP took the logon.
    if (cause.empty()) LogonGuardNoteOpen(run.connection, run.options.overrides, run.connectionHandle != 0);
    run.connection.password.Wipe(); // the open and the guard have what they need of it
    if (run.connectionHandle != 0) return;
    FormatError(openFailure, ErrorId::OpenFailed, run.connection.destination.c_str());
    if (cause.empty()) {
        AppendTraceNotice(openFailure);
    } else {
        openFailure.Append(" - ").Append(cause);
    }
}

// Entries of the listing from `next` on.
uint32_t EntriesFrom(const RunContext &run, size_t next) {
    uint32_t count = 0;
    FixedText<255> entry;
    while (TakeListingEntry(run.listing.serverListing, next, entry))
        ++count;
    return count;
}

void AppendItemSummary(TextBase &summary, const RunContext &run, uint32_t noSystems, uint32_t failed) {
    summary.Assign("(***) ").Append(run.listing.itemName);
    summary.AppendFormat(": NoSystems=%" PRIu32 ", Processed=%" PRIu32 ", Failed=%" PRIu32, noSystems,
                         run.processed, failed);
    if (run.listing.fill.entriesLeftOut > 0) {
        summary.AppendFormat(" - Server listing too long: %" PRIu32 " entries left out",
                             run.listing.fill.entriesLeftOut);
    }
    if (NumberedChannelNames() > 0)
        summary.AppendFormat(" - Channel names repeated: %" PRIu32 " numbered", NumberedChannelNames());
}

// The deadline in item mode: the document ends with every system that finished, and the systems
// that did not count as failed. Called under the output guard; ends the process.
[[noreturn]] void EndItemModeAtDeadline(RunContext &run, uint32_t unfinished) {
    StopAllWorkers();
    static FixedText<kDocumentCapacity> text;
    FixedText<255> summary;
    AppendItemSummary(summary, run, run.noSystems + unfinished, run.failed + unfinished);
    summary.AppendFormat(" - deadline of %" PRIu32 " s reached", run.options.timeoutSeconds);
    ComposeClosingSummary(text, summary.c_str());
    WriteOut(text);
    WriteOut("\n");
    EndProcessNow(0);
}

// PRTG kills a sensor that has not answered in time and shows nothing of it: before that, the run
// ends with what it has. A call blocked inside the library cannot be cancelled, so the document is
// finished from here and the process ends around it.
void DeadlineReached() {
    RunContext &run = currentRun;
    OutputGuard guard; // kept to the end: the main thread writes nothing more
    if (run.itemDocumentStarted) {
        EndItemModeAtDeadline(run, EntriesFrom(run, run.listing.next) + (run.systemInProgress ? 1u : 0u));
    }
    StopAllWorkers();
    static FixedText<kDocumentCapacity> text;
    FixedText<255> message;
    FixedText<15> seconds;
    seconds.Format("%" PRIu32, run.options.timeoutSeconds);
    if (run.profileRead && !run.itemMode) {
        FormatError(message, ErrorId::NoAnswerFrom, run.connection.destination.c_str(), seconds.c_str());
    } else {
        FormatError(message, ErrorId::NoAnswer, seconds.c_str());
    }
    const char *step = CurrentRfcStep();
    if (step[0] != '\0') message.AppendFormat(" (%s)", step);
    ComposeRunEndingError(text, message.c_str());
    WriteOut(text);
    EndProcessNow(2);
}

bool StartUp(RunContext &run, int argc, char **argv, TextBase &error) {
    run.startMs = MonotonicMilliseconds();
    TimeOfDay(run.startTime);
    run.headerLine.Format("* %s SAP %s %s", run.startTime.c_str(), kProgramName, kProgramVersion);
    run.programPath = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    if (argc < 2 || argv[1] == nullptr) {
        FormatError(error, ErrorId::ProfileNameMissing);
        return false;
    }
    run.argument2 = argc > 2 && argv[2] != nullptr ? argv[2] : "";
    JoinOptionText(run.commandLine, argc - 2, argv + 2);
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
    bool profileLogon = run.options.logon == LogonSource::Profile;
    ProfileFault fault = ReadProfile(profile, run.connection, kProfileLineSingleRun, profileLogon);
    CloseFile(profile);
    run.profileRead = true;
    if (!TakeLogon(run.options.logon, run.connection, fault, error)) return false;
    if (fault == ProfileFault::None) fault = CheckProfileFields(run.connection);
    if (fault != ProfileFault::None) {
        // A person at the console learns which field; the document stays as it is.
        if (run.commandOptions.verbose && fault == ProfileFault::InvalidParameters)
            WriteInvalidFields(run.connection, run.location.name.c_str());
        ProfileFaultText(error, fault, run.location.name.c_str());
        return false;
    }

    LogEvent(0, "program started", run.programPath);
    if (!RegisterErrorHandler(run, error)) return false;
    LogEvent(0, "RfcEnvironment called", "");

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

    if (ShowDestinationNotice(run) && UsesDestinationFile(run.connection))
        WriteDestinationNotice(run.connection.destination.c_str());
    OpenConnection(run, error);
    if (RfcStepMissedLock()) NoteMissedLock(run);
    if (run.connectionHandle == 0) return false;
    SpaceReport &space = spaceReport;
    if (!EvaluateConnectedSystem(run, space, error)) return false;
    if (RfcStepMissedLock()) NoteMissedLock(run);
    if (space.outcome == RFC_OK && FiltersLeaveNothing(run.options.space, space.tally.rowCount, space.tally.keptCount)) {
        // A document without a channel would look like a healthy sensor: PRTG shows why instead.
        CloseSpaceReport(space);
        if (space.libraryFailure != nullptr) EndWithLibraryFailure(space.libraryFailure);
        CloseConnection(run);
        NoTablespaceLeftText(error, run.options.space);
        return false;
    }
    if (space.outcome == RFC_OK) {
        // The channels are written as they are taken from the rows; a failure inside the library
        // ends the run behind them.
        WriteDocumentStart(space.summary.c_str());
        ChannelReport channel;
        while (NextSpaceChannel(space, channel)) {
            WriteChannel(channel);
            FlushDocument();
        }
        CloseSpaceReport(space);
        if (space.libraryFailure != nullptr) EndWithLibraryFailure(space.libraryFailure);
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

// One system of the listing, from its profile to its outcome (run.outcome): the state, the channels
// of its item, why it failed, or that it ends the run.
void RunListedSystem(RunContext &run, const TextBase &entry) {
    SystemOutcome &outcome = run.outcome;
    outcome = SystemOutcome();
    run.location.name.Assign(entry); // a cut name keeps its mark and never opens
    run.location.path.Assign(run.location.directory).Append(run.location.name);
    run.itemChannelName.Assign(run.location.name);

    FILE *profile = OpenListedProfile(run.location);
    if (profile == nullptr) {
        int openError = errno;
        // Only a profile that is not there is passed over; one there that cannot be opened fails.
        if (ClassifyOpenFailure(openError) == OpenFailure::Missing) return;
        FixedText<8> now;
        TimeOfDay(now);
        outcome.systemLine.Format("* %s %s", now.c_str(), run.location.name.c_str());
        UnopenableProfileText(outcome.cause, run.location.name.c_str(), openError);
        outcome.state = SystemState::RfcFailure;
        return;
    }
    // Every profile is read on its own: a key it lacks is missing, never the previous system's.
    run.connection = ConnectionFields();
    bool profileInvalid = false;
    ProfileFault fault = ReadProfile(profile, run.connection, kProfileLineSystemLoop, false);
    CloseFile(profile);
    FixedText<511> logonError;
    if (!TakeLogon(run.options.logon, run.connection, fault, logonError)) profileInvalid = true;
    if (fault != ProfileFault::None || CheckProfileFields(run.connection) != ProfileFault::None) {
        profileInvalid = true;
    }
    ChooseItemChannelName(run);
    BuildSystemLine(run, outcome.systemLine);
    ErrorText error;
    if (!RegisterErrorHandler(run, error)) {
        outcome.runEnds = true;
        outcome.error.Assign(error);
        return;
    }

    SpaceReport &space = spaceReport;
    space.outcome = RFC_FAILURE; // until an evaluation says otherwise
    space.itemFound = false;
    outcome.destinationNotice = UsesDestinationFile(run.connection);
    outcome.destination.Assign(run.connection.destination);
    OpenConnection(run, outcome.cause);
    if (run.connectionHandle == 0) {
        profileInvalid = true;
    } else if (!EvaluateConnectedSystem(run, space, error)) {
        outcome.runEnds = true;
        outcome.error.Assign(error);
        outcome.lockMissed = RfcStepMissedLock();
        CloseConnection(run);
        return;
    } else if (space.outcome == RFC_OK) {
        ChannelReport channel;
        while (NextSpaceChannel(space, channel)) {
            if (outcome.channelCount < kMaxItemChannels) outcome.channels[outcome.channelCount++] = channel;
        }
        CloseSpaceReport(space);
        if (space.libraryFailure != nullptr) EndWithLibraryFailure(space.libraryFailure);
    }
    outcome.lockMissed = RfcStepMissedLock();
    CloseConnection(run);

    bool evaluated = space.outcome == RFC_OK;
    outcome.state = SystemState::Processed;
    if (!space.itemFound) outcome.state = SystemState::NotFound;
    if (profileInvalid || !evaluated) outcome.state = SystemState::RfcFailure;
}

const char *StateWord(SystemState state) {
    switch (state) {
    case SystemState::Processed:
        return "Processed";
    case SystemState::NotFound:
        return "Not Found";
    default:
        return "Rfc Failure";
    }
}

// Writes a system's outcome in its place in the listing and counts it. Returns false, with the
// message, when the system ends the run; a failure inside the library ends it here.
bool WriteOutcome(RunContext &run, const SystemOutcome &outcome, TextBase &error) {
    OutputGuard guard; // the deadline watch sees a system whole or not at all
    ++run.noSystems;
    run.systemInProgress = false;
    WriteOutcomeBody(run, outcome);
    if (outcome.libraryFailed) {
        WriteLibraryFailure(outcome.failure);
        EndProcess(1);
    }
    if (outcome.runEnds) {
        error.Assign(outcome.error);
        return false;
    }
    if (outcome.state == SystemState::Skipped) return true;
    if (outcome.state == SystemState::Processed) {
        ++run.processed;
    } else {
        ++run.failed;
    }
    if (run.commandOptions.verbose) {
        WriteOutFormat("\n%s State=%s", outcome.systemLine.c_str(), StateWord(outcome.state));
        // A person at the console learns why the open failed.
        if (!outcome.cause.empty()) WriteOutFormat(" (%s)", outcome.cause.c_str());
        WriteOut("\n");
    }
    return true;
}

// The systems of the listing one after the other, in this process. Returns false, with the
// message, when a system ends the run.
bool RunListedSystems(RunContext &run, TextBase &error) {
    FixedText<255> entry;
    for (;;) {
        {
            OutputGuard guard; // the deadline finds it under way
            if (!TakeListingEntry(run.listing.serverListing, run.listing.next, entry)) return true;
            run.systemInProgress = true;
        }
        RunListedSystem(run, entry);
        if (!WriteOutcome(run, run.outcome, error)) return false;
    }
}

// PARALLEL=n: a few workers, each a process of its own (the RFC library is not assumed to be
// thread-safe) started once, are sent the listing's entries one by one and answer with each
// system's outcome over their pipes; the outcomes are written strictly in listing order, so
// document, counters and state lines are those of the loop in this process.

// How far the workers may run ahead of the oldest system not yet written.
constexpr uint32_t kMaxAhead = 128;
// How long every worker may be busy, with entries waiting, before the pool grows by one.
constexpr uint64_t kGrowAfterMs = 2;

struct PendingSystem {
    FixedText<255> entry;
    bool finished = false;
    SystemOutcome outcome;
};

struct WorkerPool {
    Worker workers[kMaxWorkers];
    int64_t busyWith[kMaxWorkers] = {}; // the entry a worker is at, or -1
    uint32_t count = 0;
    PendingSystem pending[kMaxAhead];
    uint32_t handedOut = 0; // entries sent so far
    uint32_t written = 0;   // entries written so far
    size_t next = 0;        // where the next entry to hand out stands in the listing
};

// The pool is large: one for the process, built on first use.
WorkerPool &Pool() {
    static WorkerPool pool;
    return pool;
}

// What a worker needs to know once: the options in force and where the profiles and the item are.
void BuildSetupFrame(const RunContext &run, TextBase &frame) {
    frame.Clear();
    AppendFrameField(frame, 'A', run.itemText.asGiven);
    AppendFrameField(frame, 'U', run.itemText.upper);
    AppendFrameField(frame, 'P', run.location.directory);
    AppendFrameField(frame, 'I', run.listing.itemName);
    AppendFrameField(frame, 'H', &run.listing.channelNameChoice, 1);
    AppendFrameField(frame, 'V', run.commandOptions.verbose ? "1" : "0", 1);
}

bool StartPoolWorker(RunContext &run, Worker &worker) {
    if (!StartWorker(worker)) return false;
    static FixedText<4095> frame;
    BuildSetupFrame(run, frame);
    return SendFrame(worker, frame);
}

// The outcome of a system whose worker ended or answered nonsense: that system failed, and only it.
void WorkerFailedOutcome(const PendingSystem &system, SystemOutcome &outcome) {
    outcome = SystemOutcome();
    outcome.state = SystemState::RfcFailure;
    FixedText<8> now;
    TimeOfDay(now);
    outcome.systemLine.Format("* %s %s", now.c_str(), system.entry.c_str());
    FormatError(outcome.cause, ErrorId::WorkerWithoutResult, system.entry.c_str());
}

// Hands the next entries to idle workers, as far as the window allows.
void HandOutEntries(RunContext &run, WorkerPool &pool, uint32_t total) {
    static FixedText<511> frame;
    for (uint32_t w = 0; w < pool.count; ++w) {
        if (pool.workers[w].slot < 0 || pool.busyWith[w] >= 0) continue;
        if (pool.handedOut >= total || pool.handedOut >= pool.written + kMaxAhead) return;
        PendingSystem &system = pool.pending[pool.handedOut % kMaxAhead];
        system.finished = false;
        TakeListingEntry(run.listing.serverListing, pool.next, system.entry);
        frame.Clear();
        AppendFrameField(frame, 'E', system.entry);
        if (!SendFrame(pool.workers[w], frame)) {
            WorkerFailedOutcome(system, system.outcome);
            system.finished = true;
        } else {
            pool.busyWith[w] = pool.handedOut;
        }
        ++pool.handedOut;
    }
}

// Reads the answer of worker w into its system's place; a worker that ended or answered nonsense
// fails that system and is replaced.
void TakeAnswer(RunContext &run, WorkerPool &pool, uint32_t w) {
    static FixedText<kMaxFrameBytes> frame;
    int64_t index = pool.busyWith[w];
    bool answered = ReceiveFrame(pool.workers[w], frame);
    if (index < 0) {
        // Nothing was asked of it: whatever came, it is no worker to keep.
        StopWorker(pool.workers[w]);
        return;
    }
    PendingSystem &system = pool.pending[index % kMaxAhead];
    pool.busyWith[w] = -1;
    system.finished = true;
    if (answered && DecodeOutcome(frame, system.outcome)) {
        // A worker the library ended (its failure handler) has answered for the last time.
        if (system.outcome.libraryFailed) StopWorker(pool.workers[w]);
        return;
    }
    WorkerFailedOutcome(system, system.outcome);
    StopWorker(pool.workers[w]);
    StartPoolWorker(run, pool.workers[w]);
}

bool LiveWorkers(const WorkerPool &pool) {
    for (uint32_t w = 0; w < pool.count; ++w)
        if (pool.workers[w].slot >= 0) return true;
    return false;
}

enum class PoolEnd { Done, RunEnds, NoWorkers };

// The system loop over the workers. Done when every entry is written; NoWorkers when none can be
// started or all have ended (the rest then runs in this process); RunEnds with the message.
PoolEnd RunListedSystemsInParallel(RunContext &run, TextBase &error) {
    WorkerPool &pool = Pool();
    pool.next = run.listing.next;
    uint32_t total = EntriesFrom(run, run.listing.next);
    uint32_t wanted = run.options.parallel < total ? run.options.parallel : total;
    if (wanted > kMaxWorkers) wanted = kMaxWorkers;
    // The pool grows as the systems keep the workers busy: systems that answer at once need few
    // workers, and each worker costs a process start and the library's binding.
    pool.count = 0;
    pool.busyWith[0] = -1;
    if (!StartPoolWorker(run, pool.workers[0])) return PoolEnd::NoWorkers;
    pool.count = 1;
    // The loop keeps the deadline itself: it writes every system that finished.
    MoveDeadline(UINT64_MAX);
    uint64_t deadline = run.startMs + run.options.timeoutSeconds * uint64_t{1000};
    while (pool.written < total) {
        HandOutEntries(run, pool, total);
        // Written in listing order, as far as the systems have finished.
        while (pool.written < pool.handedOut && pool.pending[pool.written % kMaxAhead].finished) {
            if (!WriteOutcome(run, pool.pending[pool.written % kMaxAhead].outcome, error)) {
                StopAllWorkers();
                return PoolEnd::RunEnds;
            }
            ++pool.written;
        }
        if (pool.written == total) break;
        if (pool.written == pool.handedOut && !LiveWorkers(pool)) {
            // Every worker has ended: the rest runs in this process, under the deadline watch.
            run.listing.next = pool.next;
            MoveDeadline(deadline);
            return PoolEnd::NoWorkers;
        }
        // Every worker is busy and entries wait: one more worker unless an answer comes soon.
        bool grow = pool.count < wanted && pool.handedOut < total && pool.handedOut < pool.written + kMaxAhead;
        uint64_t now = MonotonicMilliseconds();
        uint64_t until = grow && now + kGrowAfterMs < deadline ? now + kGrowAfterMs : deadline;
        int32_t ready = WaitForAnswer(pool.workers, pool.count, until);
        if (ready >= 0) {
            TakeAnswer(run, pool, static_cast<uint32_t>(ready));
            continue;
        }
        if (MonotonicMilliseconds() < deadline) {
            if (grow) {
                pool.busyWith[pool.count] = -1;
                if (StartPoolWorker(run, pool.workers[pool.count])) {
                    ++pool.count;
                } else {
                    wanted = pool.count; // no more processes to be had: the pool stays as it is
                }
            }
            continue;
        }
        // The deadline: what finished is written in its place, whatever stands before it.
        OutputGuard guard;
        uint32_t unfinished = total - pool.handedOut;
        for (uint32_t k = pool.written; k < pool.handedOut; ++k) {
            PendingSystem &system = pool.pending[k % kMaxAhead];
            if (!system.finished) {
                ++unfinished;
                continue;
            }
            if (!WriteOutcome(run, system.outcome, error)) {
                StopAllWorkers();
                return PoolEnd::RunEnds;
            }
        }
        EndItemModeAtDeadline(run, unfinished);
    }
    StopAllWorkers();
    run.listing.next = run.listing.serverListing.size();
    return PoolEnd::Done;
}

bool RunItemMode(RunContext &run, FILE *listingFile, TextBase &error) {
    if (!PrepareListing(listingFile, run.location, run.commandOptions, run.argument2, run.listing, error))
        return false;

    // From here on the options are item mode's: the sensor definition's for GLOBAL.
    OptionText &itemText = run.itemText;
    itemText.asGiven.Assign(run.listing.optionsReplaced ? run.listing.optionTextAsGiven : run.commandLine.asGiven);
    itemText.upper.Assign(itemText.asGiven);
    itemText.upper.ToUpper();
    ItemModeOptionText(itemText.asGiven);
    ParseOptions(itemText.upper, itemText.asGiven, run.options);
    if (!CheckOptions(run.options, error)) return false;
    // PRTG's credentials serve every listed system: without them no system could log on.
    if (!PrtgCredentialsGiven(run.options.logon, error)) return false;
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
    if (run.options.parallel > 1) {
        PoolEnd end = RunListedSystemsInParallel(run, error);
        if (end == PoolEnd::RunEnds) return false;
        if (end == PoolEnd::NoWorkers && run.commandOptions.verbose)
            WriteOut("\n* No process of its own: the systems run in this one\n");
    }
    if (!RunListedSystems(run, error)) return false;

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
        if (BuildItemHealthChannel(health, run.options.space, run.listing.itemName.c_str(), tally,
                                   ChannelsLeftOut())) {
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

// A worker of PARALLEL=n: told once what the parent runs with, it runs the entries it is sent and
// answers each with the system's outcome, until the parent closes the pipe.
[[noreturn]] void ServeParent(RunContext &run) {
    BindWorkerToParent();
    run.worker = true;
    static FixedText<kMaxFrameBytes> frame;
    FixedText<255> field;
    FixedText<1> choice;
    FixedText<1> verbose;
    size_t at = 0;
    char tag = 0;
    bool setup = ReadRequestFrame(frame) && TakeFrameField(frame, at, tag, run.itemText.asGiven) && tag == 'A' &&
                 TakeFrameField(frame, at, tag, run.itemText.upper) && tag == 'U' &&
                 TakeFrameField(frame, at, tag, run.location.directory) && tag == 'P' &&
                 TakeFrameField(frame, at, tag, run.listing.itemName) && tag == 'I' &&
                 TakeFrameField(frame, at, tag, choice) && tag == 'H' && TakeFrameField(frame, at, tag, verbose) &&
                 tag == 'V';
    if (!setup) EndProcess(2);
    ParseOptions(run.itemText.upper, run.itemText.asGiven, run.options);
    run.commandOptions.verbose = verbose.Equals("1");
    run.listing.channelNameChoice = choice[0];
    run.itemMode = true;
    ConfigureEventLog(run.options.eventLog);
    ConfigureRfcSteps(kLockWaitMs);
    CaptureEventLines(&run.outcome.eventLines);
    static FixedText<kMaxOutcomeFrame> answer;
    while (ReadRequestFrame(frame)) {
        at = 0;
        if (!TakeFrameField(frame, at, tag, field) || tag != 'E' || at != frame.size()) EndProcess(2);
        run.systemInProgress = true;
        RunListedSystem(run, field);
        run.systemInProgress = false;
        EncodeOutcome(run.outcome, answer);
        if (!WriteAnswerFrame(answer)) break;
    }
    CloseConnection(run);
    EndProcess(0);
}

} // namespace

void RunSensor(int argc, char **argv, RunEnd &end) {
    SetLibraryFailureEnd(EndWithLibraryFailure);
    if (IsWorkerProcess()) ServeParent(currentRun);
    bool succeeded = Run(currentRun, argc, argv, end.error);
    {
        OutputGuard guard;
        currentRun.itemDocumentStarted = false; // ended: the deadline has nothing more to finish
        MoveDeadline(UINT64_MAX);
    }
    CloseConnection(currentRun);
    if (succeeded) end.error.Clear();
    end.status = succeeded ? 0 : 2;
}
