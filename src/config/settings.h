#pragma once
// The settings of section MAIN of Zephrel.ini, each named after its key, as settings_table.inc lists
// them. All zero until the first LoadSettings; every other part of the plug-in only reads them, anew each time
// it needs them.

#include <cstddef>
#include <cstdint>
#include <string>

namespace config {

class IniFile;

using SettingFlag = bool;
using SettingNumber = float;
using SettingModelId = std::int32_t;

#define ZEPHREL_SETTING(key, type, value, help) extern Setting##type key;
#include "config/settings_table.inc"
#undef ZEPHREL_SETTING

enum class SettingType { kFlag, kNumber, kModelId };

// The section of Zephrel.ini that holds them; no other is read.
inline constexpr const char* kSettingsSection = "MAIN";

// One row of the table: the key, the variable it sets (exactly one of the three pointers) and its default.
struct Setting {
  const char* key;
  SettingType type;
  bool* flag;
  float* number;
  std::int32_t* modelId;
  float defaultValue;       // exact for every default of the table, model ids included
  const char* defaultText;  // as the shipped Zephrel.ini writes it
};

// One for each row of the table.
inline constexpr std::size_t kSettingCount = 0
#define ZEPHREL_SETTING(key, type, value, help) +1
#include "config/settings_table.inc"
#undef ZEPHREL_SETTING
    ;
extern const Setting kSettings[kSettingCount];

// The shortest text that reads back as `value` through ConvertFloat, in fixed or exponent form, whichever is
// shorter ("250.5", "1e+40", "inf"): the text std::to_chars would give, but found with the C library's
// formatting, since the DLL must not carry the C++ library's; the same whatever C locale is set.
std::string FloatText(float value);

// The variable's current value as text: "true"/"false", the model id, or the shortest text of the float.
std::string SettingValueText(const Setting& setting);

// The same for the setting's default.
std::string SettingDefaultText(const Setting& setting);

// Reads the settings from Zephrel.ini next to the plug-in, in table order, with their defaults. Nothing
// escapes it: a model id that does not convert keeps its default, and the keys after it are still read.
void LoadSettings() noexcept;

// The same from a reader already built, in the same order, then the rules (rules.h); throws only when memory runs
// out.
void LoadSettingsFrom(const IniFile& ini);

}  // namespace config
