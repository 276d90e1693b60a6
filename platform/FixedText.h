// Fixed-capacity, always terminated text.
//
// Every buffer of the program is a FixedText<N>: N characters of room plus the terminator, a length
// and a sticky "was truncated" flag. Writes that do not fit are cut at the capacity and set the flag;
// no operation can write past the end. TextBase carries the operations and knows no capacity, so
// one function taking `TextBase&` or `const TextBase&` serves every size.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#if defined(__MINGW_PRINTF_FORMAT)
#define MARROWIND_PRINTF_LIKE(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__)
#define MARROWIND_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define MARROWIND_PRINTF_LIKE(fmt, first)
#endif

class TextBase {
  public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    TextBase(const TextBase &) = delete;
    TextBase &operator=(const TextBase &) = delete;

    const char *c_str() const { return data_; }
    size_t size() const { return length_; }
    size_t capacity() const { return capacity_; }
    bool empty() const { return length_ == 0; }
    bool truncated() const { return truncated_; }
    // 0 past the end, like the terminator of a C string.
    char operator[](size_t index) const { return index < length_ ? data_[index] : '\0'; }

    void Clear();
    // Clears the text and overwrites every byte of its storage, for texts that held a secret.
    void Wipe();
    // Copy, append and their variants cut at the capacity and set the truncated flag.
    TextBase &Assign(const char *text);
    TextBase &Assign(const TextBase &text);
    TextBase &AssignPart(const char *text, size_t count); // at most count characters, stops at a zero
    TextBase &Append(const char *text);
    TextBase &Append(const TextBase &text);
    TextBase &AppendPart(const char *text, size_t count); // at most count characters, stops at a zero
    TextBase &AppendChar(char c);
    TextBase &AppendRepeated(char c, size_t count);
    TextBase &AppendFormat(const char *format, ...) MARROWIND_PRINTF_LIKE(2, 3);
    TextBase &AppendFormatV(const char *format, va_list args);
    TextBase &Format(const char *format, ...) MARROWIND_PRINTF_LIKE(2, 3);

    // Shortens the text to at most length characters (keeps the truncated flag).
    void Cut(size_t length);
    // Cuts the text at the first occurrence of needle; nothing happens when it is absent.
    void CutAt(const char *needle);
    // Replaces the character at index (inside the text; a zero byte would shorten it there).
    void SetAt(size_t index, char c);
    void Replace(char from, char to);
    void ToUpper(); // ASCII letters only
    // Removes one trailing carriage return and then one trailing line feed, as text lines are read.
    void StripLineEnd();
    void StripTrailingBlanks();

    size_t Find(const char *needle, size_t from = 0) const;
    bool Contains(const char *needle) const { return Find(needle) != npos; }
    bool StartsWith(const char *prefix) const;
    bool Equals(const char *text) const;
    char Last() const { return length_ ? data_[length_ - 1] : '\0'; }

  protected:
    TextBase(char *storage, size_t capacity) : data_(storage), capacity_(capacity) { data_[0] = '\0'; }
    ~TextBase() = default;

  private:
    char *data_;
    size_t capacity_;
    size_t length_ = 0;
    bool truncated_ = false;
};

template <size_t N> class FixedText : public TextBase {
  public:
    static_assert(N > 0, "a text needs room for at least one character");
    FixedText() : TextBase(storage_, N) {}
    explicit FixedText(const char *text) : TextBase(storage_, N) { Assign(text); }
    FixedText(const FixedText &other) : TextBase(storage_, N) { Assign(other); }
    FixedText &operator=(const FixedText &other) {
        if (this != &other) Assign(other);
        return *this;
    }

  private:
    char storage_[N + 1];
};

// Upper-cases one ASCII letter; every other byte stays as it is.
inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal conversion of a C library's atoi, without overflow: leading blanks, an optional sign,
// the digits up to the first other character; no digits give 0. At most maxChars characters are read.
int64_t DecimalValue(const char *text, size_t maxChars = static_cast<size_t>(-1));
