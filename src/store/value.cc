#include "store/value.h"

#include <strings.h>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/convert.h"
#include "platform/error.h"

namespace upstest::store {
namespace {

[[noreturn]] void NullUse() { throw platform::Failure("Invalid use of Null"); }

// A text that fits a field; throws for one past kLongestText.
const std::string& Fitting(const std::string& text) {
  if (text.size() > kLongestText) {
    throw platform::Failure("Text too long: more than " + std::to_string(kLongestText) + " bytes");
  }
  return text;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int& y, int& m, int& d) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

}  // namespace

DateTime FromOleDate(double ole) {
  // 100-01-01 and 9999-12-31 as OLE dates.
  if (!(ole >= -657434.0 && ole < 2958466.0)) {
    throw platform::Failure("The date value " + FormatDouble(ole) + " is out of range");
  }
  const double whole = std::trunc(ole);
  int64_t days = static_cast<int64_t>(whole);
  int64_t seconds = static_cast<int64_t>(std::llround(std::fabs(ole - whole) * 86400.0));
  if (seconds >= 86400) {
    seconds -= 86400;
    ++days;
  }
  DateTime t;
  // 1899-12-30 is day -25569 of the Unix calendar.
  CivilFromDays(days - 25569, t.year, t.month, t.day);
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds % 3600 / 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

std::string FormatDate(const DateTime& d) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return text;
}

std::string FormatDouble(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  char text[64];
  const bool plain = v == 0 || (std::fabs(v) >= 1e-6 && std::fabs(v) < 1e15);
  const auto result = plain ? std::to_chars(text, text + sizeof text, v, std::chars_format::fixed)
                            : std::to_chars(text, text + sizeof text, v);
  if (result.ec != std::errc()) return std::to_string(v);
  return std::string(text, result.ptr);
}

std::string Value::AsText() const {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Null>) {
          NullUse();
        } else if constexpr (std::is_same_v<T, std::string>) {
          return Fitting(v);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return FormatDouble(v);
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "True" : "False";
        } else {
          return FormatDate(v);
        }
      },
      data_);
}

int32_t Value::AsInt32() const {
  return std::visit(
      [](const auto& v) -> int32_t {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Null>) {
          NullUse();
        } else if constexpr (std::is_same_v<T, std::string>) {
          return platform::ToInt32(Fitting(v));
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return platform::ToInt32(std::to_string(v));
        } else if constexpr (std::is_same_v<T, double>) {
          return platform::RoundToInt32(v);
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? -1 : 0;
        } else {
          throw platform::Failure("Type mismatch: the date " + FormatDate(v) + " is not a number");
        }
      },
      data_);
}

int16_t Value::AsInt16() const {
  return std::visit(
      [](const auto& v) -> int16_t {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Null>) {
          NullUse();
        } else if constexpr (std::is_same_v<T, std::string>) {
          return platform::ToInt16(Fitting(v));
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return platform::ToInt16(std::to_string(v));
        } else if constexpr (std::is_same_v<T, double>) {
          return platform::RoundToInt16(v);
        } else if constexpr (std::is_same_v<T, bool>) {
          return static_cast<int16_t>(v ? -1 : 0);
        } else {
          throw platform::Failure("Type mismatch: the date " + FormatDate(v) + " is not a number");
        }
      },
      data_);
}

bool Value::AsBool() const {
  return std::visit(
      [](const auto& v) -> bool {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Null>) {
          return false;
        } else if constexpr (std::is_same_v<T, std::string>) {
          const char* t = v.c_str();
          return v.size() == std::char_traits<char>::length(t) &&
                 (v == "-1" || v == "1" || strcasecmp(t, "true") == 0 || strcasecmp(t, "yes") == 0);
        } else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, double>) {
          return v != 0;
        } else if constexpr (std::is_same_v<T, bool>) {
          return v;
        } else {
          return !(v == DateTime{1899, 12, 30, 0, 0, 0});
        }
      },
      data_);
}

}  // namespace upstest::store
