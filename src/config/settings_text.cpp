// Settings as text, for the checker. Apart from the plug-in's own code, so that the DLL does not carry the
// standard library's float formatting.

#include <charconv>

#include "config/settings.h"

namespace config {

std::string FloatText(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string SettingValueText(const Setting& setting) {
  switch (setting.type) {
    case SettingType::kFlag:
      return *setting.flag ? "true" : "false";
    case SettingType::kModelId:
      return std::to_string(*setting.modelId);
    case SettingType::kNumber:
      break;
  }
  return FloatText(*setting.number);
}

}  // namespace config
