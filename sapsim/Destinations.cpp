#include "Destinations.h"

#include "Text.h"

#include <cstdio>
#include <limits>
#include <map>
#include <vector>

namespace sapsim {

namespace {

constexpr std::size_t kMaxFileSize = 1u << 20;

using Entries = std::map<std::string, std::string, std::less<>>;

std::optional<std::string> Lookup(const Entries &entries, std::string_view key) {
    auto found = entries.find(key);
    if (found == entries.end()) return std::nullopt;
    return found->second;
}

using Items = std::vector<std::pair<std::string, std::string>>;

// Blank-separated KEY=value items in their order, keys upper-cased; nothing when an item has no key.
std::optional<Items> SplitItems(std::string_view text) {
    Items items;
    std::size_t position = 0;
    while (position < text.size()) {
        while (position < text.size() && (text[position] == ' ' || text[position] == '\t'))
            ++position;
        std::size_t end = position;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t')
            ++end;
        if (end == position) break;
        std::string_view item = text.substr(position, end - position);
        std::size_t equals = item.find('=');
        if (equals == std::string_view::npos || equals == 0) return std::nullopt;
        items.emplace_back(ToUpper(item.substr(0, equals)), std::string(item.substr(equals + 1)));
        position = end;
    }
    return items;
}

// The entries of a "SapRfc.ini" text, each from a DEST item up to the next one. Empty lines, lines
// starting with '*', '#' or ';' and lines that are not KEY=value items are skipped.
std::vector<Entries> SplitDestinations(std::string_view text) {
    std::vector<Entries> destinations;
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t end = text.find('\n', position);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = Trim(text.substr(position, end - position));
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line = Trim(line.substr(0, line.size() - 1));
        if (line.empty() || line.front() == '*' || line.front() == '#' || line.front() == ';') continue;
        std::optional<Items> items = SplitItems(line);
        if (!items) continue;
        for (auto &[key, value] : *items) {
            if (key == "DEST") destinations.emplace_back();
            if (!destinations.empty()) destinations.back()[key] = value;
        }
    }
    return destinations;
}

// TYPE=A (the default) with ASHOST and SYSNR, or TYPE=R with GWHOST and GWSERV.
Address AddressOf(const Entries &entries, const std::string &what) {
    Address address;
    std::string type = ToUpper(Lookup(entries, "TYPE").value_or("A"));
    if (type == "R") {
        std::optional<std::string> host = Lookup(entries, "GWHOST");
        std::optional<std::string> service = Lookup(entries, "GWSERV");
        if (!host || !service) throw DestinationError(what + ": TYPE=R needs GWHOST and GWSERV");
        address.gateway = true;
        address.host = *host;
        address.service = *service;
        return address;
    }
    if (type != "A") throw DestinationError(what + ": TYPE=" + OneLine(type) + " is not supported (A or R)");
    std::optional<std::string> host = Lookup(entries, "ASHOST");
    if (!host) throw DestinationError(what + ": TYPE=A needs ASHOST");
    address.host = *host;
    std::string sysnr = Lookup(entries, "SYSNR").value_or("00");
    std::optional<std::int64_t> number = ParseDigits(sysnr);
    if (!number || *number > std::numeric_limits<std::int32_t>::max()) {
        throw DestinationError(what + ": SYSNR must be a number");
    }
    address.sysnr = *number;
    return address;
}

std::string ReadDestinationFile() {
    std::FILE *file = std::fopen(kDestinationFile, "rb");
    if (file == nullptr) throw DestinationError(std::string(kDestinationFile) + " not found");
    std::string text;
    char buffer[4096];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() <= kMaxFileSize) {
        text.append(buffer, count);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw DestinationError(std::string(kDestinationFile) + " cannot be read");
    if (text.size() > kMaxFileSize)
        throw DestinationError(std::string(kDestinationFile) + " is larger than 1 MiB");
    return text;
}

} // namespace

std::string UnreachableMessage(const Address &address) {
    if (address.gateway) return "partner '" + address.host + ":" + address.service + "' not reached";
    std::string sysnr = std::to_string(address.sysnr);
    if (sysnr.size() < 2) sysnr.insert(0, 2 - sysnr.size(), '0');
    return "partner '" + address.host + ":sapgw" + sysnr + "' not reached";
}

ConnectString ParseConnectString(std::string_view text) {
    std::optional<Items> items = SplitItems(text);
    if (!items) throw DestinationError("connect string: every entry must have the form KEY=value");
    Entries entries;
    for (auto &[key, value] : *items)
        entries[key] = value;
    ConnectString connect;
    connect.client = Lookup(entries, "CLIENT").value_or("");
    connect.user = Lookup(entries, "USER").value_or("");
    connect.password = Lookup(entries, "PASSWD").value_or("");
    connect.destination = Lookup(entries, "DEST");
    if (!connect.destination) {
        if (!entries.count("ASHOST") && !entries.count("GWHOST")) {
            throw DestinationError("connect string: neither DEST nor ASHOST nor GWHOST given");
        }
        connect.address = AddressOf(entries, "connect string");
    }
    return connect;
}

Address ResolveDestination(std::string_view destination, std::string_view iniText) {
    std::string what = "destination '" + OneLine(destination) + "' of " + kDestinationFile;
    for (const Entries &entries : SplitDestinations(iniText)) {
        if (EqualsIgnoreCase(Lookup(entries, "DEST").value_or(""), destination))
            return AddressOf(entries, what);
    }
    throw DestinationError(what + " not found");
}

Address ResolveDestination(std::string_view destination) {
    return ResolveDestination(destination, ReadDestinationFile());
}

} // namespace sapsim
