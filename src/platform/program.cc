#include "platform/program.h"

#include <unistd.h>

namespace upstest::platform {

std::string ProgramDirectory() {
  // The kernel's link already names the program by its absolute path with
  // every symbolic link resolved; resolving it again would cost a readlink
  // per path component.
  std::string path(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      break;
    }
    path.resize(path.size() * 2);
  }
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
