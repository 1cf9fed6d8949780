// A column value as the database layer hands it out, and how it is taken
// as text, as an integer of a given width or as a truth value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace upstest::store {

// The longest text a column value may hold: far above any field of the
// settings or the node record (a host name has at most 253 octets). Every
// provider's texts pass Value::Text, which keeps no more than one octet
// beyond it, so a runaway value costs no memory here; taken as text or as
// an integer such a value fails like any value that does not fit.
inline constexpr size_t kLongestText = 4096;

struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const DateTime&) const = default;
};

class Value {
 public:
  struct Null {
    bool operator==(const Null&) const = default;
  };
  using Data = std::variant<Null, std::string, int64_t, double, bool, DateTime>;

  Value() = default;
  // A text longer than kLongestText is kept cut to kLongestText + 1
  // octets: enough to know it as too long.
  static Value Text(std::string_view text) {
    return Value(std::in_place_type<std::string>, std::string(text.substr(0, kLongestText + 1)));
  }
  static Value Integer(int64_t v) { return Value(std::in_place_type<int64_t>, v); }
  static Value Floating(double v) { return Value(std::in_place_type<double>, v); }
  static Value Boolean(bool v) { return Value(std::in_place_type<bool>, v); }
  static Value Date(DateTime v) { return Value(std::in_place_type<DateTime>, v); }

  bool IsNull() const { return std::holds_alternative<Null>(data_); }
  const Data& data() const { return data_; }

  // A text unchanged; an integer in decimal; a floating value in its
  // shortest exact form ("161.5", "2"); a truth value "True"/"False"; a date
  // "YYYY-MM-DD HH:MM:SS". Null, or a text longer than kLongestText
  // ("Text too long: more than 4096 bytes"): Failure.
  std::string AsText() const;
  // A number rounded to the nearest integer, halves to even; a text read
  // with platform::ToInt32/ToInt16; True -1, False 0. Null, a date, a text
  // longer than kLongestText, one that is no number or a value outside the
  // width: Failure.
  int32_t AsInt32() const;
  int16_t AsInt16() const;
  // True for a non-zero number and for the texts -1, 1, true and yes in any
  // case; Null and everything else false.
  bool AsBool() const;

 private:
  // Each kind is built in its place rather than moved from a temporary
  // variant, whose inactive kinds GCC would take for uninitialised reads.
  template <typename T>
  Value(std::in_place_type_t<T> kind, T v) : data_(kind, std::move(v)) {}
  Data data_;
};

// An OLE automation date (days since 1899-12-30, the fraction the time of
// day, its sign applying to the days only) as a date, to the nearest
// second. Failure outside the years 100..9999 or for NaN.
DateTime FromOleDate(double ole);

// "YYYY-MM-DD HH:MM:SS".
std::string FormatDate(const DateTime& d);

// The shortest text that reads back as exactly `v`, in plain notation
// when it is not too large or small.
std::string FormatDouble(double v);

}  // namespace upstest::store
