#include "platform/Frames.h"

#include <cstring>

namespace {

// A length of kMaxFrameBytes takes five digits; a sixth allows a leading zero, more is garbage.
constexpr size_t kMaxLengthDigits = 6;

} // namespace

bool ReadFrame(ReadExactly read, void *source, TextBase &frame, size_t limit) {
    frame.Clear();
    size_t length = 0;
    size_t digits = 0;
    for (;;) {
        char c = 0;
        if (!read(source, &c, 1)) return false;
        if (c == ':' && digits > 0) break;
        if (!IsDigit(c) || ++digits > kMaxLengthDigits) return false;
        length = length * 10 + static_cast<size_t>(c - '0');
    }
    if (length > limit || length > frame.capacity()) return false;
    char piece[4096];
    while (length > 0) {
        size_t count = length < sizeof piece ? length : sizeof piece;
        if (!read(source, piece, count) || memchr(piece, '\0', count) != nullptr) return false;
        frame.AppendPart(piece, count);
        length -= count;
    }
    return true;
}

void FrameHeader(TextBase &header, size_t length) { header.Format("%lu:", static_cast<unsigned long>(length)); }
