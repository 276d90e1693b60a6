// Where a connection goes: the connect string of RfcOpenEx and the destinations of "SapRfc.ini".
#ifndef SAPSIM_DESTINATIONS_H
#define SAPSIM_DESTINATIONS_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sapsim {

// An application server (host and system number) or a gateway (host and service).
struct Address {
    bool gateway = false;
    std::string host;
    std::int64_t sysnr = 0;
    std::string service;
};

// "partner '<host>:sapgw<NN>' not reached" or "partner '<gateway host>:<service>' not reached".
std::string UnreachableMessage(const Address &address);

struct ConnectString {
    std::string client;
    std::string user;
    std::string password;
    std::optional<std::string> destination;
    std::optional<Address> address; // given directly by TYPE, ASHOST, SYSNR, GWHOST, GWSERV
};

// A connect string or a destination that cannot be used; the text never holds a password.
class DestinationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char *kDestinationFile = "SapRfc.ini";

// Blank-separated KEY=value entries; keys in any letter case; entries of unknown keys are ignored.
ConnectString ParseConnectString(std::string_view text);

// The address of a destination (any letter case) of "SapRfc.ini" in the working directory.
Address ResolveDestination(std::string_view destination);

// The address of the entries of a "SapRfc.ini" text.
Address ResolveDestination(std::string_view destination, std::string_view iniText);

} // namespace sapsim

#endif
