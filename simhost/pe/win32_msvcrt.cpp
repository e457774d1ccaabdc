// msvcrt stand-ins other than files: memory, strings, the "C" locale, errno, start-up and exit.
// cdecl like msvcrt itself; each wraps the host's function so that arguments the host's headers declare
// non-null but msvcrt accepts with a zero length are handled here.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "win32_msvcrt.h"

// msvcrt's setjmp/longjmp, on its jump buffer: Ebp, Ebx, Edi, Esi, Esp, Eip, Registration, TryLevel,
// Cookie, UnwindFunc, UnwindData[6]. Registration is the SEH chain head at fs:0.
extern "C" int simhost_pe_setjmp3(void* buffer, int count, ...);
extern "C" [[noreturn]] void simhost_pe_longjmp(void* buffer, int value);
asm(R"(
    .text
    .globl simhost_pe_setjmp3
    .hidden simhost_pe_setjmp3
    .type simhost_pe_setjmp3, @function
simhost_pe_setjmp3:
    movl 4(%esp), %edx
    movl %ebp, 0(%edx)
    movl %ebx, 4(%edx)
    movl %edi, 8(%edx)
    movl %esi, 12(%edx)
    leal 4(%esp), %ecx
    movl %ecx, 16(%edx)
    movl (%esp), %ecx
    movl %ecx, 20(%edx)
    movl %fs:0, %ecx
    movl %ecx, 24(%edx)
    movl $-1, 28(%edx)
    movl $0x56433230, 32(%edx)
    movl $0, 36(%edx)
    xorl %eax, %eax
    ret
    .size simhost_pe_setjmp3, .-simhost_pe_setjmp3

    .globl simhost_pe_longjmp
    .hidden simhost_pe_longjmp
    .type simhost_pe_longjmp, @function
simhost_pe_longjmp:
    movl 4(%esp), %edx
    movl 8(%esp), %eax
    testl %eax, %eax
    jnz 1f
    incl %eax
1:  movl 0(%edx), %ebp
    movl 4(%edx), %ebx
    movl 8(%edx), %edi
    movl 12(%edx), %esi
    movl 24(%edx), %ecx
    movl %ecx, %fs:0
    movl 16(%edx), %esp
    jmp *20(%edx)
    .size simhost_pe_longjmp, .-simhost_pe_longjmp
)");

namespace simhost::pe::detail {
namespace {

int msvcrt_errno_value = 0;
int mb_cur_max = 1;

SHIM_CDECL int* msvcrt_errno() { return &msvcrt_errno_value; }

// --- memory and strings ----------------------------------------------------------------------------
SHIM_CDECL void* msvcrt_malloc(size_t n) { return std::malloc(n); }
SHIM_CDECL void* msvcrt_calloc(size_t n, size_t size) { return std::calloc(n, size); }
SHIM_CDECL void* msvcrt_realloc(void* p, size_t n) { return std::realloc(p, n); }
SHIM_CDECL void msvcrt_free(void* p) { std::free(p); }

SHIM_CDECL void* msvcrt_memcpy(void* d, const void* s, size_t n) { return n ? std::memcpy(d, s, n) : d; }
SHIM_CDECL void* msvcrt_memmove(void* d, const void* s, size_t n) { return n ? std::memmove(d, s, n) : d; }
SHIM_CDECL void* msvcrt_memset(void* d, int c, size_t n) { return n ? std::memset(d, c, n) : d; }
SHIM_CDECL int msvcrt_memcmp(const void* a, const void* b, size_t n) { return n ? std::memcmp(a, b, n) : 0; }
SHIM_CDECL const void* msvcrt_memchr(const void* p, int c, size_t n) { return n ? std::memchr(p, c, n) : nullptr; }
SHIM_CDECL size_t msvcrt_strlen(const char* s) { return std::strlen(s); }
SHIM_CDECL int msvcrt_strcmp(const char* a, const char* b) { return std::strcmp(a, b); }
SHIM_CDECL int msvcrt_strncmp(const char* a, const char* b, size_t n) { return n ? std::strncmp(a, b, n) : 0; }
SHIM_CDECL char* msvcrt_strncpy(char* d, const char* s, size_t n) { return n ? std::strncpy(d, s, n) : d; }
SHIM_CDECL const char* msvcrt_strchr(const char* s, int c) { return std::strchr(s, c); }
SHIM_CDECL const char* msvcrt_strrchr(const char* s, int c) { return std::strrchr(s, c); }
SHIM_CDECL char* msvcrt_strcpy(char* to, const char* from) { return std::strcpy(to, from); }

SHIM_CDECL char* msvcrt_strdup(const char* s) {
  if (!s) return nullptr;
  size_t n = std::strlen(s) + 1;
  auto* p = static_cast<char*>(std::malloc(n));
  if (p) std::memcpy(p, s, n);
  return p;
}

SHIM_CDECL long msvcrt_strtol(const char* s, char** end, int base) {
  errno = 0;
  long v = std::strtol(s, end, base);
  if (errno) set_errno_from_host();
  return v;
}

SHIM_CDECL int msvcrt_atoi(const char* s) { return static_cast<int>(std::strtol(s, nullptr, 10)); }

SHIM_CDECL char* msvcrt_ultoa(unsigned long value, char* out, int radix) {
  if (radix < 2 || radix > 36) {
    set_errno(EINVAL);
    *out = '\0';
    return out;
  }
  char digits[33];
  int n = 0;
  do {
    unsigned long d = value % static_cast<unsigned>(radix);
    digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
    value /= static_cast<unsigned>(radix);
  } while (value);
  for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  out[n] = '\0';
  return out;
}

SHIM_CDECL char* msvcrt_strerror(int e) {
  static char text[128];
  std::snprintf(text, sizeof text, "%s", e > 0 && e <= 34 ? std::strerror(e) : "Unknown error");
  return text;
}

// --- the "C" locale --------------------------------------------------------------------------------
// Collation in the "C" locale is plain byte (or code unit) order.
SHIM_CDECL int msvcrt_strcoll(const char* a, const char* b) { return std::strcmp(a, b); }

SHIM_CDECL size_t msvcrt_strxfrm(char* d, const char* s, size_t n) {
  size_t len = std::strlen(s);
  if (len < n) std::memcpy(d, s, len + 1);
  return len;
}

size_t wide_length(const WCHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

SHIM_CDECL size_t msvcrt_wcslen(const WCHAR* s) { return wide_length(s); }

SHIM_CDECL int msvcrt_wcscoll(const WCHAR* a, const WCHAR* b) {
  for (;; ++a, ++b)
    if (*a != *b || !*a) return *a < *b ? -1 : *a > *b ? 1 : 0;
}

SHIM_CDECL size_t msvcrt_wcsxfrm(WCHAR* d, const WCHAR* s, size_t n) {
  size_t len = wide_length(s);
  if (len < n) std::memcpy(d, s, (len + 1) * sizeof(WCHAR));
  return len;
}

// msvcrt's ctype bits.
constexpr uint32_t kUpper = 0x1, kLower = 0x2, kDigit = 0x4, kSpace = 0x8, kPunct = 0x10, kControl = 0x20,
                   kBlank = 0x40, kHex = 0x80, kAlpha = 0x100;

// Classes of Latin-1 code points; above that, nothing is classified.
uint32_t classes(uint32_t c) {
  if (c < 0x80) {
    uint32_t m = 0;
    if (c >= 'A' && c <= 'Z') m |= kUpper | kAlpha;
    if (c >= 'a' && c <= 'z') m |= kLower | kAlpha;
    if (c >= '0' && c <= '9') m |= kDigit | kHex;
    if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) m |= kHex;
    if (c == ' ' || (c >= 9 && c <= 13)) m |= kSpace;
    if (c == ' ' || c == '\t') m |= kBlank;
    if (c < 0x20 || c == 0x7F) m |= kControl;
    if (c > 0x20 && c < 0x7F && !(m & (kAlpha | kDigit))) m |= kPunct;
    return m;
  }
  if (c < 0xA0) return kControl;
  if (c == 0xA0) return kSpace | kBlank;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return kUpper | kAlpha;
  if (c >= 0xDF && c <= 0xFF && c != 0xF7) return kLower | kAlpha;
  if (c == 0xAA || c == 0xB5 || c == 0xBA) return kLower | kAlpha;
  if (c < 0x100) return kPunct;
  return 0;
}

// wint_t and wctype_t are 16 bits in msvcrt; the stack slots carry junk above them.
SHIM_CDECL int msvcrt_iswctype(uint32_t c, uint32_t mask) {
  return static_cast<int>(classes(c & 0xFFFF) & (mask & 0xFFFF));
}

SHIM_CDECL uint32_t msvcrt_towlower(uint32_t c) {
  c &= 0xFFFF;
  return classes(c) & kUpper ? c + 0x20 : c;
}

SHIM_CDECL uint32_t msvcrt_towupper(uint32_t c) {
  c &= 0xFFFF;
  bool has_upper = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
  return has_upper ? c - 0x20 : c;
}

char c_locale_name[] = "C";

SHIM_CDECL char* msvcrt_setlocale(int category, const char* name) {
  if (category < 0 || category > 5) return nullptr;
  if (!name || !*name || std::strcmp(name, "C") == 0) return c_locale_name;
  return nullptr;  // the simulated machine has no other locale
}

// msvcrt's struct lconv, with the wide copies newer msvcrt versions append.
struct Lconv {
  const char *decimal_point, *thousands_sep, *grouping, *int_curr_symbol, *currency_symbol, *mon_decimal_point,
      *mon_thousands_sep, *mon_grouping, *positive_sign, *negative_sign;
  char int_frac_digits, frac_digits, p_cs_precedes, p_sep_by_space, n_cs_precedes, n_sep_by_space, p_sign_posn,
      n_sign_posn;
  const WCHAR *w_decimal_point, *w_thousands_sep, *w_int_curr_symbol, *w_currency_symbol, *w_mon_decimal_point,
      *w_mon_thousands_sep, *w_positive_sign, *w_negative_sign;
};
static_assert(sizeof(Lconv) == 80);

SHIM_CDECL Lconv* msvcrt_localeconv() {
  static Lconv c{".",  "",       "",       "",       "",       "",       "",       "",       "",
                 "",   CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX,
                 u".", u"",      u"",      u"",      u"",      u"",      u"",      u""};
  return &c;
}

struct Tm {  // msvcrt's struct tm: the nine standard fields and nothing more
  int sec, min, hour, mday, mon, year, wday, yday, isdst;
};

std::tm host_tm(const Tm* t) {
  std::tm h{};
  h.tm_sec = t->sec, h.tm_min = t->min, h.tm_hour = t->hour, h.tm_mday = t->mday, h.tm_mon = t->mon;
  h.tm_year = t->year, h.tm_wday = t->wday, h.tm_yday = t->yday, h.tm_isdst = t->isdst;
  return h;
}

SHIM_CDECL size_t msvcrt_strftime(char* out, size_t max, const char* fmt, const Tm* t) {
  std::tm h = host_tm(t);
  return max ? std::strftime(out, max, fmt, &h) : 0;
}

SHIM_CDECL size_t msvcrt_wcsftime(WCHAR* out, size_t max, const WCHAR* fmt, const Tm* t) {
  std::tm h = host_tm(t);
  std::vector<char> narrow_out(max * 4 + 1);
  size_t n = std::strftime(narrow_out.data(), narrow_out.size(), narrow(fmt).c_str(), &h);
  if (n == 0 || n >= max) return 0;  // the "C" locale's output is ASCII: one code unit per byte
  for (size_t i = 0; i <= n; ++i) out[i] = static_cast<unsigned char>(narrow_out[i]);
  return n;
}

// --- start-up, threads, exit -----------------------------------------------------------------------
SHIM_CDECL void msvcrt_initterm(void (**begin)(), void (**end)()) {
  for (; begin < end; ++begin)
    if (*begin) (*begin)();
}

std::recursive_mutex runtime_locks[64];

SHIM_CDECL void msvcrt_lock(int which) {
  if (which >= 0 && which < 64) runtime_locks[which].lock();
}

SHIM_CDECL void msvcrt_unlock(int which) {
  if (which >= 0 && which < 64) runtime_locks[which].unlock();
}

[[noreturn]] void stop(const char* what) {
  std::fprintf(stderr, "simhost pe: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

SHIM_CDECL void msvcrt_abort() { stop("DLL called abort()"); }

SHIM_CDECL void msvcrt_exit(int code) {
  std::fprintf(stderr, "simhost pe: DLL called exit(%d)\n", code);
  std::exit(code);
}

SHIM_CDECL void msvcrt_amsg_exit(int code) {
  std::fprintf(stderr, "simhost pe: runtime error R60%02d\n", code);
  std::fflush(stderr);
  std::_Exit(255);
}

SHIM_CDECL uint32_t msvcrt_beginthreadex(void*, unsigned, void*, void*, unsigned, unsigned*) {
  set_errno(EAGAIN);  // the simulated host runs DLL code on one thread
  return 0;
}

SHIM_CDECL void msvcrt_endthreadex(unsigned) { stop("DLL called _endthreadex, but it never got a thread"); }

const Shim kShims[] = {
    {"__mb_cur_max", static_cast<void*>(&mb_cur_max)},
    {"_amsg_exit", reinterpret_cast<void*>(&msvcrt_amsg_exit)},
    {"_beginthreadex", reinterpret_cast<void*>(&msvcrt_beginthreadex)},
    {"_endthreadex", reinterpret_cast<void*>(&msvcrt_endthreadex)},
    {"_errno", reinterpret_cast<void*>(&msvcrt_errno)},
    {"_initterm", reinterpret_cast<void*>(&msvcrt_initterm)},
    {"_lock", reinterpret_cast<void*>(&msvcrt_lock)},
    {"_setjmp3", reinterpret_cast<void*>(&simhost_pe_setjmp3)},
    {"_strdup", reinterpret_cast<void*>(&msvcrt_strdup)},
    {"_ultoa", reinterpret_cast<void*>(&msvcrt_ultoa)},
    {"_unlock", reinterpret_cast<void*>(&msvcrt_unlock)},
    {"abort", reinterpret_cast<void*>(&msvcrt_abort)},
    {"atoi", reinterpret_cast<void*>(&msvcrt_atoi)},
    {"calloc", reinterpret_cast<void*>(&msvcrt_calloc)},
    {"exit", reinterpret_cast<void*>(&msvcrt_exit)},
    {"free", reinterpret_cast<void*>(&msvcrt_free)},
    {"iswctype", reinterpret_cast<void*>(&msvcrt_iswctype)},
    {"localeconv", reinterpret_cast<void*>(&msvcrt_localeconv)},
    {"longjmp", reinterpret_cast<void*>(&simhost_pe_longjmp)},
    {"malloc", reinterpret_cast<void*>(&msvcrt_malloc)},
    {"memchr", reinterpret_cast<void*>(&msvcrt_memchr)},
    {"memcmp", reinterpret_cast<void*>(&msvcrt_memcmp)},
    {"memcpy", reinterpret_cast<void*>(&msvcrt_memcpy)},
    {"memmove", reinterpret_cast<void*>(&msvcrt_memmove)},
    {"memset", reinterpret_cast<void*>(&msvcrt_memset)},
    {"realloc", reinterpret_cast<void*>(&msvcrt_realloc)},
    {"setlocale", reinterpret_cast<void*>(&msvcrt_setlocale)},
    {"strchr", reinterpret_cast<void*>(&msvcrt_strchr)},
    {"strcmp", reinterpret_cast<void*>(&msvcrt_strcmp)},
    {"strcpy", reinterpret_cast<void*>(&msvcrt_strcpy)},
    {"strcoll", reinterpret_cast<void*>(&msvcrt_strcoll)},
    {"strerror", reinterpret_cast<void*>(&msvcrt_strerror)},
    {"strftime", reinterpret_cast<void*>(&msvcrt_strftime)},
    {"strlen", reinterpret_cast<void*>(&msvcrt_strlen)},
    {"strncmp", reinterpret_cast<void*>(&msvcrt_strncmp)},
    {"strncpy", reinterpret_cast<void*>(&msvcrt_strncpy)},
    {"strrchr", reinterpret_cast<void*>(&msvcrt_strrchr)},
    {"strtol", reinterpret_cast<void*>(&msvcrt_strtol)},
    {"strxfrm", reinterpret_cast<void*>(&msvcrt_strxfrm)},
    {"towlower", reinterpret_cast<void*>(&msvcrt_towlower)},
    {"towupper", reinterpret_cast<void*>(&msvcrt_towupper)},
    {"wcscoll", reinterpret_cast<void*>(&msvcrt_wcscoll)},
    {"wcsftime", reinterpret_cast<void*>(&msvcrt_wcsftime)},
    {"wcslen", reinterpret_cast<void*>(&msvcrt_wcslen)},
    {"wcsxfrm", reinterpret_cast<void*>(&msvcrt_wcsxfrm)},
};

}  // namespace

void set_errno(int msvcrt_value) { msvcrt_errno_value = msvcrt_value; }

void set_errno_from_host() {
  int e = errno;
  // 1..34 agree between glibc and msvcrt; a few later ones are numbered differently.
  switch (e) {
    case EDEADLK:
      e = 36;
      break;
    case ENAMETOOLONG:
      e = 38;
      break;
    case ENOLCK:
      e = 39;
      break;
    case ENOSYS:
      e = 40;
      break;
    case ENOTEMPTY:
      e = 41;
      break;
    case EILSEQ:
      e = 42;
      break;
    default:
      if (e > 34) e = EINVAL;
  }
  msvcrt_errno_value = e;
}

std::span<const Shim> msvcrt_shims() {
  static const std::vector<Shim> all = [] {
    std::vector<Shim> v(std::begin(kShims), std::end(kShims));
    for (const Shim& s : msvcrt_io_shims()) v.push_back(s);
    return v;
  }();
  return all;
}

}  // namespace simhost::pe::detail
