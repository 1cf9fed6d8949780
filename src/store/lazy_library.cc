#include "store/lazy_library.h"

#include <dlfcn.h>

#include "platform/error.h"

namespace upstest::store {

LazyLibrary::LazyLibrary(const char* soname, const char* what) : what_(what) {
  // Kept for the rest of the process: never closed.
  handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    throw platform::Failure(what_ + " cannot be loaded: " + (why != nullptr ? why : soname));
  }
}

void* LazyLibrary::Symbol(const char* name) const {
  dlerror();
  void* address = dlsym(handle_, name);
  if (address == nullptr) {
    throw platform::Failure(what_ + " lacks the function " + std::string(name));
  }
  return address;
}

}  // namespace upstest::store
