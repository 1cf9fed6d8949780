#include "store/helper_wire.h"

#include <cstring>
#include <variant>

#include "platform/error.h"

namespace upstest::store {
namespace {

[[noreturn]] void CutShort() { throw platform::Failure("database helper: answer cut short"); }

// Fixed-width integers, least significant octet first.
template <typename T>
void PutFixed(std::string& out, T v) {
  for (size_t i = 0; i < sizeof(T); ++i) {
    out.push_back(static_cast<char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xff));
  }
}
void PutU32(std::string& out, uint32_t v) { PutFixed(out, v); }
void PutU64(std::string& out, uint64_t v) { PutFixed(out, v); }
void PutText(std::string& out, std::string_view text) {
  PutU32(out, static_cast<uint32_t>(text.size()));
  out.append(text);
}

// Consumes its bytes from the front; every read checks that they suffice.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : rest_(bytes) {}
  uint8_t Byte() {
    Need(1);
    const auto v = static_cast<uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return v;
  }
  uint32_t U32() { return Fixed<uint32_t>(); }
  uint64_t U64() { return Fixed<uint64_t>(); }
  std::string Text() { return std::string(TextView()); }
  std::string_view TextView() {
    const uint32_t n = U32();
    Need(n);
    const std::string_view text = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return text;
  }
  std::string_view Rest() const { return rest_; }
  bool AtEnd() const { return rest_.empty(); }

 private:
  template <typename T>
  T Fixed() {
    Need(sizeof(T));
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      v |= static_cast<uint64_t>(static_cast<uint8_t>(rest_[i])) << (8 * i);
    }
    rest_.remove_prefix(sizeof(T));
    return static_cast<T>(v);
  }
  void Need(size_t n) const {
    if (rest_.size() < n) CutShort();
  }
  std::string_view rest_;
};

enum ValueTag : uint8_t { kNull = 0, kText = 1, kInteger = 2, kFloating = 3, kBool = 4, kDate = 5 };

void PutValue(std::string& out, const Value& value) {
  const Value::Data& d = value.data();
  if (const auto* s = std::get_if<std::string>(&d)) {
    out.push_back(kText);
    PutText(out, *s);
  } else if (const auto* i = std::get_if<int64_t>(&d)) {
    out.push_back(kInteger);
    PutU64(out, static_cast<uint64_t>(*i));
  } else if (const auto* f = std::get_if<double>(&d)) {
    uint64_t bits;
    std::memcpy(&bits, f, sizeof bits);
    out.push_back(kFloating);
    PutU64(out, bits);
  } else if (const auto* b = std::get_if<bool>(&d)) {
    out.push_back(kBool);
    out.push_back(*b ? 1 : 0);
  } else if (const auto* t = std::get_if<DateTime>(&d)) {
    out.push_back(kDate);
    for (int part : {t->year, t->month, t->day, t->hour, t->minute, t->second}) {
      PutU32(out, static_cast<uint32_t>(part));
    }
  } else {
    out.push_back(kNull);
  }
}

Value GetValue(Cursor& in) {
  switch (in.Byte()) {
    case kNull:
      return Value();
    case kText:
      return Value::Text(in.TextView());
    case kInteger:
      return Value::Integer(static_cast<int64_t>(in.U64()));
    case kFloating: {
      const uint64_t bits = in.U64();
      double v;
      std::memcpy(&v, &bits, sizeof v);
      return Value::Floating(v);
    }
    case kBool:
      return Value::Boolean(in.Byte() != 0);
    case kDate: {
      DateTime t;
      for (int* part : {&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second}) {
        *part = static_cast<int32_t>(in.U32());
      }
      return Value::Date(t);
    }
    default:
      throw platform::Failure("database helper: unknown value kind");
  }
}

}  // namespace

std::string EncodeFrame(std::string_view body) {
  std::string frame;
  PutU32(frame, static_cast<uint32_t>(body.size()));
  frame.append(body);
  return frame;
}

uint32_t DecodeFrameLength(std::string_view header) {
  const uint32_t size = Cursor(header).U32();
  if (size > kMaxHelperFrame) throw platform::Failure("database helper: frame too long");
  return size;
}

std::string EncodeOpenRequest(char kind, int timeout_s, std::string_view target) {
  std::string request(1, kind);
  PutU32(request, static_cast<uint32_t>(timeout_s));
  request.append(target);
  return request;
}

std::string EncodeStatementRequest(char kind, std::string_view text) {
  std::string request(1, kind);
  request.append(text);
  return request;
}

HelperRequest DecodeRequest(std::string_view body) {
  if (body.empty()) throw platform::Failure("database helper: empty request");
  HelperRequest request;
  request.kind = body[0];
  Cursor in(body.substr(1));
  if (request.kind == kHelperAccess || request.kind == kHelperOdbc) {
    request.timeout_s = static_cast<int>(in.U32());
  } else if (request.kind != kHelperExecute && request.kind != kHelperTable) {
    throw platform::Failure("database helper: unknown request");
  }
  request.text = std::string(in.Rest());
  return request;
}

std::string EncodeAnswer(int error_count, std::string_view record) {
  std::string answer(1, kHelperOk);
  PutU32(answer, static_cast<uint32_t>(error_count));
  answer.append(record);
  return answer;
}

std::string EncodeFailedAnswer(std::string_view description) {
  std::string answer(1, kHelperFailed);
  PutText(answer, description);
  return answer;
}

HelperAnswer DecodeAnswer(std::string_view body) {
  Cursor in(body);
  HelperAnswer answer;
  const uint8_t tag = in.Byte();
  if (tag == kHelperFailed) {
    answer.failure = in.Text();
  } else if (tag == kHelperOk) {
    answer.error_count = static_cast<int>(in.U32());
    answer.record = std::string(in.Rest());
  } else {
    throw platform::Failure("database helper: malformed answer");
  }
  return answer;
}

std::string EncodeRecord(const FirstRecord& record) {
  std::string out;
  out.push_back(record.has_columns ? 1 : 0);
  out.push_back(record.eof ? 1 : 0);
  PutU32(out, static_cast<uint32_t>(record.names.size()));
  for (const std::string& name : record.names) PutText(out, name);
  PutU32(out, static_cast<uint32_t>(record.values.size()));
  for (const Value& value : record.values) PutValue(out, value);
  return out;
}

FirstRecord DecodeRecord(std::string_view bytes) {
  Cursor in(bytes);
  FirstRecord record;
  record.has_columns = in.Byte() != 0;
  record.eof = in.Byte() != 0;
  // Each name and value takes at least one octet, so a count above the
  // bytes left is malformed; checked before anything is reserved.
  const uint32_t names = in.U32();
  if (names > bytes.size()) CutShort();
  for (uint32_t i = 0; i < names; ++i) record.names.push_back(in.Text());
  const uint32_t values = in.U32();
  if (values > bytes.size()) CutShort();
  for (uint32_t i = 0; i < values; ++i) record.values.push_back(GetValue(in));
  if (!in.AtEnd()) throw platform::Failure("database helper: trailing octets in an answer");
  return record;
}

std::unique_ptr<ProviderConnection> OpenHere(char kind, const std::string& target, int timeout_s,
                                             OperationNotes& notes) {
  if (kind == kHelperAccess) return OpenAccessFile(target);
  return OpenOdbc(target, timeout_s, notes);
}

}  // namespace upstest::store
