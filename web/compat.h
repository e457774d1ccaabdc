#pragma once
// The C++ library of Debian's emscripten (LLVM 14's) predates std::bit_cast; the compiler's builtin does the work.

#include <bit>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <typename To, typename From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
