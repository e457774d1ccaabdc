// Settings as text, for the checker and the log. A float's digits come from the INI reader's exact arithmetic, not
// from a C library's formatting, which may run on the x87 unit at the game's 24-bit precision and err.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// A value of a setting of `type` as text; only the field of that type is read.
std::string ValueText(SettingType type, bool flag, float number, std::int32_t modelId) {
  switch (type) {
    case SettingType::kFlag:
      return flag ? "true" : "false";
    case SettingType::kModelId:
      return std::to_string(modelId);
    case SettingType::kNumber:
      break;
  }
  return FloatText(number);
}

}  // namespace

std::string SettingValueText(const Setting& setting) {
  return ValueText(setting.type, setting.flag != nullptr && *setting.flag,
                   setting.number != nullptr ? *setting.number : 0.0f,
                   setting.modelId != nullptr ? *setting.modelId : 0);
}

std::string SettingDefaultText(const Setting& setting) {
  return ValueText(setting.type, setting.defaultValue != 0.0f, setting.defaultValue,
                   static_cast<std::int32_t>(setting.defaultValue));
}

}  // namespace config
