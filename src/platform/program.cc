#include "platform/program.h"

#include <climits>
#include <cstdlib>

namespace upstest::platform {

std::string ProgramDirectory() {
  char* resolved = realpath("/proc/self/exe", nullptr);
  if (resolved == nullptr) return {};
  std::string path(resolved);
  free(resolved);
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash);  // "/" itself becomes the empty text
}

std::string BaseDirectory(const std::string& program_directory) {
  constexpr size_t kCut = 8;  // "/apiexec"
  if (program_directory.size() < kCut) return {};
  return program_directory.substr(0, program_directory.size() - kCut);
}

std::string ArgumentText(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    const std::string arg(argv[i]);
    if (arg.empty() || arg.find_first_of(" \t") != std::string::npos) {
      text += '"' + arg + '"';
    } else {
      text += arg;
    }
  }
  return text;
}

}  // namespace upstest::platform
