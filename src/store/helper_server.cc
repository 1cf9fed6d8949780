#include "store/helper_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "store/helper_wire.h"

namespace upstest::store {
namespace {

// The helper's pipes block: it has nothing else to do while it waits, and
// upstest bounds every wait from its side.

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw platform::Failure("database helper ended unexpectedly");
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

// False at a clean end of the pipe before a frame begins.
bool ReadExactly(int fd, char* data, size_t size, bool allow_end) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 && done == 0 && allow_end) return false;
    if (n <= 0) throw platform::Failure("database helper ended unexpectedly");
    done += static_cast<size_t>(n);
  }
  return true;
}

// False at a clean end of the pipe between frames.
bool ReceiveFrame(int fd, std::string& body) {
  char header[kHelperFrameHeader];
  if (!ReadExactly(fd, header, sizeof header, true)) return false;
  body.resize(DecodeFrameLength(std::string_view(header, sizeof header)));
  ReadExactly(fd, body.data(), body.size(), false);
  return true;
}

// The answer to one request; a failure of the operation is an answer too.
std::string Answer(std::string_view body, std::unique_ptr<ProviderConnection>& provider) {
  try {
    const HelperRequest request = DecodeRequest(body);
    OperationNotes notes;
    std::string record;
    if (request.kind == kHelperAccess || request.kind == kHelperOdbc) {
      provider.reset();  // the one before is closed before the next opens
      provider = OpenHere(request.kind, request.text, request.timeout_s, notes);
    } else {
      if (!provider) throw platform::Failure("database helper: nothing is open");
      record =
          EncodeRecord(request.kind == kHelperExecute ? provider->Execute(request.text, notes)
                                                      : provider->OpenTable(request.text, notes));
    }
    return EncodeAnswer(notes.error_count, record);
  } catch (const std::exception& e) {
    return EncodeFailedAnswer(e.what());
  }
}

}  // namespace

bool PrepareHelperProcess(const char* parent) {
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return false;
  if (parent == nullptr || std::to_string(::getppid()) != parent) return false;
  const rlimit no_core{0, 0};
  if (::setrlimit(RLIMIT_CORE, &no_core) != 0) return false;
  if (kHelperLimitsAddressSpace) {
    // Never above a stricter limit set already (raising one needs rights).
    rlimit address_space;
    if (::getrlimit(RLIMIT_AS, &address_space) != 0) return false;
    const rlim_t cap = std::min<rlim_t>(kHelperAddressSpace, address_space.rlim_max);
    address_space = {std::min(cap, address_space.rlim_cur), cap};
    if (::setrlimit(RLIMIT_AS, &address_space) != 0) return false;
  }
  return true;
}

int ServeHelperRequests(int in_fd, int out_fd) {
  std::unique_ptr<ProviderConnection> provider;
  std::string request;
  try {
    while (ReceiveFrame(in_fd, request)) WriteAll(out_fd, EncodeFrame(Answer(request, provider)));
  } catch (const std::exception&) {
    return 1;  // the pipe broke: the program is gone
  }
  return 0;
}

}  // namespace upstest::store
