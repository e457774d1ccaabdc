#include "config/ini_parser.h"

#include <algorithm>
#include <cstring>

namespace config {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The C locale's six; fixed here so that a locale the host sets cannot widen them.
bool IsWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipWhitespace(std::string_view text, std::size_t at) {
  while (at < text.size() && IsWhitespace(text[at])) ++at;
  return at;
}

std::size_t SkipDigits(std::string_view text, std::size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

// The digit's value in base 16 (so also in base 10 when below 10), or 16 for any other character.
unsigned DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 16;
}

bool HasHexPrefix(std::string_view text) {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// An unsigned integer of up to kLimbs 32-bit limbs, least significant first: just enough arithmetic to compare a
// decimal number exactly with a point between two doubles, and to write a float's exact value in decimal.
class BigNumber {
 public:
  explicit BigNumber(std::uint64_t value) {
    for (; value != 0; value >>= 32) limbs_[size_++] = static_cast<std::uint32_t>(value);
  }

  // Limbs past the size are never read, so neither made nor copied.
  BigNumber(const BigNumber& other) : size_(other.size_) { std::copy(other.limbs_, other.limbs_ + size_, limbs_); }
  BigNumber& operator=(const BigNumber&) = delete;

  bool IsZero() const { return size_ == 0; }

  // Each operation keeps within the limbs for the numbers compared here; beyond them it would stop short rather
  // than write past the end.
  void MultiplyAdd(std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (int i = 0; i < size_; ++i) {
      carry += std::uint64_t{limbs_[i]} * factor;
      limbs_[i] = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    if (carry != 0 && size_ < kLimbs) limbs_[size_++] = static_cast<std::uint32_t>(carry);
    Trim();
  }

  // By a factor of up to 64 bits.
  void Multiply(std::uint64_t factor) {
    BigNumber high = *this;
    MultiplyAdd(static_cast<std::uint32_t>(factor), 0);
    high.MultiplyAdd(static_cast<std::uint32_t>(factor >> 32), 0);
    high.ShiftLeft(32);
    Add(high);
  }

  void Add(const BigNumber& other) {
    std::uint64_t carry = 0;
    const int size = std::max(size_, other.size_);
    for (int i = 0; i < size; ++i) {
      carry += std::uint64_t{i < size_ ? limbs_[i] : 0u} + (i < other.size_ ? other.limbs_[i] : 0u);
      limbs_[i] = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    size_ = size;
    if (carry != 0 && size_ < kLimbs) limbs_[size_++] = static_cast<std::uint32_t>(carry);
  }

  void MultiplyByPowerOfFive(long long exponent) {
    for (; exponent >= 13; exponent -= 13) MultiplyAdd(1220703125, 0);  // 5^13, the largest below 2^32
    std::uint32_t rest = 1;
    for (; exponent > 0; --exponent) rest *= 5;
    MultiplyAdd(rest, 0);
  }

  void ShiftLeft(long long bits) {
    const int words = static_cast<int>(bits / 32);
    if (size_ == 0 || size_ + words + 1 > kLimbs) return;
    const int shift = static_cast<int>(bits % 32);
    limbs_[size_] = 0;
    for (int i = size_; i >= 0; --i) {
      const std::uint32_t low = i > 0 && shift != 0 ? limbs_[i - 1] >> (32 - shift) : 0;
      limbs_[i + words] = (shift != 0 ? limbs_[i] << shift : limbs_[i]) | low;
    }
    for (int i = 0; i < words; ++i) limbs_[i] = 0;
    size_ += words + 1;
    Trim();
  }

  // Divides in place and returns the remainder.
  std::uint32_t Divide(std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (int i = size_ - 1; i >= 0; --i) {
      const std::uint64_t dividend = remainder << 32 | limbs_[i];
      limbs_[i] = static_cast<std::uint32_t>(dividend / divisor);
      remainder = dividend % divisor;
    }
    Trim();
    return static_cast<std::uint32_t>(remainder);
  }

  friend int Compare(const BigNumber& a, const BigNumber& b) {
    if (a.size_ != b.size_) return a.size_ < b.size_ ? -1 : 1;
    for (int i = a.size_ - 1; i >= 0; --i) {
      if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    }
    return 0;
  }

 private:
  void Trim() {
    while (size_ > 0 && limbs_[size_ - 1] == 0) --size_;
  }

  // The largest number compared: a point just below 2^1024 (54 bits) times 5^1126 (2,615 bits) shifted left
  // by 2,096 bits, against a decimal of 801 digits.
  static constexpr int kLimbs = 160;
  std::uint32_t limbs_[kLimbs];
  int size_ = 0;
};

// A decimal's significant digits (no leading zero) and the power of ten of its last one.
struct Decimal {
  std::string_view digits;
  bool inexact;  // digits beyond kDecimalDigits were dropped, not all zero
  long long exponent;
};

// More digits never change which of two neighbouring doubles is nearer: the point halfway between them has at
// most 767 significant digits.
constexpr std::size_t kDecimalDigits = 800;

// A decimal as exact integers: its digits (and a 1 after them for those dropped) times 10^tens is value x 2^tens /
// fives, with the power of five in value when tens is not negative and in fives when it is.
struct ExactDecimal {
  BigNumber value;
  BigNumber fives;
  long long tens;
};

ExactDecimal ExactOf(const Decimal& decimal) {
  ExactDecimal exact{BigNumber(0), BigNumber(1), decimal.exponent};
  for (const char c : decimal.digits) exact.value.MultiplyAdd(10, static_cast<std::uint32_t>(c - '0'));
  if (decimal.inexact) {
    exact.value.MultiplyAdd(10, 1);
    --exact.tens;
  }
  if (exact.tens > 0) exact.value.MultiplyByPowerOfFive(exact.tens);
  if (exact.tens < 0) exact.fives.MultiplyByPowerOfFive(-exact.tens);
  return exact;
}

// The decimal compared with mantissa x 2^twos, both sides made integers.
int CompareDecimal(const ExactDecimal& decimal, std::uint64_t mantissa, int twos) {
  BigNumber value = decimal.value;
  BigNumber point = decimal.fives;
  point.Multiply(mantissa);
  const long long shift = decimal.tens - twos;
  if (shift >= 0) {
    value.ShiftLeft(shift);
  } else {
    point.ShiftLeft(-shift);
  }
  return Compare(value, point);
}

constexpr std::uint64_t kInfinityBits = 0x7FF0000000000000;

// The value whose bits `from` holds: std::bit_cast, which the browser build's C++ library does not have.
template <class To, class From>
To BitCast(const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

// The double nearest to the decimal (ties to even), as a correctly rounding conversion gives it. Integers only,
// so that neither the x87 unit's precision, which the game sets to 24 bits, nor the compiler's choice of unit
// can change the result or the work: the non-negative doubles, in the order of their bits up to the infinity,
// are halved 63 times, each time by one exact comparison with the point halfway to the next double.
double NearestDouble(const Decimal& decimal) {
  const long long magnitude = decimal.exponent + static_cast<long long>(decimal.digits.size());  // value < 10^magnitude
  if (decimal.digits.empty() || magnitude <= -324) return 0.0;                                   // below half the least
  if (magnitude > 310) return BitCast<double>(kInfinityBits);
  const ExactDecimal exact = ExactOf(decimal);
  std::uint64_t low = 0;
  std::uint64_t high = kInfinityBits;
  while (low < high) {
    const std::uint64_t bits = low + (high - low) / 2;
    const int biased = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t mantissa = biased == 0 ? fraction : fraction | std::uint64_t{1} << 52;
    const int twos = (biased == 0 ? 1 : biased) - 1075;
    const int above = CompareDecimal(exact, 2 * mantissa + 1, twos - 1);
    if (above > 0 || (above == 0 && (bits & 1) != 0)) {
      low = bits + 1;
    } else {
      high = bits;
    }
  }
  return BitCast<double>(low);
}

// Room for a decimal's significant digits, so that a conversion allocates nothing.
using DecimalDigits = char[kDecimalDigits];

// The decimal of `number` ([digits][.digits][e[sign]digits], with a digit on one side of the point at least).
Decimal DecimalOf(std::string_view number, DecimalDigits& buffer) {
  std::size_t count = 0;
  long long exponent = 0;
  bool point = false;
  bool inexact = false;
  std::size_t at = 0;
  for (; at < number.size() && number[at] != 'e' && number[at] != 'E'; ++at) {
    const char c = number[at];
    if (c == '.') {
      point = true;
      continue;
    }
    if (count == 0 && c == '0') {
      exponent -= point ? 1 : 0;
      continue;
    }
    if (count < kDecimalDigits) {
      buffer[count++] = c;
      exponent -= point ? 1 : 0;
    } else {
      inexact = inexact || c != '0';
      exponent += point ? 0 : 1;
    }
  }
  long long written = 0;
  bool negative = false;
  if (at < number.size()) {
    ++at;
    if (at < number.size() && (number[at] == '+' || number[at] == '-')) negative = number[at++] == '-';
    for (; at < number.size(); ++at) written = std::min(written * 10 + (number[at] - '0'), 1'000'000'000LL);
  }
  while (!inexact && count > 0 && buffer[count - 1] == '0') {
    --count;
    ++exponent;
  }
  exponent += negative ? -written : written;
  return {std::string_view(buffer, count), inexact, exponent};
}

}  // namespace

std::string_view TrimText(std::string_view text, bool left, bool right) {
  while (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  if (left) {
    while (!text.empty() && IsWhitespace(text.front())) text.remove_prefix(1);
  }
  if (right) {
    while (!text.empty() && IsWhitespace(text.back())) text.remove_suffix(1);
  }
  return text;
}

bool NextIniLine(std::string_view text, std::size_t& at, IniLine& line) {
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view trimmed = TrimText(text.substr(at, end - at), true, true);
    at = end + 1;
    ++line.number;
    if (trimmed.empty()) continue;

    line.key = {};
    line.value = {};
    line.header = trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']';
    if (line.header) {
      line.section = TrimText(trimmed.substr(1, trimmed.size() - 2), true, true);
      return true;
    }
    line.key = trimmed;
    if (const std::size_t equals = trimmed.find('='); equals != std::string_view::npos) {
      line.key = TrimText(trimmed.substr(0, equals), false, true);
      line.value = TrimText(trimmed.substr(equals + 1), true, false);
    }
    return true;
  }
  return false;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool ConvertBool(std::string_view text, bool defaultValue) {
  if (text.empty()) return defaultValue;
  if (text.size() == 1) return text[0] != '0';
  if (text.size() == 5) return !EqualsIgnoringAsciiCase(text, "false");
  return true;
}

float ConvertFloat(std::string_view text, std::size_t* used) {
  if (used != nullptr) *used = 0;
  std::size_t at = SkipWhitespace(text, 0);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';

  // The number's extent is checked first: no second sign, no "inf" or "nan".
  const std::size_t begin = at;
  at = SkipDigits(text, at);
  std::size_t digits = at - begin;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fraction = at + 1;
    at = SkipDigits(text, fraction);
    digits += at - fraction;
  }
  if (digits == 0) return 0.0f;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    std::size_t exponent = at + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const std::size_t exponentEnd = SkipDigits(text, exponent);
    if (exponentEnd > exponent) at = exponentEnd;
  }

  // Read here rather than by the C library, whose decimal point follows the locale the host may set, and rather than
  // by std::from_chars, which was measured: inside the game, with the x87 unit at 24-bit precision, it read 28 % of a
  // spread of numbers wrong, and even at 64-bit precision 49 in 2 million; and it would add 39 to 43 KB to the DLL.
  DecimalDigits significant;
  const double value = NearestDouble(DecimalOf(text.substr(begin, at - begin), significant));
  if (used != nullptr) *used = at;
  // Beyond the range of a float the narrowing gives an infinity, as IEEE rounding does.
  return static_cast<float>(negative ? -value : value);
}

bool SameDecimal(std::string_view a, std::string_view b) {
  DecimalDigits kept[2];
  Decimal decimals[2];
  bool negative[2];
  const std::string_view texts[2] = {a, b};
  for (int i = 0; i < 2; ++i) {
    std::size_t at = SkipWhitespace(texts[i], 0);
    negative[i] = at < texts[i].size() && texts[i][at] == '-';
    if (at < texts[i].size() && (texts[i][at] == '+' || texts[i][at] == '-')) ++at;
    decimals[i] = DecimalOf(texts[i].substr(at), kept[i]);
  }
  if (negative[0] != negative[1] || decimals[0].digits != decimals[1].digits) return false;
  // Zero has no digits, whatever power of ten its zeros were written with.
  return decimals[0].digits.empty() ||
         (decimals[0].inexact == decimals[1].inexact && decimals[0].exponent == decimals[1].exponent);
}

FloatDigits RoundFloatDigits(float magnitude, int precision) {
  // The float's exact value as an integer times a power of ten: mantissa x 2^twos, or mantissa x 5^-twos x
  // 10^twos when twos is negative.
  const auto bits = BitCast<std::uint32_t>(magnitude) & 0x7FFFFFFF;
  const int biased = static_cast<int>(bits >> 23);
  const std::uint32_t fraction = bits & 0x7FFFFF;
  const int twos = (biased == 0 ? 1 : biased) - 150;
  BigNumber exact(biased == 0 ? fraction : fraction | 0x800000);
  int tens = 0;
  if (twos >= 0) {
    exact.ShiftLeft(twos);
  } else {
    exact.MultiplyByPowerOfFive(-twos);
    tens = twos;
  }
  // Its digits, nine at a time from the last: at most 112 of them (2^24 x 5^149).
  char digits[126];
  std::size_t first = sizeof digits;
  while (!exact.IsZero()) {
    std::uint32_t nine = exact.Divide(1000000000);
    for (int i = 0; i < 9; ++i, nine /= 10) digits[--first] = static_cast<char>('0' + nine % 10);
  }
  while (first < sizeof digits && digits[first] == '0') ++first;
  const std::string_view all(digits + first, sizeof digits - first);

  const auto kept = static_cast<std::size_t>(precision);
  FloatDigits rounded{0, tens + static_cast<int>(all.size()) - precision};
  for (std::size_t i = 0; i < kept; ++i) {
    rounded.digits = rounded.digits * 10 + (i < all.size() ? static_cast<std::uint32_t>(all[i] - '0') : 0);
  }
  if (all.size() > kept) {
    const std::string_view rest = all.substr(kept);
    const bool half = rest[0] == '5' && rest.find_first_not_of('0', 1) == std::string_view::npos;
    if (rest[0] > '5' || (rest[0] == '5' && !half) || (half && rounded.digits % 2 != 0)) ++rounded.digits;
    std::uint32_t limit = 1;
    for (int i = 0; i < precision; ++i) limit *= 10;
    if (rounded.digits == limit) {
      rounded.digits /= 10;
      ++rounded.exponent;
    }
  }
  return rounded;
}

IntegerReading ReadInteger(std::string_view text) {
  const unsigned base = HasHexPrefix(text) ? 16 : 10;
  std::size_t at = SkipWhitespace(text, 0);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (base == 16 && HasHexPrefix(text.substr(at))) at += 2;

  // Saturates far above 32 bits, so that any number of digits can be read without wrapping.
  constexpr std::uint64_t kSaturated = std::uint64_t{1} << 40;
  std::uint64_t magnitude = 0;
  const std::size_t begin = at;
  for (; at < text.size() && DigitValue(text[at]) < base; ++at) {
    magnitude = std::min(magnitude * base + DigitValue(text[at]), kSaturated);
  }
  if (at == begin) return {0, IntegerProblem::kNoDigits, 0};
  if (magnitude > (negative ? std::uint64_t{2147483648} : std::uint64_t{2147483647})) {
    return {0, IntegerProblem::kOutOfRange, 0};
  }
  const auto signedMagnitude = static_cast<std::int64_t>(magnitude);
  return {static_cast<std::int32_t>(negative ? -signedMagnitude : signedMagnitude), IntegerProblem::kNone, at};
}

std::int32_t ConvertInt(std::string_view text, std::size_t* used) {
  const IntegerReading reading = ReadInteger(text);
  if (reading.problem == IntegerProblem::kNoDigits) throw NotAnInteger();
  if (reading.problem == IntegerProblem::kOutOfRange) throw IntegerOutOfRange();
  if (used != nullptr) *used = reading.used;
  return reading.value;
}

}  // namespace config
