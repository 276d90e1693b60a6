#include "space/Conversions.h"

#include <cinttypes>

void BytesToHex(TextBase &out, const uint8_t *bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    out.Clear();
    for (size_t i = 0; i < count; ++i) {
        out.AppendChar(digits[bytes[i] >> 4]);
        out.AppendChar(digits[bytes[i] & 0x0F]);
    }
}

void PackedToText(TextBase &out, const uint8_t *field, size_t length, size_t decimals) {
    out.Clear();
    if (length == 0) return;
    if (length > kMaxPackedBytes) length = kMaxPackedBytes;
    FixedText<2 * kMaxPackedBytes> hex;
    BytesToHex(hex, field, length);
    size_t digitCount = 2 * length - 1;
    if (decimals > digitCount) decimals = digitCount;
    out.AppendChar(hex[digitCount] == 'D' ? '-' : '+');
    out.AppendPart(hex.c_str(), digitCount - decimals);
    if (decimals > 0) {
        out.AppendChar('.');
        out.AppendPart(hex.c_str() + (digitCount - decimals), decimals);
    }
}

void GroupThousands(TextBase &text) {
    size_t length = text.size();
    if (length <= 3) return;
    FixedText<127> copy;
    if (length > copy.capacity()) return;
    copy.Assign(text);
    text.Clear();
    if (length <= 6) {
        text.AppendPart(copy.c_str(), length - 3).AppendChar('.').Append(copy.c_str() + length - 3);
        return;
    }
    text.AppendPart(copy.c_str(), length - 6).AppendChar('.');
    text.AppendPart(copy.c_str() + length - 6, 3).AppendChar('.').Append(copy.c_str() + length - 3);
}

void AppendGroupedFigure(TextBase &out, int64_t value) {
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    FixedText<24> digits;
    digits.Format("%" PRIu64, magnitude);
    GroupThousands(digits);
    if (value < 0) out.AppendChar('-');
    out.Append(digits);
}
