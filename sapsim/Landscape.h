// The simulated SAP landscape: the systems of "SapSim.json" with their data and faults.
#ifndef SAPSIM_LANDSCAPE_H
#define SAPSIM_LANDSCAPE_H

#include "Values.h"

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sapsim {

enum class OpenFault { None, Unreachable, Abort, Crash };
enum class TableOperation { Create, GetLine, Delete };
enum class AbortPoint { None, InCall, InReceive };

// Fault of one function module.
struct CallFault {
    std::int32_t callResult = 0; // RfcCall returns it when not 0
    std::int32_t outcome = 0;    // RfcReceive returns it when not 0
    std::optional<std::string> exception;
    AbortPoint abort = AbortPoint::None;
    std::optional<std::string> message;
};

struct Faults {
    OpenFault open = OpenFault::None;
    std::optional<std::string> openMessage;
    std::uint32_t openHangMs = 0; // "hang": how long the open waits before it fails
    std::optional<std::string> install; // name of the structure whose installation fails
    std::optional<std::string> installMessage;
    std::optional<TableOperation> itable;
    std::optional<std::string> itableMessage;
    std::map<std::string, CallFault, std::less<>> calls; // by function-module name
    // Lines written to the trace file instead of the usual block by every failure of an operation
    // on this system (also by an exception, which otherwise writes none).
    std::optional<std::vector<std::string>> trace;
};

struct Tablespace {
    std::string name;
    std::int64_t sizeKb = 0;
    std::int64_t freeKb = 0;
    std::optional<std::int64_t> pctUsed;
    std::string status = "ONLINE";  // STATUS
    std::int64_t autoextendKb = 0;  // TSAU, the size the tablespace may grow to, sent as text
    std::int32_t autoextendPct = 0; // TSAUPCT, the used share of that size
};

struct System {
    std::optional<std::string> ashost;
    std::int64_t sysnr = 0;
    std::optional<std::string> gwhost;
    std::optional<std::string> gwserv;
    std::optional<std::string> client;
    std::optional<std::map<std::string, std::string, std::less<>>> users; // user -> password
    Record sysinfo;
    std::vector<Tablespace> tablespaces;
    std::vector<std::vector<std::uint8_t>> rows;
    std::uint32_t latencyMs = 0;
    std::optional<std::string> date;
    std::optional<std::string> time;
    Faults faults;
};

struct Landscape {
    std::vector<System> systems;
};

// A landscape file that cannot be parsed or does not have the expected form; what() says where.
class LandscapeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char *kLandscapeFile = "SapSim.json";

// Reads the landscape file of the working directory; nothing when there is none.
std::optional<Landscape> LoadLandscape();

// Parses the text of a landscape file.
Landscape ParseLandscape(std::string_view text);

// The first system with this application server (host name in any letter case) and system number.
const System *FindByServer(const Landscape &landscape, std::string_view host, std::int64_t sysnr);

// The first system with this gateway host and service (both in any letter case).
const System *FindByGateway(const Landscape &landscape, std::string_view host, std::string_view service);

} // namespace sapsim

#endif
