#include "config/settings.h"

#include "config/ini_file.h"
#include "config/ini_parser.h"
#include "config/rules.h"

namespace config {

#define ZEPHREL_SETTING(key, type, value, help) Setting##type key = {};
#include "config/settings_table.inc"
#undef ZEPHREL_SETTING

namespace {

constexpr Setting Row(const char* key, bool& variable, float value, const char* text) {
  return {key, SettingType::kFlag, &variable, nullptr, nullptr, value, text};
}
constexpr Setting Row(const char* key, float& variable, float value, const char* text) {
  return {key, SettingType::kNumber, nullptr, &variable, nullptr, value, text};
}
constexpr Setting Row(const char* key, std::int32_t& variable, float value, const char* text) {
  return {key, SettingType::kModelId, nullptr, nullptr, &variable, value, text};
}

// The setting's value for the text of its line, or for no line (null): its default.
void Store(const Setting& setting, const std::string_view* value) noexcept {
  switch (setting.type) {
    case SettingType::kFlag:
      *setting.flag = ConvertBool(value != nullptr ? *value : std::string_view(), setting.defaultValue != 0.0f);
      return;
    case SettingType::kNumber:
      *setting.number = value != nullptr ? ConvertFloat(*value) : setting.defaultValue;
      return;
    case SettingType::kModelId:
      *setting.modelId = static_cast<std::int32_t>(setting.defaultValue);
      if (value == nullptr) return;
      // A value that does not convert keeps the default rather than stop the loader half way.
      try {
        *setting.modelId = ConvertInt(*value);
      } catch (const NotAnInteger&) {
      } catch (const IntegerOutOfRange&) {
      }
      return;
  }
}

}  // namespace

const Setting kSettings[kSettingCount] = {
#define ZEPHREL_SETTING(key, type, value, help) Row(#key, key, value, #value),
#include "config/settings_table.inc"
#undef ZEPHREL_SETTING
};

std::size_t SettingRow(std::string_view key) {
  std::size_t row = 0;
  while (row < kSettingCount && key != kSettings[row].key) ++row;
  return row;
}

void LoadSettingsFrom(std::string_view text) noexcept {
  bool given[kSettingCount] = {};
  ParseIniText(text, [&given](const IniLine& line) {
    if (line.header || line.section != kSettingsSection) return;
    const std::size_t row = SettingRow(line.key);
    if (row == kSettingCount || given[row]) return;
    given[row] = true;
    Store(kSettings[row], &line.value);
  });
  for (std::size_t row = 0; row < kSettingCount; ++row) {
    if (!given[row]) Store(kSettings[row], nullptr);
  }
  LoadRulesFrom(text);
}

}  // namespace config
