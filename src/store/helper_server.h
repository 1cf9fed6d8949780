// The database helper's own side: upstest-store's process setup and the
// loop that serves upstest's requests over its pipes (the bytes are those
// of store/helper_wire.h; upstest's side is store/helper.h).
#pragma once

#include <cstdint>

namespace upstest::store {

// The helper's address space limit, set by the helper itself, except in
// builds with AddressSanitizer, whose shadow memory needs far more. A
// corrupt file that makes a library allocate without end fails there.
inline constexpr uint64_t kHelperAddressSpace = uint64_t{512} << 20;
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kHelperLimitsAddressSpace = false;
#elif defined(__has_feature)
inline constexpr bool kHelperLimitsAddressSpace = !__has_feature(address_sanitizer);
#else
inline constexpr bool kHelperLimitsAddressSpace = true;
#endif

// First thing in the helper's main: asks to be killed when the process
// that started it ends (also by SIGKILL), then checks that its parent is
// still `parent` (the pid given as its argument), so that one that ended
// before the request was made is caught too; then limits its address space
// (kHelperAddressSpace, never above a stricter limit set already) and turns
// off core dumps. REQUIRES: the process has one thread (the death signal
// is tied to the thread that asks). False when `parent` is null or not the
// parent, or a step fails: the helper then ends at once.
bool PrepareHelperProcess(const char* parent);

// Reads request frames from `in_fd` and writes one answer frame for each
// to `out_fd`, blocking on both, until `in_fd` ends cleanly between frames
// (returns 0). At most one provider is open at a time: an open request
// closes the one before it. A request that fails (malformed, nothing open,
// the provider's own failure) is answered with kHelperFailed and its
// description, and the loop goes on. A frame cut short, one longer than
// kMaxHelperFrame, or a write that fails (upstest is gone) ends the loop
// with 1. The descriptors stay open.
int ServeHelperRequests(int in_fd, int out_fd);

}  // namespace upstest::store
