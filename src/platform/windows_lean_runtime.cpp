// Linked into the DLL and the checker only, not into the layer: a program that also needs another of these
// helpers (gtest does) takes the library's whole set of them, and the two sets would collide.
#include <new>
#include <string>  // declares the helpers replaced here

// The C++ library's helpers that its containers and strings call when a request cannot be met. The library's own
// build the error classes of <stdexcept>, whose message strings bring in its whole string code (about 85 KB);
// nothing of ours asks such a failure for its class or message, only whether memory ran out. A size too large to
// hold is memory running out; anything else is a fault that the catch around each callback contains.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw exception(); }
void __throw_invalid_argument(const char*) { throw exception(); }
void __throw_out_of_range(const char*) { throw exception(); }
void __throw_out_of_range_fmt(const char*, ...) { throw exception(); }
}  // namespace std
