// Value conversions of the space evaluation. No state, no heap, no error reports: the limits of
// the inputs are enforced here rather than trusted, and outputs are cut at their capacity.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/FixedText.h"

// Largest packed field PackedToText expands (its working area holds 1022 hexadecimal digits).
constexpr size_t kMaxPackedBytes = 511;

// Each byte as two upper-case hexadecimal digits.
void BytesToHex(TextBase &out, const uint8_t *bytes, size_t count);

// A packed decimal of `length` bytes (2 * length - 1 digits, sign in the last nibble, "D" negative)
// as signed text: "+" or "-", the integer digits as they stand (leading zeros kept), and with
// decimals > 0 a "." and the decimal digits. A length above kMaxPackedBytes is taken as
// kMaxPackedBytes, decimals above the digit count as the digit count; a length of 0 gives "".
void PackedToText(TextBase &out, const uint8_t *field, size_t length, size_t decimals);

// Inserts "." between groups of three characters, from the right: one separator for four to six
// characters, two for seven or more (a longer text keeps a longer first group). Characters are not
// inspected. When the text has no room for the separators it is cut and marked truncated.
void GroupThousands(TextBase &text);

// A signed figure with its digits grouped; a negative one keeps "-" in front of the grouped digits.
void AppendGroupedFigure(TextBase &out, int64_t value);
