#include "Text.h"

#include <cstring>

namespace sapsim {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

std::string_view FromCaller(const char *text) { return text == nullptr ? std::string_view() : text; }

std::string_view NameFromCaller(const void *name, std::uint32_t length) {
    if (name == nullptr) return {};
    const char *text = static_cast<const char *>(name);
    if (length == 0) return text;
    std::size_t size = 0;
    while (size < length && text[size] != '\0')
        ++size;
    return {text, size};
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view Trim(std::string_view text) {
    text = TrimRight(text);
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

bool EqualsIgnoreCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (Upper(left[i]) != Upper(right[i])) return false;
    }
    return true;
}

std::string ToUpper(std::string_view text) {
    std::string result(text);
    for (char &c : result)
        c = Upper(c);
    return result;
}

std::optional<std::int64_t> ParseDigits(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::optional<std::int64_t> value = ParseDigits(text);
    if (value && negative) return -*value;
    return value;
}

std::string OneLine(std::string_view text) {
    std::string line(text.substr(0, kMaxMessageLength));
    for (char &c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return line;
}

void CopyToField(char *field, std::size_t size, std::string_view text) {
    if (field == nullptr || size == 0) return;
    std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, size - length);
}

} // namespace sapsim
