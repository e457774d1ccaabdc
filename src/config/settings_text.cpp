// Settings as text, for the checker and the log. A float's digits come from the INI reader's exact arithmetic, not
// from a C library's formatting, which may run on the x87 unit at the game's 24-bit precision and err.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/ini_parser.h"
#include "config/settings.h"

namespace config {
namespace {

// Whether the reader of Zephrel.ini makes `magnitude` of the decimal.
bool ReadsBackAs(FloatDigits decimal, float magnitude) {
  std::string text = std::to_string(decimal.digits);
  text.append("e").append(std::to_string(decimal.exponent));
  return ConvertFloat(text) == magnitude;
}

// The fewest significant digits that read back as `magnitude`. A correctly rounded decimal of some length may
// miss where one of its neighbours hits (just above a power of two the floats below lie closer), so those are
// tried too; nine digits always hit.
FloatDigits Shortest(float magnitude) {
  for (int precision = 1; precision < 9; ++precision) {
    const FloatDigits rounded = RoundFloatDigits(magnitude, precision);
    if (ReadsBackAs(rounded, magnitude)) return rounded;
    for (const FloatDigits neighbour :
         {FloatDigits{rounded.digits + 1, rounded.exponent}, FloatDigits{rounded.digits - 1, rounded.exponent}}) {
      if (neighbour.digits != 0 && ReadsBackAs(neighbour, magnitude)) return neighbour;
    }
  }
  return RoundFloatDigits(magnitude, 9);
}

}  // namespace

std::string FloatText(float value) {
  const std::string sign = std::signbit(value) ? "-" : "";
  if (std::isnan(value)) return sign + "nan";
  if (std::isinf(value)) return sign + "inf";
  if (value == 0.0f) return sign + "0";

  FloatDigits decimal = Shortest(std::fabs(value));
  while (decimal.digits % 10 == 0) {
    decimal.digits /= 10;
    ++decimal.exponent;
  }
  const std::string digits = std::to_string(decimal.digits);
  const int count = static_cast<int>(digits.size());

  // Fixed: the digits with the point (or zeros) where the exponent puts it. A whole number is written exactly:
  // of the texts of its length that read back, that one lies closest. Above 1e15 the exponent form is shorter.
  const float magnitude = std::fabs(value);
  std::string fixed;
  if (decimal.exponent >= 0 && magnitude < 1e15f) {
    fixed = std::to_string(static_cast<std::uint64_t>(magnitude));
  } else if (decimal.exponent >= 0) {
    fixed = digits + std::string(static_cast<std::size_t>(decimal.exponent), '0');
  } else if (-decimal.exponent < count) {
    const auto point = static_cast<std::size_t>(count + decimal.exponent);
    fixed = digits.substr(0, point);
    fixed.append(".").append(digits, point);
  } else {
    fixed = "0.";
    fixed.append(static_cast<std::size_t>(-decimal.exponent - count), '0').append(digits);
  }

  // Exponent form: one digit before the point, an exponent of at least two digits with its sign.
  const int exponent = decimal.exponent + count - 1;
  char exponentText[16];
  std::snprintf(exponentText, sizeof exponentText, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  std::string scientific = digits.substr(0, 1);
  if (count > 1) scientific.append(".").append(digits, 1);
  scientific += exponentText;

  return sign + (scientific.size() < fixed.size() ? scientific : fixed);
}

namespace {

// The length of the character that `text` begins with when it is valid UTF-8 and not a control character (C0, DEL
// or C1), else 0: a player's file may hold anything, and what is shown of it must neither garble a terminal nor
// break the text of a log or a page.
std::size_t PrintableLength(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
  const auto follows = [&byte](std::size_t i, unsigned low, unsigned high) {
    return byte(i) >= low && byte(i) <= high;
  };
  const unsigned first = byte(0);
  if (first >= 0x20 && first < 0x7F) return 1;
  if (first == 0xC2) return follows(1, 0xA0, 0xBF) ? 2 : 0;
  if (first >= 0xC3 && first <= 0xDF) return follows(1, 0x80, 0xBF) ? 2 : 0;
  // Overlong forms and UTF-16 surrogates are not valid text either.
  const unsigned low = first == 0xE0 ? 0xA0 : first == 0xF0 ? 0x90 : 0x80;
  const unsigned high = first == 0xED ? 0x9F : first == 0xF4 ? 0x8F : 0xBF;
  if (first >= 0xE0 && first <= 0xEF) return follows(1, low, high) && follows(2, 0x80, 0xBF) ? 3 : 0;
  if (first >= 0xF0 && first <= 0xF4) {
    return follows(1, low, high) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

}  // namespace

std::string Shown(std::string_view text) {
  std::string shown;
  std::size_t at = 0;
  while (at < text.size() && at < kShownBytes) {
    const std::size_t length = PrintableLength(text.substr(at));
    if (length != 0) {
      shown.append(text.substr(at, length));
      at += length;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[at]));
    shown += escaped;
    ++at;
  }
  if (at < text.size()) shown.append("... (").append(std::to_string(text.size())).append(" bytes in all)");
  return shown;
}

std::string ColourText(std::uint32_t colour) {
  char text[16];
  std::snprintf(text, sizeof text, "%u,%u,%u", static_cast<unsigned>(colour >> 16 & 0xFF),
                static_cast<unsigned>(colour >> 8 & 0xFF), static_cast<unsigned>(colour & 0xFF));
  return text;
}

std::string_view TextureName(const ValueTexture& texture) {
  const void* end = std::memchr(texture, '\0', kTextureNameSize);
  return {texture, end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - texture) : 0};
}

std::string ValueText(const Values& values, std::size_t row) {
  const Key& key = kKeys[row];
  switch (key.type) {
    case KeyType::kFlag:
      return values.*key.flag.value ? "true" : "false";
    case KeyType::kModelId:
      return std::to_string(values.*key.modelId.value);
    case KeyType::kColour:
      return ColourText(values.*key.colour.value);
    case KeyType::kTexture:
      return Shown(TextureName(values.*key.texture.value));
    case KeyType::kNumber:
      break;
  }
  return FloatText(values.*key.number.value);
}

}  // namespace config
