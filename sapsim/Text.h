// Small text helpers of the stand-in library.
#ifndef SAPSIM_TEXT_H
#define SAPSIM_TEXT_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sapsim {

// Longest message kept for RfcLastError and the trace file.
inline constexpr std::size_t kMaxMessageLength = 255;

// The zero-terminated text behind a caller's pointer; empty for a null pointer.
std::string_view FromCaller(const char *text);

// A name handed over with an explicit length (0: zero-terminated); stops at a zero byte.
std::string_view NameFromCaller(const void *name, std::uint32_t length);

std::string_view TrimRight(std::string_view text);
std::string_view Trim(std::string_view text);
bool EqualsIgnoreCase(std::string_view left, std::string_view right);
std::string ToUpper(std::string_view text);

// Decimal digits only (at least one, at most 18): their value.
std::optional<std::int64_t> ParseDigits(std::string_view text);

// An optional sign and decimal digits (at most 18): their value.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// One line of text: control characters become blanks, cut to kMaxMessageLength bytes.
std::string OneLine(std::string_view text);

// Copies text into a zero-terminated field of the given size, cutting it when needed.
void CopyToField(char *field, std::size_t size, std::string_view text);

} // namespace sapsim

#endif
