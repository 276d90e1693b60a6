// The operations of the RFC library interface, answered by the simulated landscape.
//
// No exception leaves an operation: each runs its work inside Protected, which turns anything thrown
// into a recorded failure and the operation's failure result. The error handler is called last, after
// the operation's own state is settled, since the handler usually ends the process.
#include "Destinations.h"
#include "Failure.h"
#include "FaultPlan.h"
#include "FunctionModules.h"
#include "InternalTables.h"
#include "Landscape.h"
#include "Layout.h"
#include "Platform.h"
#include "Text.h"
#include "rfc/RfcLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>

namespace sapsim {
namespace {

constexpr std::size_t kMaxListEntries = 10000;
constexpr std::uint32_t kMaxParameterLength = 1u << 20;

struct Connection {
    System system;
    bool callPending = false;
    std::string pendingFunction;
};

struct Library {
    RFC_ERROR_HANDLER handler = nullptr;
    std::map<RFC_HANDLE, Connection> connections;
    RFC_HANDLE nextHandle = 1;
    std::string exceptionText; // what RfcReceive's exception pointer points to
};

Library &State() {
    static Library library;
    return library;
}

// What an operation did: its result and whether the connection broke inside it.
template <class T> struct Outcome {
    T result;
    bool broken = false;
};

template <class T, class Body> Outcome<T> Protected(T failure, Body &&body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        try {
            RecordFailure(ErrorKind::System, "out of memory");
        } catch (...) {
        }
    } catch (const std::exception &error) {
        try {
            RecordFailure(ErrorKind::System, std::string("internal error: ") + error.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            RecordFailure(ErrorKind::System, "internal error");
        } catch (...) {
        }
    }
    return {failure, false};
}

// Calls the registered error handler for a broken connection; it usually does not return.
template <class T> T Finish(const Outcome<T> &outcome, const char *operation) {
    if (outcome.broken) {
        RFC_ERROR_HANDLER handler = State().handler;
        if (handler != nullptr) handler(operation);
    }
    return outcome.result;
}

std::string MessageOr(const std::optional<std::string> &custom, std::string fallback) {
    return custom ? *custom : std::move(fallback);
}

Connection *FindConnection(RFC_HANDLE handle) {
    auto found = State().connections.find(handle);
    return found == State().connections.end() ? nullptr : &found->second;
}

// Breaks the connection: it is gone, and the error handler is due. The message may belong to the
// connection, so it is used before the connection goes.
template <class T> Outcome<T> Break(RFC_HANDLE handle, const std::optional<std::string> &message, T failure) {
    RecordFailure(ErrorKind::Communication, MessageOr(message, "connection to partner broken"));
    State().connections.erase(handle);
    return {failure, true};
}

// ---- Opening -------------------------------------------------------------------------------------

struct Logon {
    std::string client;
    std::string user;
    std::string password;
};

struct Opened {
    RFC_HANDLE handle = 0;
    ErrorKind kind = ErrorKind::System; // of the failure when the handle is 0
};

bool LogonAccepted(const System &system, const Logon &logon) {
    if (system.client && TrimRight(*system.client) != TrimRight(logon.client)) return false;
    if (!system.users) return true;
    std::string_view user = TrimRight(logon.user);
    for (const auto &[name, password] : *system.users) {
        if (TrimRight(name) == user) return TrimRight(password) == TrimRight(logon.password);
    }
    return false;
}

// Every logon the system was asked for, one line each appended to "SapSim.Logons" of the working
// directory when that file is there, so a test can count them across runs (SAP counts refused ones
// towards locking the user). The line names the address, client and user and the answer; never
// the password.
void RecordLogonAttempt(const Address &address, const Logon &logon, bool accepted) {
    std::FILE *present = std::fopen("SapSim.Logons", "rb");
    if (present == nullptr) return;
    std::fclose(present);
    std::string line = (address.gateway ? address.host + ":" + address.service
                                        : address.host + "/" + std::to_string(address.sysnr)) +
                       " client " + std::string(TrimRight(logon.client)) + " user " +
                       std::string(TrimRight(logon.user)) + (accepted ? ": accepted\n" : ": refused\n");
    if (std::FILE *file = std::fopen("SapSim.Logons", "ab")) {
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    }
}

Outcome<Opened> Refuse(ErrorKind kind, const std::string &message, bool broken = false) {
    RecordFailure(kind, message);
    return {{0, kind}, broken};
}

Outcome<Opened> OpenAddress(const Address &address, const Logon &logon) {
    std::optional<Landscape> landscape;
    try {
        landscape = LoadLandscape();
    } catch (const LandscapeError &error) {
        return Refuse(ErrorKind::System, error.what());
    }
    if (!landscape) return Refuse(ErrorKind::Communication, UnreachableMessage(address));
    const System *system = address.gateway ? FindByGateway(*landscape, address.host, address.service)
                                           : FindByServer(*landscape, address.host, address.sysnr);
    if (system == nullptr) return Refuse(ErrorKind::Communication, UnreachableMessage(address));
    TraceLinesInUse trace(system->faults.trace ? &*system->faults.trace : nullptr);

    SleepMilliseconds(system->latencyMs);
    const Faults &faults = system->faults;
    SleepMilliseconds(faults.openHangMs);
    if (faults.open == OpenFault::Unreachable) {
        return Refuse(ErrorKind::Communication, MessageOr(faults.openMessage, UnreachableMessage(address)));
    }
    // A library that takes the whole process down with it, as a broken client library can.
    if (faults.open == OpenFault::Crash) std::_Exit(134);
    if (faults.open == OpenFault::Abort) {
        return Refuse(ErrorKind::Communication, MessageOr(faults.openMessage, "connection to partner broken"),
                      true);
    }
    bool accepted = LogonAccepted(*system, logon);
    RecordLogonAttempt(address, logon, accepted);
    if (!accepted) return Refuse(ErrorKind::Logon, "Name or password is incorrect (repeat logon)");

    Library &library = State();
    while (library.nextHandle == 0 || library.connections.count(library.nextHandle))
        ++library.nextHandle;
    RFC_HANDLE handle = library.nextHandle++;
    library.connections[handle].system = *system;
    return {{handle, ErrorKind::System}, false};
}

Outcome<Opened> OpenWithOptions(const RFC_OPTIONS *options) {
    if (options == nullptr) return Refuse(ErrorKind::System, "RfcOpen: no open options");
    Address address;
    if (options->mode == RFC_MODE_SERVER) {
        const auto *server = static_cast<const RFC_CONNOPT_SERVER *>(options->connopt);
        if (server == nullptr) return Refuse(ErrorKind::System, "RfcOpen: no application-server options");
        address.host = FromCaller(server->hostname);
        address.sysnr = server->sysnr;
    } else if (options->mode == RFC_MODE_GATEWAY) {
        const auto *gateway = static_cast<const RFC_CONNOPT_GATEWAY *>(options->connopt);
        if (gateway == nullptr) return Refuse(ErrorKind::System, "RfcOpen: no gateway options");
        address.gateway = true;
        address.host = FromCaller(gateway->gateway_host);
        address.service = FromCaller(gateway->gateway_service);
    } else {
        return Refuse(ErrorKind::System,
                      "RfcOpen: connection mode " + std::to_string(options->mode) + " is not supported");
    }
    Logon logon{std::string(FromCaller(options->client)), std::string(FromCaller(options->user)),
                std::string(FromCaller(options->password))};
    return OpenAddress(address, logon);
}

Outcome<Opened> OpenWithConnectString(const char *connect) {
    ConnectString parsed;
    Address address;
    try {
        parsed = ParseConnectString(FromCaller(connect));
        address = parsed.destination ? ResolveDestination(*parsed.destination) : *parsed.address;
    } catch (const DestinationError &error) {
        return Refuse(ErrorKind::System, error.what());
    }
    return OpenAddress(address, {parsed.client, parsed.user, parsed.password});
}

// ---- Faults that act while a system is connected ------------------------------------------------

// The first open connection whose system has this internal-table fault.
const Faults *TableFault(TableOperation operation) {
    for (const auto &[handle, connection] : State().connections) {
        const Faults &faults = connection.system.faults;
        if (faults.itable == operation) return &faults;
    }
    return nullptr;
}

const Faults *InstallFault(std::string_view structure) {
    for (const auto &[handle, connection] : State().connections) {
        const Faults &faults = connection.system.faults;
        if (faults.install && *faults.install == structure) return &faults;
    }
    return nullptr;
}

// ---- Calls ---------------------------------------------------------------------------------------

const CallFault *FindCallFault(const Connection &connection, std::string_view function) {
    const auto &calls = connection.system.faults.calls;
    auto found = calls.find(function);
    return found == calls.end() ? nullptr : &found->second;
}

std::string InvalidHandle(const char *operation, RFC_HANDLE handle) {
    return std::string(operation) + ": invalid connection handle " + std::to_string(handle);
}

Outcome<int> Call(RFC_HANDLE handle, const char *functionName) {
    Connection *connection = FindConnection(handle);
    if (connection == nullptr) {
        RecordFailure(ErrorKind::System, InvalidHandle("RfcCall", handle));
        return {RFC_FAILURE};
    }
    std::string function(FromCaller(functionName));
    connection->callPending = false;
    if (function.empty()) {
        RecordFailure(ErrorKind::System, "RfcCall: no function module named");
        return {RFC_FAILURE};
    }
    // One round trip is one latency: it is charged when the answer is received.
    const Faults &faults = connection->system.faults;
    TraceLinesInUse trace(faults.trace ? &*faults.trace : nullptr);
    if (const CallFault *fault = FindCallFault(*connection, function)) {
        if (fault->abort == AbortPoint::InCall) return Break(handle, fault->message, int{RFC_FAILURE});
        if (fault->callResult != 0) {
            RecordFailure(ErrorKind::System,
                          MessageOr(fault->message, "RfcCall of " + function + " failed with " +
                                                        std::to_string(fault->callResult)));
            return {fault->callResult};
        }
    }
    connection->callPending = true;
    connection->pendingFunction = function;
    return {RFC_OK};
}

void PointAtException(char **exception, const std::string &text) {
    Library &library = State();
    library.exceptionText = text;
    if (exception != nullptr) *exception = library.exceptionText.data();
}

// Checks every parameter and table entry before anything is written.
std::optional<std::string> ListProblem(const std::string &function, const RFC_PARAMETER *importing,
                                       const RFC_TABLE *tables, const Answer &answer) {
    for (std::size_t i = 0; importing != nullptr && importing[i].name != nullptr; ++i) {
        if (i >= kMaxListEntries) return function + ": parameter list without an end";
        const RFC_PARAMETER &entry = importing[i];
        std::string name(NameFromCaller(entry.name, entry.nlen));
        if (!IsKnownType(entry.type)) {
            return function + ": parameter " + name + " has the unknown type " + std::to_string(entry.type);
        }
        if (entry.leng > kMaxParameterLength) {
            return function + ": parameter " + name + " has the unsupported length " +
                   std::to_string(entry.leng);
        }
    }
    for (std::size_t i = 0; tables != nullptr && tables[i].name != nullptr; ++i) {
        if (i >= kMaxListEntries) return function + ": table list without an end";
        const RFC_TABLE &entry = tables[i];
        std::string name(NameFromCaller(entry.name, entry.nlen));
        if (answer.tables.find(name) == answer.tables.end()) continue;
        if (!IsKnownType(entry.type)) {
            return function + ": table " + name + " has the unknown type " + std::to_string(entry.type);
        }
        if (FindTable(entry.ithandle) == nullptr)
            return function + ": table " + name + " has no internal table";
    }
    return std::nullopt;
}

void Deliver(const RFC_PARAMETER *importing, const RFC_TABLE *tables, const Answer &answer) {
    for (std::size_t i = 0; importing != nullptr && importing[i].name != nullptr; ++i) {
        const RFC_PARAMETER &entry = importing[i];
        auto found = answer.parameters.find(NameFromCaller(entry.name, entry.nlen));
        if (found == answer.parameters.end() || entry.addr == nullptr) continue;
        std::vector<std::uint8_t> bytes = Encode(found->second, entry.type, entry.leng);
        std::memcpy(entry.addr, bytes.data(), std::min<std::size_t>(bytes.size(), entry.leng));
    }
    for (std::size_t i = 0; tables != nullptr && tables[i].name != nullptr; ++i) {
        const RFC_TABLE &entry = tables[i];
        auto found = answer.tables.find(NameFromCaller(entry.name, entry.nlen));
        if (found == answer.tables.end()) continue;
        InternalTable *table = FindTable(entry.ithandle);
        for (const Row &row : found->second) {
            if (row.isRaw) {
                table->Append(row.bytes.data(), row.bytes.size());
            } else {
                std::vector<std::uint8_t> bytes =
                    Encode(Value::Of(row.record), entry.type, table->RowLength());
                table->Append(bytes.data(), bytes.size());
            }
        }
    }
}

Outcome<int> Receive(RFC_HANDLE handle, RFC_PARAMETER *importing, RFC_TABLE *tables, char **exception) {
    Connection *connection = FindConnection(handle);
    if (connection == nullptr) {
        RecordFailure(ErrorKind::System, InvalidHandle("RfcReceive", handle));
        return {RFC_FAILURE};
    }
    if (!connection->callPending) {
        RecordFailure(ErrorKind::System, "RfcReceive: no call to receive");
        return {RFC_FAILURE};
    }
    connection->callPending = false;
    std::string function = connection->pendingFunction;
    SleepMilliseconds(connection->system.latencyMs);
    const Faults &faults = connection->system.faults;
    TraceLinesInUse trace(faults.trace ? &*faults.trace : nullptr);

    if (const CallFault *fault = FindCallFault(*connection, function)) {
        if (fault->abort == AbortPoint::InReceive) return Break(handle, fault->message, int{RFC_FAILURE});
        if (fault->outcome == RFC_EXCEPTION) {
            AppendTraceLinesInUse();
            PointAtException(exception, fault->exception.value_or("EXCEPTION"));
            return {RFC_EXCEPTION};
        }
        if (fault->outcome == RFC_SYS_EXCEPTION) {
            std::string text = fault->exception.value_or("SYSTEM_FAILURE");
            RecordFailure(ErrorKind::System,
                          MessageOr(fault->message, function + " raised the system exception " + text));
            PointAtException(exception, text);
            return {RFC_SYS_EXCEPTION};
        }
        if (fault->outcome != RFC_OK) {
            RecordFailure(ErrorKind::System, MessageOr(fault->message, function + " failed with outcome " +
                                                                           std::to_string(fault->outcome)));
            return {fault->outcome};
        }
    }

    Answer answer;
    if (!AnswerCall(function, connection->system, answer)) {
        RecordFailure(ErrorKind::System, "function module " + function + " not found");
        PointAtException(exception, "FUNCTION_NOT_FOUND");
        return {RFC_SYS_EXCEPTION};
    }
    if (std::optional<std::string> problem = ListProblem(function, importing, tables, answer)) {
        RecordFailure(ErrorKind::System, *problem);
        return {RFC_FAILURE};
    }
    Deliver(importing, tables, answer);
    return {RFC_OK};
}

// ---- Structures and internal tables ----------------------------------------------------------

Outcome<int> Install(const char *name, RFC_TYPE_ELEMENT *elements, unsigned count, RFC_TYPEHANDLE *handle) {
    std::string structure(FromCaller(name));
    if (handle == nullptr) {
        RecordFailure(ErrorKind::System, "RfcInstallStructure: no place for the handle of " + structure);
        return {1};
    }
    if (const Faults *faults = InstallFault(structure)) {
        RecordFailure(ErrorKind::System,
                      MessageOr(faults->installMessage, "structure " + structure + " cannot be installed"));
        return {1};
    }
    Installation installation = InstallStructure(structure, elements, count);
    if (!installation.installed) {
        RecordFailure(ErrorKind::System, "RfcInstallStructure: " + installation.problem);
        return {1};
    }
    *handle = installation.handle;
    return {0};
}

std::string TableFaultMessage(const Faults &faults, const char *operation, const std::string &table) {
    return MessageOr(faults.itableMessage,
                     std::string(operation) + " of internal table " + table + " failed");
}

Outcome<ITAB_H> Create(const char *name, unsigned length) {
    std::string table(FromCaller(name));
    if (const Faults *faults = TableFault(TableOperation::Create)) {
        RecordFailure(ErrorKind::System, TableFaultMessage(*faults, "ItCreate", table));
        return {nullptr};
    }
    if (length == 0 || length > kMaxTableRowLength) {
        RecordFailure(ErrorKind::System, "ItCreate: row length " + std::to_string(length) +
                                             " of internal table " + table + " is not supported");
        return {nullptr};
    }
    return {CreateTable(table, length)};
}

Outcome<void *> GetLine(ITAB_H handle, unsigned line) {
    InternalTable *table = FindTable(handle);
    if (table == nullptr) {
        RecordFailure(ErrorKind::System, "ItGetLine: invalid internal table");
        return {nullptr};
    }
    if (const Faults *faults = TableFault(TableOperation::GetLine)) {
        RecordFailure(ErrorKind::System, TableFaultMessage(*faults, "ItGetLine", table->Name()));
        return {nullptr};
    }
    return {table->Line(line)};
}

Outcome<int> Delete(ITAB_H handle) {
    InternalTable *table = FindTable(handle);
    if (table == nullptr) {
        RecordFailure(ErrorKind::System, "ItDelete: invalid internal table");
        return {1};
    }
    if (const Faults *faults = TableFault(TableOperation::Delete)) {
        RecordFailure(ErrorKind::System, TableFaultMessage(*faults, "ItDelete", table->Name()));
        return {1};
    }
    DeleteTable(handle);
    return {0};
}

// ---- The fault plan ----------------------------------------------------------------------------

// A failure the plan injects: recorded like any failure (trace block, last error). In the abort
// mode the connection named, if any, breaks and the error handler is due.
template <class T> Outcome<T> Injected(FailMode mode, const char *operation, T failure, RFC_HANDLE handle = 0) {
    std::string message = std::string("call of ") + operation + " failed (fault plan)";
    if (mode == FailMode::Abort) return Break(handle, message, failure);
    RecordFailure(ErrorKind::System, message);
    return {failure, false};
}

// The plan's failure of an operation, answered with `failure` (for an operation without a failure
// result, the result it has anyway); in the abort mode the error handler is called.
template <class T> T InjectFailure(FailMode mode, const char *operation, T failure, RFC_HANDLE handle = 0) {
    return Finish(Protected(failure, [&] { return Injected(mode, operation, failure, handle); }), operation);
}

} // namespace
} // namespace sapsim

using namespace sapsim;

extern "C" {

// Every operation counts its call for the fault plan first. What failing means where an operation
// has no failure result: RfcEnvironment keeps the handler it had, RfcLastError hands back an empty
// record, RfcClose leaves the connection open, ItFill answers 0 (the table looks empty).

RFC_API void RFC_CALL RfcEnvironment(RFC_ENV *environment) {
    RFC_ERROR_HANDLER handler = environment == nullptr ? nullptr : environment->errorhandler;
    if (std::optional<FailMode> mode = PlannedFailure("RfcEnvironment")) {
        if (*mode == FailMode::Abort) State().handler = handler;
        InjectFailure(*mode, "RfcEnvironment", 0);
        return;
    }
    State().handler = handler;
}

RFC_API RFC_HANDLE RFC_CALL RfcOpen(RFC_OPTIONS *options) {
    if (std::optional<FailMode> mode = PlannedFailure("RfcOpen"))
        return InjectFailure(*mode, "RfcOpen", RFC_HANDLE{0});
    Outcome<Opened> opened = Protected(Opened{}, [&] { return OpenWithOptions(options); });
    return Finish(Outcome<RFC_HANDLE>{opened.result.handle, opened.broken}, "RfcOpen");
}

RFC_API RFC_HANDLE RFC_CALL RfcOpenEx(const char *connect, RFC_ERROR_INFO_EX *error) {
    if (error != nullptr) std::memset(error, 0, sizeof *error);
    if (std::optional<FailMode> mode = PlannedFailure("RfcOpenEx")) {
        return InjectFailure(*mode, "RfcOpenEx", RFC_HANDLE{0});
    }
    Outcome<Opened> opened = Protected(Opened{}, [&] { return OpenWithConnectString(connect); });
    if (error != nullptr && opened.result.handle == 0) {
        const LastError &lastError = CurrentLastError();
        error->group = ErrorGroup(opened.result.kind);
        CopyToField(error->key, sizeof error->key, lastError.key);
        CopyToField(error->message, sizeof error->message, lastError.message);
    }
    return Finish(Outcome<RFC_HANDLE>{opened.result.handle, opened.broken}, "RfcOpenEx");
}

RFC_API int RFC_CALL RfcInstallStructure(const char *name, RFC_TYPE_ELEMENT *elements, unsigned count,
                                         RFC_TYPEHANDLE *handle) {
    if (std::optional<FailMode> mode = PlannedFailure("RfcInstallStructure")) {
        return InjectFailure(*mode, "RfcInstallStructure", 1);
    }
    return Protected(1, [&] { return Install(name, elements, count, handle); }).result;
}

RFC_API int RFC_CALL RfcCall(RFC_HANDLE handle, const char *function, RFC_PARAMETER *, RFC_TABLE *) {
    if (std::optional<FailMode> mode = PlannedFailure("RfcCall")) {
        return InjectFailure(*mode, "RfcCall", int{RFC_FAILURE}, handle);
    }
    return Finish(Protected(int{RFC_FAILURE}, [&] { return Call(handle, function); }), "RfcCall");
}

RFC_API int RFC_CALL RfcReceive(RFC_HANDLE handle, RFC_PARAMETER *importing, RFC_TABLE *tables,
                                char **exception) {
    if (std::optional<FailMode> mode = PlannedFailure("RfcReceive")) {
        return InjectFailure(*mode, "RfcReceive", int{RFC_FAILURE}, handle);
    }
    return Finish(Protected(int{RFC_FAILURE}, [&] { return Receive(handle, importing, tables, exception); }),
                  "RfcReceive");
}

RFC_API void RFC_CALL RfcLastError(RFC_ERROR_INFO *error) {
    std::optional<FailMode> mode = PlannedFailure("RfcLastError");
    if (mode && *mode == FailMode::Abort) InjectFailure(*mode, "RfcLastError", 0);
    if (error == nullptr) return;
    if (mode && *mode == FailMode::Return) {
        std::memset(error, 0, sizeof *error);
        return;
    }
    const LastError &lastError = CurrentLastError();
    CopyToField(error->key, sizeof error->key, lastError.key);
    CopyToField(error->status, sizeof error->status, lastError.status);
    CopyToField(error->message, sizeof error->message, lastError.message);
    CopyToField(error->intstat, sizeof error->intstat, lastError.internalStatus);
}

RFC_API void RFC_CALL RfcClose(RFC_HANDLE handle) {
    if (std::optional<FailMode> mode = PlannedFailure("RfcClose")) {
        // Returned, the connection stays open; in the abort mode Break() closes it before the
        // handler is called.
        InjectFailure(*mode, "RfcClose", 0, handle);
        return;
    }
    Protected(0, [&] {
        State().connections.erase(handle);
        return Outcome<int>{0};
    });
}

RFC_API ITAB_H RFC_CALL ItCreate(const char *name, unsigned leng, unsigned, unsigned) {
    if (std::optional<FailMode> mode = PlannedFailure("ItCreate"))
        return InjectFailure(*mode, "ItCreate", ITAB_H{nullptr});
    return Protected(ITAB_H{nullptr}, [&] { return Create(name, leng); }).result;
}

RFC_API unsigned RFC_CALL ItFill(ITAB_H table) {
    if (std::optional<FailMode> mode = PlannedFailure("ItFill")) return InjectFailure(*mode, "ItFill", 0u);
    InternalTable *found = FindTable(table);
    return found == nullptr ? 0 : static_cast<unsigned>(found->Fill());
}

RFC_API void *RFC_CALL ItGetLine(ITAB_H table, unsigned line) {
    if (std::optional<FailMode> mode = PlannedFailure("ItGetLine")) {
        return InjectFailure(*mode, "ItGetLine", static_cast<void *>(nullptr));
    }
    return Protected(static_cast<void *>(nullptr), [&] { return GetLine(table, line); }).result;
}

RFC_API int RFC_CALL ItDelete(ITAB_H table) {
    if (std::optional<FailMode> mode = PlannedFailure("ItDelete"))
        return InjectFailure(*mode, "ItDelete", 1);
    return Protected(1, [&] { return Delete(table); }).result;
}

} // extern "C"
