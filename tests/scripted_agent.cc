// scripted_agent: a UDP SNMP agent that answers each GET request the way its
// script says, for the answers a real agent never gives: none at all, only
// to the repeated request, an error status, a wrong request id, a datagram
// that is no SNMP message, a fifth binding.
//
//   scripted_agent --port P --log FILE [--addr A] [--limit-seconds N]
//                  [--bind SPEC]... REACTION...
//
// REACTION k tells what to send back for the k-th request received; requests
// beyond the list are dropped. A reaction is one or more of these, joined by
// '+', sent in that order:
//   drop          nothing
//   answer        a response with the request's id, error status 0 and the
//                 bindings of --bind (binding i named by the request's i-th
//                 OID, or 1.3.6.1.2.1.1.9.i when the request has fewer)
//   answer@ID     the same with request id ID
//   error:S:I     error status S, error index I, the request's OIDs with NULL
//   garbage       a datagram that is no BER message
//   getrequest    a well-formed GetRequest instead of a response
//   flood:W:S     for S seconds, without pause, datagrams of kind W: garbage,
//                 stale (an answer with the request's id less one), or
//                 answer (the answer itself, again and again); the
//                 agent does nothing else meanwhile and logs "flooded K N"
//                 with the count once it is over
// A binding SPEC is one of: i:N (INTEGER), s:TEXT (OCTET STRING), n (NULL),
// nso, nsi, eom (noSuchObject, noSuchInstance, endOfMibView), c:N, g:N, t:N
// (Counter32, Gauge32, TimeTicks), ip:A.B.C.D (IpAddress), o:OID.
//
// The log gets "ready" once the socket is bound, then one line per request
// ("request K version=V community=C id=ID oids=O1,O2,...") and one per
// datagram sent ("sent K WHAT"). The agent answers in the request's version
// and community and ends by itself after --limit-seconds (default 120).
//
// It encodes and decodes BER on its own, apart from the code under test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// --- Encoding ---------------------------------------------------------------

std::string Length(size_t n) {
  if (n < 0x80) return std::string(1, static_cast<char>(n));
  std::string bytes;
  while (n > 0) {
    bytes.insert(bytes.begin(), static_cast<char>(n & 0xff));
    n >>= 8;
  }
  return std::string(1, static_cast<char>(0x80 | bytes.size())) + bytes;
}

std::string Tlv(uint8_t tag, const std::string& content) {
  return std::string(1, static_cast<char>(tag)) + Length(content.size()) + content;
}

// Two's complement, shortest form.
std::string IntegerContent(int64_t v) {
  std::string bytes;
  for (;;) {
    bytes.insert(bytes.begin(), static_cast<char>(v & 0xff));
    const int64_t rest = v >> 8;
    const bool sign = (v & 0x80) != 0;
    if ((rest == 0 && !sign) || (rest == -1 && sign)) break;
    v = rest;
  }
  return bytes;
}

std::string Integer(int64_t v) { return Tlv(0x02, IntegerContent(v)); }

std::optional<std::vector<uint32_t>> ParseOid(std::string_view text) {
  std::vector<uint32_t> arcs;
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  while (!text.empty()) {
    const size_t dot = text.find('.');
    const std::string part(text.substr(0, dot));
    if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos) return {};
    const unsigned long long v = std::strtoull(part.c_str(), nullptr, 10);
    if (v > 0xffffffffULL) return {};
    arcs.push_back(static_cast<uint32_t>(v));
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  if (arcs.size() < 2 || arcs[0] > 2) return {};
  return arcs;
}

std::string OidContent(const std::vector<uint32_t>& arcs) {
  std::string out;
  auto base128 = [&out](uint64_t v) {
    std::string bytes(1, static_cast<char>(v & 0x7f));
    while ((v >>= 7) > 0) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (v & 0x7f)));
    out += bytes;
  };
  base128(uint64_t{arcs[0]} * 40 + arcs[1]);
  for (size_t i = 2; i < arcs.size(); ++i) base128(arcs[i]);
  return out;
}

std::string Oid(const std::string& text) {
  const auto arcs = ParseOid(text);
  if (!arcs) {
    std::fprintf(stderr, "scripted_agent: bad OID %s\n", text.c_str());
    std::exit(2);
  }
  return Tlv(0x06, OidContent(*arcs));
}

// A binding value from its SPEC; exits on a SPEC it does not know.
std::string Value(const std::string& spec) {
  const size_t colon = spec.find(':');
  const std::string kind = spec.substr(0, colon);
  const std::string arg = colon == std::string::npos ? "" : spec.substr(colon + 1);
  if (kind == "i") return Integer(std::strtoll(arg.c_str(), nullptr, 10));
  if (kind == "s") return Tlv(0x04, arg);
  if (kind == "n") return Tlv(0x05, "");
  if (kind == "nso") return Tlv(0x80, "");
  if (kind == "nsi") return Tlv(0x81, "");
  if (kind == "eom") return Tlv(0x82, "");
  if (kind == "c" || kind == "g" || kind == "t") {
    const uint8_t tag = kind == "c" ? 0x41 : kind == "g" ? 0x42 : 0x43;
    return Tlv(tag, IntegerContent(static_cast<int64_t>(std::strtoull(arg.c_str(), nullptr, 10))));
  }
  if (kind == "ip") {
    in_addr a{};
    if (inet_pton(AF_INET, arg.c_str(), &a) == 1) {
      return Tlv(0x40, std::string(reinterpret_cast<const char*>(&a), 4));
    }
  }
  if (kind == "o") return Oid(arg);
  std::fprintf(stderr, "scripted_agent: bad binding %s\n", spec.c_str());
  std::exit(2);
}

// --- Decoding of the request --------------------------------------------------

struct Reader {
  std::string_view data;
  bool ok = true;

  // Reads one TLV with the expected tag; its content goes to *content.
  bool Next(uint8_t tag, std::string_view* content) {
    if (!ok || data.size() < 2 || static_cast<uint8_t>(data[0]) != tag) return ok = false;
    size_t pos = 1;
    size_t len = static_cast<uint8_t>(data[pos++]);
    if (len & 0x80) {
      const size_t n = len & 0x7f;
      if (n == 0 || n > 4 || data.size() < pos + n) return ok = false;
      len = 0;
      for (size_t i = 0; i < n; ++i) len = (len << 8) | static_cast<uint8_t>(data[pos++]);
    }
    if (len > data.size() - pos) return ok = false;
    *content = data.substr(pos, len);
    data.remove_prefix(pos + len);
    return true;
  }

  std::optional<int64_t> Int() {
    std::string_view c;
    if (!Next(0x02, &c) || c.empty() || c.size() > 8) return ok = false, std::nullopt;
    int64_t v = static_cast<int8_t>(c[0]);
    for (size_t i = 1; i < c.size(); ++i) v = v * 256 + static_cast<uint8_t>(c[i]);
    return v;
  }
};

std::string OidText(std::string_view c) {
  std::string out;
  uint64_t v = 0;
  bool first = true;
  for (char ch : c) {
    const uint8_t b = static_cast<uint8_t>(ch);
    v = (v << 7) | (b & 0x7f);
    if (v > 0xffffffffULL * 40) return "?";
    if (b & 0x80) continue;
    if (first) {
      const uint64_t top = v < 80 ? v / 40 : 2;
      out = std::to_string(top) + "." + std::to_string(v - top * 40);
      first = false;
    } else {
      out += "." + std::to_string(v);
    }
    v = 0;
  }
  return out;
}

struct Request {
  int64_t version = 0;
  std::string community;
  int64_t id = 0;
  std::vector<std::string> oids;
};

std::optional<Request> DecodeRequest(std::string_view datagram) {
  Reader top{datagram};
  std::string_view message;
  if (!top.Next(0x30, &message)) return {};
  Reader m{message};
  Request r;
  std::string_view community, pdu;
  const auto version = m.Int();
  if (!version || !m.Next(0x04, &community) || !m.Next(0xa0, &pdu)) return {};
  r.version = *version;
  r.community = std::string(community);
  Reader p{pdu};
  const auto id = p.Int();
  std::string_view list;
  if (!id || !p.Int() || !p.Int() || !p.Next(0x30, &list)) return {};
  r.id = *id;
  Reader l{list};
  while (!l.data.empty()) {
    std::string_view bind, oid;
    if (!l.Next(0x30, &bind)) return {};
    Reader b{bind};
    if (!b.Next(0x06, &oid)) return {};
    r.oids.push_back(OidText(oid));
  }
  return r;
}

// --- Answers ------------------------------------------------------------------

std::string Message(const Request& r, uint8_t pdu_tag, int64_t id, int64_t error_status,
                    int64_t error_index, const std::string& bindings) {
  const std::string pdu =
      Integer(id) + Integer(error_status) + Integer(error_index) + Tlv(0x30, bindings);
  return Tlv(0x30, Integer(r.version) + Tlv(0x04, r.community) + Tlv(pdu_tag, pdu));
}

std::string BindingName(const Request& r, size_t i) {
  return i < r.oids.size() ? r.oids[i] : "1.3.6.1.2.1.1.9." + std::to_string(i + 1);
}

std::string Answer(const Request& r, int64_t id, const std::vector<std::string>& binds) {
  std::string list;
  for (size_t i = 0; i < binds.size(); ++i) {
    list += Tlv(0x30, Oid(BindingName(r, i)) + Value(binds[i]));
  }
  return Message(r, 0xa2, id, 0, 0, list);
}

std::string ErrorAnswer(const Request& r, int64_t status, int64_t index) {
  std::string list;
  for (const auto& oid : r.oids) list += Tlv(0x30, Oid(oid) + Tlv(0x05, ""));
  return Message(r, 0xa2, r.id, status, index, list);
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(sep, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: scripted_agent --port P --log FILE [--addr A] [--limit-seconds N] "
               "[--bind SPEC]... REACTION...\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  std::string addr = "127.0.0.1", log_path;
  int port = 0;
  int limit_seconds = 120;
  std::vector<std::string> binds, reactions;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) Usage();
      return argv[++i];
    };
    if (a == "--port") {
      port = std::atoi(next().c_str());
    } else if (a == "--addr") {
      addr = next();
    } else if (a == "--log") {
      log_path = next();
    } else if (a == "--limit-seconds") {
      limit_seconds = std::atoi(next().c_str());
    } else if (a == "--bind") {
      binds.push_back(next());
      Value(binds.back());  // rejects a bad SPEC before anything starts
    } else if (a.rfind("--", 0) == 0) {
      Usage();
    } else {
      reactions.push_back(a);
    }
  }
  if (port <= 0 || port > 65535 || log_path.empty()) Usage();

  FILE* log = std::fopen(log_path.c_str(), "a");
  if (log == nullptr) {
    std::perror(log_path.c_str());
    return 1;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<uint16_t>(port));
  if (fd < 0 || inet_pton(AF_INET, addr.c_str(), &local.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    std::perror("scripted_agent: bind");
    return 1;
  }
  std::fprintf(log, "ready\n");
  std::fflush(log);

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
  size_t received = 0;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[65536];
    sockaddr_in peer{};
    socklen_t peer_len = sizeof peer;
    const ssize_t n =
        recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&peer), &peer_len);
    if (n < 0) continue;
    ++received;
    const auto request = DecodeRequest(std::string_view(buf, static_cast<size_t>(n)));
    if (!request) {
      std::fprintf(log, "request %zu undecodable (%zd bytes)\n", received, n);
      std::fflush(log);
      continue;
    }
    std::string oids;
    for (const auto& o : request->oids) oids += (oids.empty() ? "" : ",") + o;
    std::fprintf(log, "request %zu version=%lld community=%s id=%lld oids=%s\n", received,
                 static_cast<long long>(request->version), request->community.c_str(),
                 static_cast<long long>(request->id), oids.c_str());
    std::fflush(log);
    const std::string reaction = received <= reactions.size() ? reactions[received - 1] : "drop";
    for (const std::string& step : Split(reaction, '+')) {
      std::string out;
      if (step == "drop") {
        continue;
      } else if (step == "answer") {
        out = Answer(*request, request->id, binds);
      } else if (step.rfind("answer@", 0) == 0) {
        out = Answer(*request, std::strtoll(step.c_str() + 7, nullptr, 10), binds);
      } else if (step.rfind("error:", 0) == 0) {
        const auto parts = Split(step, ':');
        if (parts.size() != 3) Usage();
        out = ErrorAnswer(*request, std::atoll(parts[1].c_str()), std::atoll(parts[2].c_str()));
      } else if (step == "garbage") {
        out = std::string("\x30\x84\xff\xff\xff\xff\x02\x01", 8) + "not an SNMP message";
      } else if (step.rfind("flood:", 0) == 0) {
        const auto parts = Split(step, ':');
        if (parts.size() != 3 ||
            (parts[1] != "garbage" && parts[1] != "stale" && parts[1] != "answer")) {
          Usage();
        }
        const std::string datagram =
            parts[1] == "garbage"
                ? std::string("\x30\x84\xff\xff\xff\xff\x02\x01", 8) + "not an SNMP message"
                : Answer(*request, request->id - (parts[1] == "stale" ? 1 : 0), binds);
        const auto stop =
            std::chrono::steady_clock::now() + std::chrono::seconds(std::atoll(parts[2].c_str()));
        size_t count = 0;
        while (std::chrono::steady_clock::now() < stop) {
          if (sendto(fd, datagram.data(), datagram.size(), MSG_DONTWAIT,
                     reinterpret_cast<sockaddr*>(&peer), peer_len) > 0) {
            ++count;
          }
        }
        std::fprintf(log, "flooded %zu %zu\n", received, count);
        std::fflush(log);
        continue;
      } else if (step == "getrequest") {
        std::string list;
        for (const auto& oid : request->oids) list += Tlv(0x30, Oid(oid) + Tlv(0x05, ""));
        out = Message(*request, 0xa0, request->id, 0, 0, list);
      } else {
        std::fprintf(stderr, "scripted_agent: bad reaction %s\n", step.c_str());
        return 2;
      }
      sendto(fd, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&peer), peer_len);
      std::fprintf(log, "sent %zu %s\n", received, step.c_str());
      std::fflush(log);
    }
  }
  close(fd);
  std::fclose(log);
  return 0;
}
