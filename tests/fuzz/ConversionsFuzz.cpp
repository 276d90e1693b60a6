// The packed and number conversions with thousands grouping, over any bytes.
//
// Input: two bytes for a packed field's length (up to 599 bytes, beyond the 511 the conversion
// takes), one for its decimals, eight for a signed 64-bit figure, one for a text length, then the
// bytes (the first of them also a total size near zero for the usage figure). Properties: every result equals a model written here with std::string; outputs of small
// capacity hold exactly the front of it and say that they were cut.
#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "space/Conversions.h"
#include "space/SpaceFigures.h"

namespace {

std::string Hex(const uint8_t *bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t i = 0; i < count; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0x0F];
    }
    return hex;
}

std::string Packed(const uint8_t *field, size_t length, size_t decimals) {
    if (length == 0) return "";
    if (length > kMaxPackedBytes) length = kMaxPackedBytes;
    std::string hex = Hex(field, length);
    size_t digits = 2 * length - 1;
    if (decimals > digits) decimals = digits;
    std::string text(1, hex[digits] == 'D' ? '-' : '+');
    text += hex.substr(0, digits - decimals);
    if (decimals > 0) text += "." + hex.substr(digits - decimals, decimals);
    return text;
}

std::string Grouped(const std::string &text) {
    size_t length = text.size();
    if (length <= 3 || length > 127) return text;
    if (length <= 6) return text.substr(0, length - 3) + "." + text.substr(length - 3);
    return text.substr(0, length - 6) + "." + text.substr(length - 6, 3) + "." + text.substr(length - 3);
}

template <class Text> void CheckCut(const Text &out, const std::string &expected, const char *what) {
    fuzz::Check(expected.substr(0, out.capacity()) == out.c_str(), what);
    fuzz::Check(out.truncated() == (expected.size() > out.capacity()), std::string(what) + " cut");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Input input(data, size);
    size_t length = input.Word() % 600;
    size_t decimals = input.Byte() * 5;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = bits << 8 | input.Byte();
    size_t textLength = input.Byte() % 16;
    std::string rest = input.Rest();
    std::vector<uint8_t> field(rest.begin(), rest.end());
    field.resize(length > kMaxPackedBytes ? length : kMaxPackedBytes, 0);

    // Hexadecimal digits.
    FixedText<2 * kMaxPackedBytes> hex;
    size_t hexCount = length > kMaxPackedBytes ? kMaxPackedBytes : length;
    BytesToHex(hex, field.data(), hexCount);
    CheckCut(hex, Hex(field.data(), hexCount), "hexadecimal digits");

    // Packed decimals, in a working text of full size and in the size the space evaluation uses.
    std::string packed = Packed(field.data(), length, decimals);
    FixedText<2 * kMaxPackedBytes + 1> full;
    PackedToText(full, field.data(), length, decimals);
    CheckCut(full, packed, "packed decimal");
    FixedText<16> small;
    PackedToText(small, field.data(), length, decimals);
    CheckCut(small, packed, "packed decimal in 16 characters");

    // A size field as the space evaluation reads it: sign and the digits up to the first nibble
    // that is no digit.
    std::string size8 = Packed(field.data(), 8, 0);
    int64_t kilobytes = 0;
    for (size_t i = 1; i < size8.size() && size8[i] >= '0' && size8[i] <= '9'; ++i)
        kilobytes = kilobytes * 10 + (size8[i] - '0');
    if (size8[0] == '-') kilobytes = -kilobytes;
    fuzz::Check(PackedKilobytes(field.data()) == kilobytes, "kilobytes of a size field");
    fuzz::Check(kilobytes <= 999999999999999 && kilobytes >= -999999999999999, "a size beyond 15 digits");

    // Grouping a text of any characters (no zero byte inside a text).
    std::string text = rest.substr(0, textLength);
    text.resize(std::strlen(text.c_str()));
    FixedText<24> groupedText(text.c_str());
    GroupThousands(groupedText);
    CheckCut(groupedText, Grouped(text), "grouped text");
    FixedText<8> groupedSmall(text.c_str());
    GroupThousands(groupedSmall);
    std::string front = text.substr(0, 8);
    fuzz::Check(Grouped(front).substr(0, 8) == groupedSmall.c_str(), "grouped text in 8 characters");

    // A signed figure: grouped digits, "-" in front of a negative one; without the dots the figure.
    int64_t value = static_cast<int64_t>(bits);
    FixedText<40> figure;
    figure.Assign("x");
    AppendGroupedFigure(figure, value);
    char plain[32];
    std::snprintf(plain, sizeof plain, "%" PRId64, value);
    std::string digits = plain[0] == '-' ? plain + 1 : plain;
    std::string expected = std::string("x") + (value < 0 ? "-" : "") + Grouped(digits);
    fuzz::Check(expected == figure.c_str(), "grouped figure " + expected + " / " + figure.c_str());

    // The usage figure of any totals: 100 - free / (size / 100), held to the 64-bit range, never
    // overflowing (a total size of -100 to -199 divides by -1). Sizes near zero come from one byte.
    int64_t nearZero = rest.empty() ? 0 : static_cast<int64_t>(static_cast<int8_t>(rest[0])) * 2;
    int64_t sizes[] = {value, nearZero, static_cast<int64_t>(bits * 0x9E3779B97F4A7C15ull)};
    int64_t frees[] = {value, INT64_MIN, INT64_MAX, nearZero};
    for (int64_t totalSize : sizes) {
        for (int64_t totalFree : frees) {
            int64_t hundredth = totalSize / 100;
            __int128 exact = hundredth == 0 ? 0 : __int128(100) - __int128(totalFree) / hundredth;
            int64_t held = exact > INT64_MAX ? INT64_MAX : exact < INT64_MIN ? INT64_MIN : static_cast<int64_t>(exact);
            fuzz::Check(UsagePercent(totalSize, totalFree) == held, "usage percent");
        }
    }
    return 0;
}
