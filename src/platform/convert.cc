#include "platform/convert.h"

#include <cmath>
#include <string>

#include "platform/error.h"

namespace upstest::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void Mismatch(std::string_view text) {
  throw Failure("Type mismatch: '" + std::string(text) + "' is not a number");
}

[[noreturn]] void Overflow(std::string_view text, int bits) {
  throw Failure("Overflow: " + std::string(text) + " does not fit in " + std::to_string(bits) +
                " bits");
}

// Parses and rounds; returns the magnitude capped just above any 32-bit
// value, with the sign applied. Digits beyond the cap only matter for the
// overflow test, so the magnitude saturates instead of wrapping.
int64_t ParseRounded(std::string_view text) {
  constexpr int64_t kCap = int64_t{1} << 33;
  size_t pos = 0;
  const size_t end = text.size();
  while (pos < end && IsBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < end && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int64_t magnitude = 0;
  int digits = 0;
  while (pos < end && IsDigit(text[pos])) {
    magnitude = magnitude * 10 + (text[pos] - '0');
    if (magnitude > kCap) magnitude = kCap;
    ++digits;
    ++pos;
  }
  // Rounding of the fraction: first digit decides, a 5 with nothing but
  // zeros after it is a tie.
  int first_fraction = -1;
  bool rest_nonzero = false;
  if (pos < end && text[pos] == '.') {
    ++pos;
    while (pos < end && IsDigit(text[pos])) {
      if (first_fraction < 0) {
        first_fraction = text[pos] - '0';
      } else if (text[pos] != '0') {
        rest_nonzero = true;
      }
      ++digits;
      ++pos;
    }
  }
  while (pos < end && IsBlank(text[pos])) ++pos;
  if (digits == 0 || pos != end) Mismatch(text);
  if (first_fraction > 5 || (first_fraction == 5 && (rest_nonzero || magnitude % 2 == 1))) {
    if (magnitude < kCap) ++magnitude;
  }
  return negative ? -magnitude : magnitude;
}

template <typename T>
T CheckedNarrow(int64_t value, std::string_view text, int bits) {
  if (value < INT64_C(-1) << (bits - 1) || value > (INT64_C(1) << (bits - 1)) - 1) {
    Overflow(text, bits);
  }
  return static_cast<T>(value);
}

template <typename T>
T RoundDouble(double value, int bits) {
  const double limit = std::ldexp(1.0, bits - 1);
  if (!(value >= -limit - 0.5 && value <= limit)) Overflow(std::to_string(value), bits);
  const double rounded = std::nearbyint(value);  // default mode: to nearest, ties to even
  if (rounded < -limit || rounded > limit - 1) Overflow(std::to_string(value), bits);
  return static_cast<T>(rounded);
}

}  // namespace

int32_t ToInt32(std::string_view text) {
  return CheckedNarrow<int32_t>(ParseRounded(text), text, 32);
}

int16_t ToInt16(std::string_view text) {
  return CheckedNarrow<int16_t>(ParseRounded(text), text, 16);
}

int32_t RoundToInt32(double value) { return RoundDouble<int32_t>(value, 32); }
int16_t RoundToInt16(double value) { return RoundDouble<int16_t>(value, 16); }

}  // namespace upstest::platform
