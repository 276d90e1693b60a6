// Sums of signed 64-bit figures that cannot overflow.
//
// A table may hold thousands of rows of 15-digit sizes (the packed field's largest figure), and
// damaged rows may hold negative ones: a 64-bit running sum would overflow. The sum is kept in
// 128 bits (two halves, so the 32-bit Windows build has it too), exact for any number of rows the
// library can hand out, and only the figure shown is held to the 64-bit range.
#pragma once

#include <cstdint>

class WideSum {
  public:
    void Add(int64_t value) { AddHalves(static_cast<uint64_t>(value), value < 0 ? ~uint64_t{0} : 0); }
    void Subtract(const WideSum &other) {
        // Two's complement of the other sum, added.
        uint64_t low = ~other.low_ + 1;
        uint64_t high = ~other.high_ + (low == 0 ? 1 : 0);
        AddHalves(low, high);
    }
    // The sum, or the nearest 64-bit figure when it lies beyond.
    int64_t Held() const {
        bool negative = (high_ >> 63) != 0;
        bool fits = negative ? (high_ == ~uint64_t{0} && (low_ >> 63) != 0) : (high_ == 0 && (low_ >> 63) == 0);
        if (fits) return static_cast<int64_t>(low_);
        return negative ? INT64_MIN : INT64_MAX;
    }

  private:
    void AddHalves(uint64_t low, uint64_t high) {
        uint64_t before = low_;
        low_ += low;
        high_ += high + (low_ < before ? 1 : 0);
    }
    uint64_t low_ = 0;
    uint64_t high_ = 0;
};

// a + b and a - b, held to the 64-bit range instead of overflowing.
inline int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b < 0 ? INT64_MIN : INT64_MAX;
}
inline int64_t SaturatingSubtract(int64_t a, int64_t b) {
    int64_t difference;
    if (!__builtin_sub_overflow(a, b, &difference)) return difference;
    return b > 0 ? INT64_MIN : INT64_MAX;
}
