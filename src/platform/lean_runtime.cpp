// Small stand-ins for parts of GNU's C++ library that its own versions make large, linked into Zephrel.dll, the
// Windows checker and the Linux plug-in the tests load (whose version script keeps them local), so that what ships
// is what the suites run. The helpers that containers and strings call when a request cannot be met build the
// error classes of <stdexcept>, whose message strings bring in the library's whole string code; and the default
// terminate handler names an uncaught exception's type with the library's demangler. Either would take the DLL far
// past its size budget (the README's "How it is built and tested" gives the sizes measured). Nothing of ours asks
// such a failure for more than std::bad_alloc (memory ran out) or std::exception (what it says), and no exception of
// ours goes uncaught.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>  // declares the helpers replaced here

namespace {

// A request the library could not meet, with the library's own words for it.
class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* message) noexcept { std::snprintf(message_, sizeof message_, "%s", message); }
  LibraryError(const char* format, std::va_list arguments) noexcept {
    std::vsnprintf(message_, sizeof message_, format, arguments);
  }
  const char* what() const noexcept override { return message_; }

 private:
  char message_[160];
};

}  // namespace

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
// A size too large to hold is memory running out.
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char* message) { throw LibraryError(message); }
void __throw_invalid_argument(const char* message) { throw LibraryError(message); }
void __throw_out_of_range(const char* message) { throw LibraryError(message); }
void __throw_out_of_range_fmt(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  LibraryError error(format, arguments);
  va_end(arguments);
  throw error;
}
}  // namespace std

namespace __gnu_cxx {
// A player could not read the type's name anyway: ending the process is all it needs to do.
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
