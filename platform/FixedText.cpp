#include "platform/FixedText.h"

#include <cstdio>
#include <cstring>

void TextBase::Clear() {
    length_ = 0;
    truncated_ = false;
    data_[0] = '\0';
}

void TextBase::Wipe() {
    volatile char *bytes = data_;
    for (size_t i = 0; i <= capacity_; ++i)
        bytes[i] = '\0';
    Clear();
}

TextBase &TextBase::Assign(const char *text) {
    Clear();
    return Append(text);
}

TextBase &TextBase::Assign(const TextBase &text) {
    if (&text == this) return *this;
    Clear();
    Append(text);
    return *this;
}

TextBase &TextBase::AssignPart(const char *text, size_t count) {
    Clear();
    return AppendPart(text, count);
}

TextBase &TextBase::Append(const char *text) { return AppendPart(text, npos); }

TextBase &TextBase::Append(const TextBase &text) {
    AppendPart(text.c_str(), text.size());
    if (text.truncated()) truncated_ = true;
    return *this;
}

TextBase &TextBase::AppendPart(const char *text, size_t count) {
    if (text == nullptr) return *this;
    size_t i = 0;
    while (i < count && text[i] != '\0') {
        if (length_ == capacity_) {
            truncated_ = true;
            break;
        }
        data_[length_++] = text[i++];
    }
    data_[length_] = '\0';
    return *this;
}

TextBase &TextBase::AppendChar(char c) {
    if (c == '\0') return *this;
    if (length_ == capacity_) {
        truncated_ = true;
        return *this;
    }
    data_[length_++] = c;
    data_[length_] = '\0';
    return *this;
}

TextBase &TextBase::AppendRepeated(char c, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (length_ == capacity_) {
            truncated_ = true;
            break;
        }
        AppendChar(c);
    }
    return *this;
}

TextBase &TextBase::AppendFormatV(const char *format, va_list args) {
    size_t room = capacity_ - length_ + 1;
    int wanted = vsnprintf(data_ + length_, room, format, args);
    if (wanted < 0) {
        data_[length_] = '\0';
        truncated_ = true;
        return *this;
    }
    if (static_cast<size_t>(wanted) >= room) {
        truncated_ = true;
        length_ = capacity_;
    } else {
        length_ += static_cast<size_t>(wanted);
    }
    data_[length_] = '\0';
    // A formatted zero byte (%c of 0) ends the text there, as in any C string.
    length_ = strlen(data_);
    return *this;
}

TextBase &TextBase::AppendFormat(const char *format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
    return *this;
}

TextBase &TextBase::Format(const char *format, ...) {
    Clear();
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
    return *this;
}

void TextBase::Cut(size_t length) {
    if (length < length_) {
        length_ = length;
        data_[length_] = '\0';
    }
}

void TextBase::CutAt(const char *needle) {
    size_t at = Find(needle);
    if (at != npos) Cut(at);
}

void TextBase::SetAt(size_t index, char c) {
    if (index >= length_) return;
    if (c == '\0') {
        Cut(index);
        return;
    }
    data_[index] = c;
}

void TextBase::Replace(char from, char to) {
    for (size_t i = 0; i < length_; ++i) {
        if (data_[i] == from) data_[i] = to;
    }
    if (to == '\0') length_ = strlen(data_);
}

void TextBase::ToUpper() {
    for (size_t i = 0; i < length_; ++i)
        data_[i] = UpperAscii(data_[i]);
}

void TextBase::StripLineEnd() {
    if (length_ > 0 && data_[length_ - 1] == '\r') Cut(length_ - 1);
    if (length_ > 0 && data_[length_ - 1] == '\n') Cut(length_ - 1);
}

void TextBase::StripTrailingBlanks() {
    while (length_ > 0 && data_[length_ - 1] == ' ')
        Cut(length_ - 1);
}

size_t TextBase::Find(const char *needle, size_t from) const {
    size_t n = strlen(needle);
    if (n == 0) return from <= length_ ? from : npos;
    for (size_t i = from; i + n <= length_; ++i) {
        if (memcmp(data_ + i, needle, n) == 0) return i;
    }
    return npos;
}

bool TextBase::StartsWith(const char *prefix) const {
    size_t n = strlen(prefix);
    return n <= length_ && memcmp(data_, prefix, n) == 0;
}

bool TextBase::Equals(const char *text) const { return strcmp(data_, text) == 0; }

int64_t DecimalValue(const char *text, size_t maxChars) {
    size_t i = 0;
    while (i < maxChars && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < maxChars && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t limit = INT64_MAX / 10 - 1;
    while (i < maxChars && IsDigit(text[i])) {
        if (value < limit) value = value * 10 + (text[i] - '0');
        ++i;
    }
    return negative ? -value : value;
}
