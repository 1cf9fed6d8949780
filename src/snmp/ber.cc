#include "snmp/ber.h"

#include <cstdio>

namespace upstest::snmp::ber {

namespace {

constexpr size_t kMaxOidArcs = 128;

std::string Quote(std::string_view what) { return std::string(what); }

}  // namespace

std::string HexTag(uint8_t tag) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(tag));
  return text;
}

void AppendLength(std::string& out, size_t length) {
  if (length < 0x80) {
    out.push_back(static_cast<char>(length));
    return;
  }
  unsigned char octets[sizeof(size_t)];
  int n = 0;
  for (size_t rest = length; rest != 0; rest >>= 8) octets[n++] = static_cast<unsigned char>(rest);
  out.push_back(static_cast<char>(0x80 | n));
  while (n > 0) out.push_back(static_cast<char>(octets[--n]));
}

std::string Tlv(uint8_t tag, std::string_view content) {
  std::string out;
  out.reserve(content.size() + 6);
  out.push_back(static_cast<char>(tag));
  AppendLength(out, content.size());
  out.append(content);
  return out;
}

std::string EncodeSigned(int64_t value, uint8_t tag) {
  // Big-endian two's complement, then drop leading octets that only repeat
  // the sign of the next one.
  const uint64_t bits = static_cast<uint64_t>(value);
  unsigned char octets[8];
  for (int i = 0; i < 8; ++i) octets[i] = static_cast<unsigned char>(bits >> (8 * (7 - i)));
  int start = 0;
  while (start < 7 && ((octets[start] == 0x00 && (octets[start + 1] & 0x80) == 0) ||
                       (octets[start] == 0xff && (octets[start + 1] & 0x80) != 0))) {
    ++start;
  }
  return Tlv(tag, std::string_view(reinterpret_cast<const char*>(octets + start), 8 - start));
}

std::string EncodeUnsigned(uint64_t value, uint8_t tag) {
  unsigned char octets[9];
  octets[0] = 0;
  for (int i = 0; i < 8; ++i) octets[i + 1] = static_cast<unsigned char>(value >> (8 * (7 - i)));
  int start = 0;
  while (start < 8 && octets[start] == 0x00 && (octets[start + 1] & 0x80) == 0) ++start;
  return Tlv(tag, std::string_view(reinterpret_cast<const char*>(octets + start), 9 - start));
}

std::vector<uint32_t> ParseOid(std::string_view dotted) {
  const std::string text(dotted);
  auto fail = [&](const std::string& why) -> platform::Failure {
    return platform::Failure("invalid object identifier '" + text + "': " + why);
  };
  std::string_view rest = dotted;
  if (!rest.empty() && rest.front() == '.') rest.remove_prefix(1);
  std::vector<uint32_t> arcs;
  while (true) {
    const size_t dot = rest.find('.');
    const std::string_view arc = rest.substr(0, dot);
    if (arc.empty()) throw fail("empty arc");
    uint64_t value = 0;
    for (char c : arc) {
      if (c < '0' || c > '9') throw fail("not a decimal arc");
      value = value * 10 + static_cast<uint64_t>(c - '0');
      if (value > 0xffffffffu) throw fail("arc over 32 bits");
    }
    if (arcs.size() == kMaxOidArcs) throw fail("more than 128 arcs");
    arcs.push_back(static_cast<uint32_t>(value));
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  if (arcs.size() < 2) throw fail("fewer than two arcs");
  if (arcs[0] > 2) throw fail("first arc above 2");
  if (arcs[0] < 2 && arcs[1] >= 40) throw fail("second arc above 39");
  if (arcs[0] == 2 && arcs[1] > 0xffffffffu - 80) throw fail("second arc too large");
  return arcs;
}

std::string EncodeOid(std::string_view dotted) {
  const std::vector<uint32_t> arcs = ParseOid(dotted);
  std::string content;
  auto put = [&content](uint32_t value) {
    unsigned char groups[5];
    int n = 0;
    do {
      groups[n++] = static_cast<unsigned char>(value & 0x7f);
      value >>= 7;
    } while (value != 0);
    while (n > 1) content.push_back(static_cast<char>(groups[--n] | 0x80));
    content.push_back(static_cast<char>(groups[0]));
  };
  put(arcs[0] * 40 + arcs[1]);
  for (size_t i = 2; i < arcs.size(); ++i) put(arcs[i]);
  return Tlv(kObjectId, content);
}

Element Reader::Next(std::string_view what) {
  const std::string name = Quote(what);
  const char* past = outer_ ? "the datagram" : "its enclosing value";
  if (rest_.empty()) throw DecodeError(name + ": missing, " + past + " ends");
  const auto tag = static_cast<uint8_t>(rest_[0]);
  if ((tag & 0x1f) == 0x1f) throw DecodeError(name + ": multi-octet tag " + HexTag(tag));
  if (rest_.size() < 2) throw DecodeError(name + ": length missing, " + past + " ends");
  const auto first = static_cast<uint8_t>(rest_[1]);
  size_t header = 2;
  size_t length = 0;
  if (first < 0x80) {
    length = first;
  } else if (first == 0x80) {
    throw DecodeError(name + ": indefinite length");
  } else {
    const size_t octets = first & 0x7f;
    if (octets > 4) {
      throw DecodeError(name + ": length field of " + std::to_string(octets) + " octets");
    }
    if (rest_.size() - 2 < octets) throw DecodeError(name + ": length field runs past " + past);
    for (size_t i = 0; i < octets; ++i) {
      length = (length << 8) | static_cast<uint8_t>(rest_[2 + i]);
    }
    header += octets;
  }
  if (length > rest_.size() - header) {
    throw DecodeError(name + ": length " + std::to_string(length) + " runs past " + past + " (" +
                      std::to_string(rest_.size() - header) + " octets left)");
  }
  Element element{tag, rest_.substr(header, length)};
  rest_.remove_prefix(header + length);
  return element;
}

Element Reader::Expect(uint8_t tag, std::string_view what) {
  Element element = Next(what);
  if (element.tag != tag) {
    throw DecodeError(Quote(what) + ": tag " + HexTag(element.tag) + " where " + HexTag(tag) +
                      " belongs");
  }
  return element;
}

void Reader::ExpectEnd(std::string_view what) const {
  if (!rest_.empty()) {
    throw DecodeError(std::to_string(rest_.size()) + " trailing octets " +
                      (outer_ ? "after " : "inside ") + Quote(what));
  }
}

int64_t DecodeSigned(std::string_view content, int bits, std::string_view what) {
  if (content.empty()) throw DecodeError(Quote(what) + ": integer without content");
  if (content.size() * 8 > static_cast<size_t>(bits)) {
    throw DecodeError(Quote(what) + ": integer of " + std::to_string(content.size()) +
                      " octets too wide for " + std::to_string(bits) + " bits");
  }
  uint64_t value = (static_cast<uint8_t>(content[0]) & 0x80) ? ~uint64_t{0} : 0;
  for (char c : content) value = (value << 8) | static_cast<uint8_t>(c);
  return static_cast<int64_t>(value);
}

uint64_t DecodeUnsigned(std::string_view content, int bits, std::string_view what) {
  if (content.empty()) throw DecodeError(Quote(what) + ": integer without content");
  if (static_cast<uint8_t>(content[0]) & 0x80) {
    throw DecodeError(Quote(what) + ": negative value for an unsigned type");
  }
  std::string_view digits = content;
  while (digits.size() > 1 && digits[0] == 0) digits.remove_prefix(1);
  const size_t limit = static_cast<size_t>(bits) / 8;
  // One leading zero octet is needed when the top bit of the value is set.
  if (content.size() > limit + 1 || digits.size() > limit) {
    throw DecodeError(Quote(what) + ": integer of " + std::to_string(content.size()) +
                      " octets too wide for " + std::to_string(bits) + " bits");
  }
  uint64_t value = 0;
  for (char c : digits) value = (value << 8) | static_cast<uint8_t>(c);
  return value;
}

std::string DecodeOid(std::string_view content, std::string_view what) {
  if (content.empty()) throw DecodeError(Quote(what) + ": empty object identifier");
  std::string text;
  size_t pos = 0;
  size_t arcs = 0;
  while (pos < content.size()) {
    if (static_cast<uint8_t>(content[pos]) == 0x80) {
      throw DecodeError(Quote(what) + ": sub-identifier not in its shortest form");
    }
    uint64_t value = 0;
    bool more = true;
    while (more) {
      if (pos == content.size()) throw DecodeError(Quote(what) + ": last sub-identifier cut off");
      const auto octet = static_cast<uint8_t>(content[pos++]);
      value = (value << 7) | (octet & 0x7f);
      if (value > 0xffffffffu) throw DecodeError(Quote(what) + ": sub-identifier over 32 bits");
      more = (octet & 0x80) != 0;
    }
    if (arcs == 0) {
      const uint64_t first = value < 40 ? 0 : value < 80 ? 1 : 2;
      text = std::to_string(first) + "." + std::to_string(value - first * 40);
      arcs = 2;
    } else {
      if (++arcs > kMaxOidArcs) throw DecodeError(Quote(what) + ": more than 128 sub-identifiers");
      text += "." + std::to_string(value);
    }
  }
  return text;
}

std::string DecodeIpAddress(std::string_view content, std::string_view what) {
  if (content.size() != 4) {
    throw DecodeError(Quote(what) + ": IpAddress of " + std::to_string(content.size()) + " octets");
  }
  std::string text;
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    text += std::to_string(static_cast<uint8_t>(content[i]));
  }
  return text;
}

}  // namespace upstest::snmp::ber
