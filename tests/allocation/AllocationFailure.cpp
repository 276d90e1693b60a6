// Every allocation of the stand-in library fails in turn: no exception may leave it, so no
// allocation failure may end the process (std::terminate, abort) or crash it.
//
// One child process per allocation number N: the child runs a whole session through the library
// (landscape parsing, opens by options and by destination, structures, both function modules,
// internal tables, the last error, a fault through the error handler) with its Nth allocation
// failing (and, in a second walk, every allocation from the Nth on). The parent checks that the
// child ended by itself, and walks on until a child no longer reaches N.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "rfc/RfcLibrary.h"
#include "rfc/Structures.h"

namespace {

long failAt = 0;          // the allocation that fails (0: none)
bool failFromThenOn = false;
long allocations = 0;

void *Allocate(std::size_t size) {
    ++allocations;
    if (failAt != 0 && (allocations == failAt || (failFromThenOn && allocations > failAt))) throw std::bad_alloc();
    void *memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

} // namespace

void *operator new(std::size_t size) { return Allocate(size); }
void *operator new[](std::size_t size) { return Allocate(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void *memory) noexcept { std::free(memory); }
void operator delete[](void *memory) noexcept { std::free(memory); }
void operator delete(void *memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void *memory, std::size_t) noexcept { std::free(memory); }

namespace {

const char *kLandscape = R"({"comment": "allocation failures", "systems": [
  {"ashost": "sapprd", "sysnr": "00", "client": "100", "users": {"MONITOR": "secret"},
   "sysinfo": {"RFCSYSID": "PRD", "RFCDBHOST": "oraprd", "RFCSAPRL": 750},
   "tablespaces": [{"name": "PSAPSR3", "size_kb": 1000000, "free_kb": 255555, "pct_used": 75},
                   {"name": "PSAPUNDO", "size_kb": 2500000, "free_kb": 499999}],
   "rows": ["50 53 41 50 42 52 4F 4B 45 4E"], "date": "20240131", "time": "235959"},
  {"gwhost": "gwprd", "gwserv": "sapgw00", "faults": {"RFC_SYSTEM_INFO": {"abort": "RfcCall"},
   "trace": ["**** ERROR x", "ERROR       y"]}}
]})";

const char *kDestinations = "DEST=PRD\nTYPE=A\nASHOST=sapprd\nSYSNR=00\n\nDEST=GW\nTYPE=R\nGWHOST=gwprd\nGWSERV=sapgw00\n";

int handlerCalls = 0;
void RFC_CALL CountingHandler(const char *) { ++handlerCalls; }

template <std::size_t N> RFC_TYPEHANDLE Install(const char *name, const RFC_TYPE_ELEMENT (&description)[N]) {
    RFC_TYPE_ELEMENT elements[N];
    for (std::size_t i = 0; i < N; ++i)
        elements[i] = description[i];
    RFC_TYPEHANDLE handle = 0;
    RfcInstallStructure(name, elements, N, &handle);
    return handle;
}

void Evaluate(RFC_HANDLE handle, RFC_TYPEHANDLE rfcsi, RFC_TYPEHANDLE dateTime, RFC_TYPEHANDLE tableXpc) {
    unsigned char record[200] = {};
    RFC_PARAMETER info[] = {{"RFCSI_EXPORT", 12, rfcsi, sizeof record, record}, {nullptr, 0, 0, 0, nullptr}};
    RFC_PARAMETER none[] = {{nullptr, 0, 0, 0, nullptr}};
    RFC_TABLE noTables[] = {{nullptr, 0, 0, 0, nullptr, 0, 0}};
    char *exception = nullptr;
    if (RfcCall(handle, "RFC_SYSTEM_INFO", none, noTables) == RFC_OK) RfcReceive(handle, info, noTables, &exception);

    ITAB_H table = ItCreate("TS", 112, 0, 0);
    char date[8];
    unsigned char dateTimeRecord[14];
    RFC_PARAMETER sizes[] = {{"CURR_DATE", 9, RFCTYPE_DATE, 8, date},
                             {"DATETIME", 8, dateTime, 14, dateTimeRecord},
                             {nullptr, 0, 0, 0, nullptr}};
    RFC_TABLE tables[] = {{"TS", 2, tableXpc, 0, table, 0, 0}, {nullptr, 0, 0, 0, nullptr, 0, 0}};
    if (RfcCall(handle, "DB_ORA_CURRENT_SIZES", none, tables) == RFC_OK) RfcReceive(handle, sizes, tables, &exception);
    RfcCall(handle, "NO_SUCH_MODULE", none, noTables);
    RfcReceive(handle, none, noTables, &exception);
    for (unsigned i = 1; i <= ItFill(table); ++i)
        ItGetLine(table, i);
    ItDelete(table);
}

void Session() {
    RFC_ENV environment{CountingHandler, nullptr};
    RfcEnvironment(&environment);
    RFC_TYPEHANDLE rfcsi = Install("RFCSI", rfc::kRfcsiDescription);
    RFC_TYPEHANDLE dateTime = Install("DATE_TIME", rfc::kDateTimeDescription);
    RFC_TYPEHANDLE tableXpc = Install("TABLE_XPC", rfc::kTableXpcDescription);

    RFC_CONNOPT_SERVER server{"sapprd", 0, nullptr, nullptr};
    RFC_OPTIONS options{"PRD", RFC_MODE_SERVER, &server, "100", "MONITOR     ", "secret    ", "E", 0};
    RFC_HANDLE handle = RfcOpen(&options);
    Evaluate(handle, rfcsi, dateTime, tableXpc);
    RfcClose(handle);

    RFC_ERROR_INFO_EX errorInfo{};
    handle = RfcOpenEx("CLIENT=100 USER=MONITOR PASSWD=secret LANG=D DEST=PRD", &errorInfo);
    Evaluate(handle, rfcsi, dateTime, tableXpc);
    RfcClose(handle);
    handle = RfcOpenEx("CLIENT=100 USER=MONITOR PASSWD=secret DEST=GW", &errorInfo);
    Evaluate(handle, rfcsi, dateTime, tableXpc); // the connection breaks: the handler is called
    RfcClose(handle);
    RfcOpenEx("CLIENT=100 broken", &errorInfo);

    RFC_ERROR_INFO error{};
    RfcLastError(&error);
    RfcClose(0);
}

// 0: the child ran without reaching its allocation; 1: it reached it and ended by itself.
int RunChild(long allocation, bool fromThenOn) {
    std::fflush(nullptr); // nothing buffered is written twice
    pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (child == 0) {
        failAt = allocation;
        failFromThenOn = fromThenOn;
        allocations = 0;
        Session();
        std::fflush(nullptr);
        _exit(allocations >= allocation ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "allocation %ld%s failing: the process died by signal %d\n", allocation,
                     fromThenOn ? " and every later one" : "", WTERMSIG(status));
        std::exit(1);
    }
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 1)) {
        std::fprintf(stderr, "allocation %ld%s failing: the process ended with status %d\n", allocation,
                     fromThenOn ? " and every later one" : "", WEXITSTATUS(status));
        std::exit(1);
    }
    return WEXITSTATUS(status);
}

} // namespace

int main() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sapsim-allocation-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 2;
    std::filesystem::current_path(pattern);
    std::ofstream("SapSim.json") << kLandscape;
    std::ofstream("SapRfc.ini") << kDestinations;
    // One session in this process with the given allocation failing, for a debugger.
    if (const char *one = std::getenv("SAPSIM_ALLOCATION_FAILS")) {
        failAt = std::atol(one);
        allocations = 0;
        Session();
        return 0;
    }

    long runs = 0;
    for (bool fromThenOn : {false, true}) {
        long allocation = 1;
        while (RunChild(allocation, fromThenOn) == 1) {
            ++allocation;
            ++runs;
        }
        ++runs;
        std::printf("%s: %ld allocations failed in turn, none ended the process\n",
                    fromThenOn ? "every allocation from the Nth on" : "the Nth allocation", allocation - 1);
    }
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(pattern);
    std::printf("%ld runs\n", runs);
    return 0;
}
