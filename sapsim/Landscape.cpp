#include "Landscape.h"

#include "Text.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>

namespace sapsim {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxFileSize = 16u << 20;
constexpr std::int64_t kMaxLatencyMs = 600000;
constexpr std::int64_t kMaxKilobytes = 999999999999999; // 15 digits of a packed size field
// TSAU is a text of 14 characters: 14 digits, or a sign and 13.
constexpr std::int64_t kMaxAutoextendKilobytes = 99999999999999;
constexpr std::int64_t kMinAutoextendKilobytes = -9999999999999;
constexpr std::int64_t kMaxNumber = 999999999999999999; // 18 digits
// A landscape nests five levels deep; a deeper file is refused, so that taking the document apart
// (below) stays a short recursion.
constexpr std::size_t kMaxDepth = 64;

// Builds the document from the parser's events and keeps where the first error lies.
class DocumentBuilder {
  public:
    explicit DocumentBuilder(Json &root) : root_(root) {}

    bool null() { return Put(nullptr); }
    bool boolean(bool value) { return Put(value); }
    bool number_integer(Json::number_integer_t value) { return Put(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return Put(value); }
    bool number_float(Json::number_float_t value, const std::string &) { return Put(value); }
    bool string(std::string &value) { return Put(std::move(value)); }
    bool binary(Json::binary_t &) { return false; }
    bool start_object(std::size_t) { return Open(Json::object()); }
    bool key(std::string &name) {
        key_ = std::move(name);
        return true;
    }
    bool end_object() { return Close(); }
    bool start_array(std::size_t) { return Open(Json::array()); }
    bool end_array() { return Close(); }

    template <class Exception>
    bool parse_error(std::size_t position, const std::string &, const Exception &error) {
        failed_ = true;
        position_ = position;
        errorId_ = error.id;
        description_ = error.what();
        return false;
    }

    bool Failed() const { return failed_; }
    bool TooDeep() const { return tooDeep_; }
    std::size_t Position() const { return position_; }
    int ErrorId() const { return errorId_; }
    const std::string &Description() const { return description_; }

  private:
    Json *Place(Json value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Json &parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        Json &slot = parent[key_];
        slot = std::move(value);
        return &slot;
    }
    bool Put(Json value) {
        Place(std::move(value));
        return true;
    }
    bool Open(Json value) {
        if (open_.size() >= kMaxDepth) {
            tooDeep_ = true;
            return false;
        }
        open_.push_back(Place(std::move(value)));
        return true;
    }
    bool Close() {
        if (!open_.empty()) open_.pop_back();
        return true;
    }

    Json &root_;
    std::vector<Json *> open_;
    std::string key_;
    bool failed_ = false;
    bool tooDeep_ = false;
    std::size_t position_ = 0;
    int errorId_ = 0;
    std::string description_;
};

// The parser's description without its prefix and without the characters it last read.
std::string DescribeSyntaxError(const DocumentBuilder &builder) {
    if (builder.ErrorId() == 406) return "number out of range";
    if (builder.ErrorId() != 101) return "cannot be parsed";
    std::string text = builder.Description();
    std::size_t start = text.find("syntax error");
    if (start == std::string::npos) return "syntax error";
    text.erase(0, start);
    std::size_t lastRead = text.find("; last read: '");
    if (lastRead != std::string::npos) {
        std::size_t expected = text.rfind("'; expected ");
        if (expected != std::string::npos && expected >= lastRead + 13) {
            text.erase(lastRead, expected + 1 - lastRead);
        } else {
            text.erase(lastRead);
        }
    }
    return text;
}

// Line and column (both from 1) of the character at the parser's position.
std::string Where(std::string_view text, std::size_t position) {
    std::size_t index = std::min(position == 0 ? 0 : position - 1, text.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < index; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(index - lineStart + 1);
}

[[noreturn]] void Reject(const std::string &path, const std::string &problem) {
    throw LandscapeError(std::string(kLandscapeFile) + ": " + path + ": " + problem);
}

std::string Member(const std::string &path, const std::string &key) { return path + "." + key; }

std::string Element(const std::string &path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

void ExpectObject(const Json &value, const std::string &path) {
    if (!value.is_object()) Reject(path, "expected an object");
}

void ExpectKeys(const Json &object, const std::string &path, std::initializer_list<std::string_view> keys) {
    for (const auto &item : object.items()) {
        bool known = false;
        for (std::string_view key : keys)
            known = known || item.key() == key;
        if (!known) Reject(path, "unknown key \"" + OneLine(item.key()) + "\"");
    }
}

// JSON texts are UTF-8; SAP sends a program that logs on in German ISO 8859-1, one byte a
// character. Characters beyond it become '?'.
std::string Latin1(const std::string &utf8) {
    std::string text;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
        if (length == 1) {
            text += static_cast<char>(c);
        } else if (length == 2 && i + 1 < utf8.size()) {
            unsigned code = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            text += code <= 0xFF ? static_cast<char>(code) : '?';
        } else {
            text += '?';
        }
        i += length;
    }
    return text;
}

std::string TextOf(const Json &value, const std::string &path) {
    if (!value.is_string()) Reject(path, "expected a text");
    return Latin1(value.get<std::string>());
}

std::int64_t NumberOf(const Json &value, const std::string &path, std::int64_t low, std::int64_t high) {
    std::string range = "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    if (value.is_number_unsigned()) {
        auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(high)) Reject(path, range);
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) {
        auto number = value.get<std::int64_t>();
        if (number < low || number > high) Reject(path, range);
        return number;
    }
    if (value.is_number_float()) {
        double number = value.get<double>();
        if (!std::isfinite(number) || std::trunc(number) != number || number < static_cast<double>(low) ||
            number > static_cast<double>(high)) {
            Reject(path, range);
        }
        return static_cast<std::int64_t>(number);
    }
    Reject(path, range);
}

const Json *Find(const Json &object, const char *key) {
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::optional<std::string> OptionalText(const Json &object, const char *key, const std::string &path) {
    const Json *value = Find(object, key);
    if (value == nullptr) return std::nullopt;
    return TextOf(*value, Member(path, key));
}

// A fault given as a text, or as { "fault": text, "message": text }.
std::string FaultText(const Json &value, const std::string &path, std::optional<std::string> &message,
                      std::initializer_list<std::string_view> otherKeys = {}) {
    if (value.is_string()) return value.get<std::string>();
    if (!value.is_object()) Reject(path, "expected a text or an object");
    std::vector<std::string_view> keys = {"fault", "message"};
    keys.insert(keys.end(), otherKeys.begin(), otherKeys.end());
    for (const auto &item : value.items()) {
        bool known = false;
        for (std::string_view key : keys)
            known = known || item.key() == key;
        if (!known) Reject(path, "unknown key \"" + OneLine(item.key()) + "\"");
    }
    message = OptionalText(value, "message", path);
    const Json *fault = Find(value, "fault");
    if (fault == nullptr) Reject(path, "\"fault\" is missing");
    return TextOf(*fault, Member(path, "fault"));
}

CallFault ReadCallFault(const Json &value, const std::string &path) {
    ExpectObject(value, path);
    ExpectKeys(value, path, {"call", "outcome", "exception", "abort", "message"});
    constexpr std::int64_t low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t high = std::numeric_limits<std::int32_t>::max();
    CallFault fault;
    if (const Json *call = Find(value, "call")) {
        fault.callResult = static_cast<std::int32_t>(NumberOf(*call, Member(path, "call"), low, high));
    }
    if (const Json *outcome = Find(value, "outcome")) {
        fault.outcome = static_cast<std::int32_t>(NumberOf(*outcome, Member(path, "outcome"), low, high));
    }
    fault.exception = OptionalText(value, "exception", path);
    fault.message = OptionalText(value, "message", path);
    if (std::optional<std::string> abort = OptionalText(value, "abort", path)) {
        if (*abort == "RfcCall") {
            fault.abort = AbortPoint::InCall;
        } else if (*abort == "RfcReceive") {
            fault.abort = AbortPoint::InReceive;
        } else {
            Reject(Member(path, "abort"), "expected \"RfcCall\" or \"RfcReceive\"");
        }
    }
    return fault;
}

Faults ReadFaults(const Json &value, const std::string &path) {
    ExpectObject(value, path);
    Faults faults;
    for (const auto &item : value.items()) {
        const std::string &key = item.key();
        std::string where = Member(path, key);
        if (key == "open") {
            std::string fault = FaultText(item.value(), where, faults.openMessage, {"ms"});
            if (fault == "unreachable") {
                faults.open = OpenFault::Unreachable;
            } else if (fault == "abort") {
                faults.open = OpenFault::Abort;
            } else if (fault == "crash") {
                faults.open = OpenFault::Crash;
            } else if (fault == "hang") {
                // A host that does not answer: the open waits, then fails as unreachable.
                faults.open = OpenFault::Unreachable;
                faults.openHangMs = 600000;
                if (const Json *ms = Find(item.value(), "ms")) {
                    faults.openHangMs = static_cast<std::uint32_t>(NumberOf(*ms, Member(where, "ms"), 0, 3600000));
                }
            } else {
                Reject(where, "expected \"unreachable\", \"abort\", \"crash\" or \"hang\"");
            }
        } else if (key == "install") {
            faults.install = FaultText(item.value(), where, faults.installMessage);
        } else if (key == "itable") {
            std::string fault = FaultText(item.value(), where, faults.itableMessage);
            if (fault == "create") {
                faults.itable = TableOperation::Create;
            } else if (fault == "getline") {
                faults.itable = TableOperation::GetLine;
            } else if (fault == "delete") {
                faults.itable = TableOperation::Delete;
            } else {
                Reject(where, "expected \"create\", \"getline\" or \"delete\"");
            }
        } else if (key == "trace") {
            if (!item.value().is_array()) Reject(where, "expected an array of texts");
            std::vector<std::string> lines;
            for (std::size_t i = 0; i < item.value().size(); ++i) {
                const Json &line = item.value()[i];
                if (!line.is_string()) Reject(where + "[" + std::to_string(i) + "]", "expected a text");
                lines.push_back(Latin1(line.get<std::string>()));
            }
            faults.trace = std::move(lines);
        } else {
            faults.calls[key] = ReadCallFault(item.value(), where);
        }
    }
    return faults;
}

Tablespace ReadTablespace(const Json &value, const std::string &path) {
    ExpectObject(value, path);
    ExpectKeys(value, path,
               {"name", "size_kb", "free_kb", "pct_used", "status", "autoextend_kb", "autoextend_pct"});
    Tablespace tablespace;
    std::optional<std::string> name = OptionalText(value, "name", path);
    if (!name) Reject(path, "\"name\" is missing");
    tablespace.name = *name;
    if (const Json *size = Find(value, "size_kb")) {
        tablespace.sizeKb = NumberOf(*size, Member(path, "size_kb"), -kMaxKilobytes, kMaxKilobytes);
    }
    if (const Json *free = Find(value, "free_kb")) {
        tablespace.freeKb = NumberOf(*free, Member(path, "free_kb"), -kMaxKilobytes, kMaxKilobytes);
    }
    if (const Json *pct = Find(value, "pct_used")) {
        tablespace.pctUsed =
            NumberOf(*pct, Member(path, "pct_used"), std::numeric_limits<std::int32_t>::min(),
                     std::numeric_limits<std::int32_t>::max());
    }
    if (std::optional<std::string> status = OptionalText(value, "status", path)) tablespace.status = *status;
    if (const Json *kb = Find(value, "autoextend_kb")) {
        tablespace.autoextendKb =
            NumberOf(*kb, Member(path, "autoextend_kb"), kMinAutoextendKilobytes, kMaxAutoextendKilobytes);
    }
    if (const Json *pct = Find(value, "autoextend_pct")) {
        tablespace.autoextendPct = static_cast<std::int32_t>(
            NumberOf(*pct, Member(path, "autoextend_pct"), std::numeric_limits<std::int32_t>::min(),
                     std::numeric_limits<std::int32_t>::max()));
    }
    return tablespace;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hexadecimal digits, two to a byte; blanks between them are skipped.
std::vector<std::uint8_t> ReadRow(const Json &value, const std::string &path) {
    std::string text = TextOf(value, path);
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') continue;
        int digit = HexDigit(text[i]);
        if (digit < 0) Reject(path, "character " + std::to_string(i + 1) + " is not a hexadecimal digit");
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) Reject(path, "odd number of hexadecimal digits");
    return bytes;
}

std::int64_t ReadSysnr(const Json &value, const std::string &path) {
    if (value.is_string()) {
        std::optional<std::int64_t> number = ParseDigits(value.get<std::string>());
        if (!number || *number > std::numeric_limits<std::int32_t>::max()) {
            Reject(path, "expected a text of digits or a whole number");
        }
        return *number;
    }
    return NumberOf(value, path, 0, std::numeric_limits<std::int32_t>::max());
}

System ReadSystem(const Json &value, const std::string &path) {
    ExpectObject(value, path);
    ExpectKeys(value, path,
               {"comment", "ashost", "sysnr", "gwhost", "gwserv", "client", "users", "sysinfo", "tablespaces",
                "rows", "latency_ms", "date", "time", "faults"});
    System system;
    system.ashost = OptionalText(value, "ashost", path);
    if (const Json *sysnr = Find(value, "sysnr")) system.sysnr = ReadSysnr(*sysnr, Member(path, "sysnr"));
    system.gwhost = OptionalText(value, "gwhost", path);
    system.gwserv = OptionalText(value, "gwserv", path);
    if (system.gwhost.has_value() != system.gwserv.has_value()) {
        Reject(path, "\"gwhost\" and \"gwserv\" go together");
    }
    system.client = OptionalText(value, "client", path);
    if (const Json *users = Find(value, "users")) {
        std::string where = Member(path, "users");
        ExpectObject(*users, where);
        system.users.emplace();
        for (const auto &user : users->items()) {
            (*system.users)[user.key()] = TextOf(user.value(), Member(where, user.key()));
        }
    }
    if (const Json *sysinfo = Find(value, "sysinfo")) {
        std::string where = Member(path, "sysinfo");
        ExpectObject(*sysinfo, where);
        for (const auto &field : sysinfo->items()) {
            std::string fieldPath = Member(where, field.key());
            if (field.value().is_string()) {
                system.sysinfo[field.key()] = Scalar::Text(Latin1(field.value().get<std::string>()));
            } else {
                system.sysinfo[field.key()] =
                    Scalar::Number(NumberOf(field.value(), fieldPath, -kMaxNumber, kMaxNumber));
            }
        }
    }
    if (const Json *tablespaces = Find(value, "tablespaces")) {
        std::string where = Member(path, "tablespaces");
        if (!tablespaces->is_array()) Reject(where, "expected an array");
        for (std::size_t i = 0; i < tablespaces->size(); ++i) {
            system.tablespaces.push_back(ReadTablespace((*tablespaces)[i], Element(where, i)));
        }
    }
    if (const Json *rows = Find(value, "rows")) {
        std::string where = Member(path, "rows");
        if (!rows->is_array()) Reject(where, "expected an array");
        for (std::size_t i = 0; i < rows->size(); ++i)
            system.rows.push_back(ReadRow((*rows)[i], Element(where, i)));
    }
    if (const Json *latency = Find(value, "latency_ms")) {
        system.latencyMs =
            static_cast<std::uint32_t>(NumberOf(*latency, Member(path, "latency_ms"), 0, kMaxLatencyMs));
    }
    system.date = OptionalText(value, "date", path);
    system.time = OptionalText(value, "time", path);
    if (const Json *faults = Find(value, "faults"))
        system.faults = ReadFaults(*faults, Member(path, "faults"));
    return system;
}

// The parser's document type frees a nested document with a work list it allocates, inside its
// destructor: when memory is short there, the process ends (an exception cannot leave a
// destructor). Taken apart from the leaves up, every part is empty when it is freed, and freeing
// an empty part allocates nothing.
void TakeApart(Json &value) noexcept {
    if (value.is_array()) {
        for (Json &element : *value.get_ptr<Json::array_t *>())
            TakeApart(element);
        value.get_ptr<Json::array_t *>()->clear();
    } else if (value.is_object()) {
        for (auto &member : *value.get_ptr<Json::object_t *>())
            TakeApart(member.second);
        value.get_ptr<Json::object_t *>()->clear();
    }
}

class TakenApartAtEnd {
  public:
    explicit TakenApartAtEnd(Json &document) : document_(document) {}
    ~TakenApartAtEnd() { TakeApart(document_); }
    TakenApartAtEnd(const TakenApartAtEnd &) = delete;
    TakenApartAtEnd &operator=(const TakenApartAtEnd &) = delete;

  private:
    Json &document_;
};

} // namespace

Landscape ParseLandscape(std::string_view text) {
    Json document;
    TakenApartAtEnd takenApart(document);
    DocumentBuilder builder(document);
    Json::sax_parse(text.begin(), text.end(), &builder);
    if (builder.TooDeep()) {
        throw LandscapeError(std::string(kLandscapeFile) + ": nested deeper than " + std::to_string(kMaxDepth) +
                             " levels");
    }
    if (builder.Failed()) {
        throw LandscapeError(std::string(kLandscapeFile) + ": " + Where(text, builder.Position()) + ": " +
                             DescribeSyntaxError(builder));
    }
    if (!document.is_object()) Reject("top level", "expected an object");
    ExpectKeys(document, "top level", {"comment", "systems"});
    const Json *systems = Find(document, "systems");
    if (systems == nullptr) Reject("top level", "\"systems\" is missing");
    if (!systems->is_array()) Reject("systems", "expected an array");
    Landscape landscape;
    for (std::size_t i = 0; i < systems->size(); ++i) {
        landscape.systems.push_back(ReadSystem((*systems)[i], Element("systems", i)));
    }
    return landscape;
}

std::optional<Landscape> LoadLandscape() {
    std::FILE *file = std::fopen(kLandscapeFile, "rb");
    if (file == nullptr) return std::nullopt;
    std::string text;
    char buffer[65536];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() <= kMaxFileSize) {
        text.append(buffer, count);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw LandscapeError(std::string(kLandscapeFile) + ": cannot be read");
    if (text.size() > kMaxFileSize)
        throw LandscapeError(std::string(kLandscapeFile) + ": larger than 16 MiB");
    // Item mode opens one connection per system: the file is parsed again only when its text
    // changed since the last open of this process.
    static std::string parsedText;
    static std::optional<Landscape> parsed;
    if (!parsed || text != parsedText) {
        parsed.reset();
        parsed = ParseLandscape(text);
        parsedText = std::move(text);
    }
    return parsed;
}

const System *FindByServer(const Landscape &landscape, std::string_view host, std::int64_t sysnr) {
    for (const System &system : landscape.systems) {
        if (system.ashost && EqualsIgnoreCase(*system.ashost, host) && system.sysnr == sysnr) return &system;
    }
    return nullptr;
}

const System *FindByGateway(const Landscape &landscape, std::string_view host, std::string_view service) {
    for (const System &system : landscape.systems) {
        if (system.gwhost && system.gwserv && EqualsIgnoreCase(*system.gwhost, host) &&
            EqualsIgnoreCase(*system.gwserv, service)) {
            return &system;
        }
    }
    return nullptr;
}

} // namespace sapsim
