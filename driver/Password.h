// The stored form of a profile password: 24 characters, a 4-character header (check digit, key
// offset, two-digit length) and a 20-character shuffled body, each XORed with the key table.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"

constexpr size_t kStoredPasswordLength = 24;
constexpr size_t kPasswordBodyLength = 20;

enum class PasswordFault {
    None,
    Form,       // not 24 characters, or the header is not four digits
    CheckDigit, // the check digit does not match the body
};

// Unscrambles a stored value. On PasswordFault::None the password is filled; otherwise it is left
// as it was.
PasswordFault UnscramblePassword(const char *stored, TextBase &password);

// A source of random numbers for the padding and the key offset of a new stored value.
using RandomSource = uint32_t (*)(void *context);

// Scrambles a password into its stored value: printable ASCII without blanks, which unscrambles to
// the same password. Refuses (returns false) an empty password, one longer than the body holds, and
// characters outside printable ASCII or blanks, or a password no key offset can store printably.
bool ScramblePassword(const char *password, TextBase &stored, RandomSource random, void *context);
