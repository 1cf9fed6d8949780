// A shared library loaded only when first needed, so that a run whose
// databases are all SQLite never loads the ODBC driver manager or the
// Access file library.
#pragma once

#include <string>

namespace upstest::store {

class LazyLibrary {
 public:
  // Loads `soname` (dlopen); throws Failure naming `what` when it cannot.
  LazyLibrary(const char* soname, const char* what);
  // The address of `name`; throws Failure when the library lacks it.
  void* Symbol(const char* name) const;

 private:
  void* handle_;
  std::string what_;
};

// Fills `slot` with the library's function of the same type.
template <typename F>
void Bind(const LazyLibrary& library, const char* name, F*& slot) {
  slot = reinterpret_cast<F*>(library.Symbol(name));
}

}  // namespace upstest::store
