// The logon guard's record lines, over any bytes: a line of the guard file is parsed into a record
// or counted as damaged (a damaged line guards nothing and is dropped at the next rewrite).
//
// Input: the line (cut to the record line's capacity, as the reader cuts it).
// Properties: a line is a record exactly when a model written here with std::string says so: six
// tab-separated fields, a name, the scheme "pbkdf2-sha256:10000", 32 and 64 lower-case hexadecimal
// digits, and the message (the rest of the line, tabs and all); the fields are the model's.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "driver/LogonGuard.h"

namespace {

bool LowerHex(const std::string &text, size_t length) {
    if (text.size() != length) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string line(reinterpret_cast<const char *>(data), size);
    line = line.substr(0, line.find('\0')).substr(0, kLogonGuardLine);
    std::vector<std::string> fields;
    size_t at = 0;
    while (fields.size() < 5) {
        size_t tab = line.find('\t', at);
        if (tab == std::string::npos) break;
        fields.push_back(line.substr(at, tab - at));
        at = tab + 1;
    }
    bool model = fields.size() == 5 && !line.empty() && line[0] != '#';
    if (model) {
        fields.push_back(line.substr(at));
        model = !fields[0].empty() && fields[0].size() <= 127 && fields[1].size() <= 127 &&
                fields[2] == "pbkdf2-sha256:10000" && LowerHex(fields[3], 32) && LowerHex(fields[4], 64) &&
                fields[5].size() <= 255;
    }

    FixedText<kLogonGuardLine> text;
    text.Assign(line.c_str());
    LogonRecord record;
    bool parsed = ParseLogonRecord(text, record);
    fuzz::Check(parsed == model, "record or damage differs from the model: " + line);
    if (parsed) {
        fuzz::Check(fields[0] == record.name.c_str() && fields[1] == record.address.c_str() &&
                        fields[3] == record.salt.c_str() && fields[4] == record.hash.c_str() &&
                        fields[5] == record.message.c_str(),
                    "fields differ from the model: " + line);
    }
    return 0;
}
