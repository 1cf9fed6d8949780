#include "platform/stderr_line.h"

namespace upstest::platform {

std::string CutStderrLine(std::string_view line) {
  if (line.size() <= kLongestStderrLine) return std::string(line);
  constexpr std::string_view kMarker = "...";
  size_t keep = kLongestStderrLine - kMarker.size();
  // Back to the start of a character: a continuation octet is 10xxxxxx.
  for (int i = 0; i < 3 && keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80;
       ++i) {
    --keep;
  }
  std::string cut(line.substr(0, keep));
  cut += kMarker;
  return cut;
}

}  // namespace upstest::platform
