#include "driver/Password.h"

#include <cstring>

namespace {

// Key bytes 1 to 4 scramble the header, bytes 1 + o to 20 + o the body. None is zero; all lie below
// 0x20 so a printable character stays printable in most positions, and the header bytes avoid
// 0x10-0x19 so no digit of the header turns into a blank.
constexpr uint8_t kKeyTable[32] = {0x0B, 0x1D, 0x05, 0x0E, 0x13, 0x07, 0x19, 0x02, 0x11, 0x1C, 0x09,
                                   0x16, 0x03, 0x1A, 0x0D, 0x14, 0x06, 0x1F, 0x0A, 0x12, 0x01, 0x17,
                                   0x0C, 0x1B, 0x04, 0x15, 0x0F, 0x18, 0x08, 0x1E, 0x10, 0x0B};

bool IsCheckSumCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Position in the body of the k-th character of the unshuffled text (0-based): 1, 20, 2, 19, ...
size_t BodyPosition(size_t k) { return (k % 2 == 0) ? k / 2 : kPasswordBodyLength - 1 - k / 2; }

// The check digit: the last decimal digit of the sum of the letters' and digits' codes.
char CheckDigit(const char *text, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i) {
        if (IsCheckSumCharacter(text[i])) sum += static_cast<uint8_t>(text[i]);
    }
    return static_cast<char>('0' + sum % 10);
}

bool IsStorable(char c) { return c > 0x20 && c < 0x7F; }

} // namespace

PasswordFault UnscramblePassword(const char *stored, TextBase &password) {
    size_t length = strlen(stored);
    char header[4];
    for (size_t i = 0; i < 4; ++i)
        header[i] = static_cast<char>(i < length ? stored[i] ^ kKeyTable[i] : 0);
    if (length != kStoredPasswordLength) return PasswordFault::Form;
    for (char c : header) {
        if (!IsDigit(c)) return PasswordFault::Form;
    }
    size_t offset = static_cast<size_t>(header[1] - '0');
    size_t wanted = static_cast<size_t>((header[2] - '0') * 10 + (header[3] - '0'));

    char body[kPasswordBodyLength];
    for (size_t i = 0; i < kPasswordBodyLength; ++i) {
        body[i] = static_cast<char>(stored[4 + i] ^ kKeyTable[offset + i]);
    }
    char text[kPasswordBodyLength];
    size_t textLength = 0;
    for (size_t k = 0; k < kPasswordBodyLength; ++k) {
        char c = body[BodyPosition(k)];
        if (c != '\0') text[textLength++] = c;
    }
    if (CheckDigit(text, textLength) != header[0]) return PasswordFault::CheckDigit;
    password.AssignPart(text, wanted < textLength ? wanted : textLength);
    return PasswordFault::None;
}

bool ScramblePassword(const char *password, TextBase &stored, RandomSource random, void *context) {
    static const char kPadding[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    size_t length = strlen(password);
    if (length == 0 || length > kPasswordBodyLength) return false;
    for (size_t i = 0; i < length; ++i) {
        if (!IsStorable(password[i])) return false;
    }
    size_t firstOffset = random(context) % 10;
    for (size_t attempt = 0; attempt < 10; ++attempt) {
        size_t offset = (firstOffset + attempt) % 10;
        char text[kPasswordBodyLength];
        memcpy(text, password, length);
        bool storable = true;
        for (size_t k = 0; k < kPasswordBodyLength && storable; ++k) {
            uint8_t key = kKeyTable[offset + BodyPosition(k)];
            if (k < length) {
                storable = IsStorable(static_cast<char>(text[k] ^ key));
                continue;
            }
            // Padding: a letter or digit that stays printable in its position.
            storable = false;
            for (int tries = 0; tries < 64 && !storable; ++tries) {
                text[k] = kPadding[random(context) % (sizeof(kPadding) - 1)];
                storable = IsStorable(static_cast<char>(text[k] ^ key));
            }
        }
        if (!storable) continue;
        char header[4] = {CheckDigit(text, kPasswordBodyLength), static_cast<char>('0' + offset),
                          static_cast<char>('0' + length / 10), static_cast<char>('0' + length % 10)};
        stored.Clear();
        for (size_t i = 0; i < 4; ++i)
            stored.AppendChar(static_cast<char>(header[i] ^ kKeyTable[i]));
        char body[kPasswordBodyLength];
        for (size_t k = 0; k < kPasswordBodyLength; ++k)
            body[BodyPosition(k)] = text[k];
        for (size_t i = 0; i < kPasswordBodyLength; ++i) {
            stored.AppendChar(static_cast<char>(body[i] ^ kKeyTable[offset + i]));
        }
        return !stored.truncated() && stored.size() == kStoredPasswordLength;
    }
    return false;
}
