#include "config/settings.h"

#include "config/ini_file.h"
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

// A conversion error would otherwise leave the loader half way and reach the host's call site.
std::int32_t ReadModelId(const IniFile& ini, const char* key, std::int32_t defaultValue) {
  try {
    return ini.ReadInt(kSettingsSection, key, defaultValue);
  } catch (const NotAnInteger&) {
    return defaultValue;
  } catch (const IntegerOutOfRange&) {
    return defaultValue;
  }
}

}  // namespace

const Setting kSettings[kSettingCount] = {
#define ZEPHREL_SETTING(key, type, value, help) Row(#key, key, value, #value),
#include "config/settings_table.inc"
#undef ZEPHREL_SETTING
};

void LoadSettingsFrom(const IniFile& ini) {
  for (const Setting& setting : kSettings) {
    switch (setting.type) {
      case SettingType::kFlag:
        *setting.flag = ini.ReadBool(kSettingsSection, setting.key, setting.defaultValue != 0.0f);
        break;
      case SettingType::kNumber:
        *setting.number = ini.ReadFloat(kSettingsSection, setting.key, setting.defaultValue);
        break;
      case SettingType::kModelId:
        *setting.modelId = ReadModelId(ini, setting.key, static_cast<std::int32_t>(setting.defaultValue));
        break;
    }
  }
  LoadRulesFrom(ini);
}

void LoadSettings() noexcept {
  try {
    const IniFile ini("Zephrel.ini");
    LoadSettingsFrom(ini);
  } catch (...) {
    // Only running out of memory gets here; the keys not read yet keep their values.
  }
}

}  // namespace config
