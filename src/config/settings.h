#pragma once
// The settings of section MAIN of Zephrel.ini, each named after its key, as settings_table.inc lists
// them. All zero until the first LoadSettingsFrom; every other part of the plug-in only reads them, anew each time
// it needs them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace config {

using SettingFlag = bool;
using SettingNumber = float;
using SettingModelId = std::int32_t;

#define ZEPHREL_SETTING(key, type, value, help) extern Setting##type key;
#include "config/settings_table.inc"
#undef ZEPHREL_SETTING

enum class SettingType { kFlag, kNumber, kModelId };

// The file that holds them, beside the plug-in's module, and its section that holds them; no other is read.
inline constexpr const char* kSettingsFile = "Zephrel.ini";
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

// The row of kSettings whose key is `key`, letter case and all, or kSettingCount.
std::size_t SettingRow(std::string_view key);

// The shortest text that reads back as `value` through ConvertFloat, in fixed or exponent form, whichever is
// shorter ("250.5", "1e+40", "inf"): the text std::to_chars would give, but found with the reader's own exact
// arithmetic (RoundFloatDigits), since the DLL must not carry the C++ library's formatting; the same whatever C
// locale is set, and whatever precision the x87 unit has.
std::string FloatText(float value);

// The variable's current value as text: "true"/"false", the model id, or the shortest text of the float.
std::string SettingValueText(const Setting& setting);

// The same for the setting's default.
std::string SettingDefaultText(const Setting& setting);

// Sets every setting from `text`, a Zephrel.ini as the plug-in reads it (IniTextOf), straight from its lines:
// the first line of section MAIN with a setting's key gives its value, also when MAIN is opened again further
// down, and a setting without one gets its default. A model id that does not convert keeps its default too.
// Then the rules (rules.h) from the same text. Allocates nothing.
void LoadSettingsFrom(std::string_view text) noexcept;

}  // namespace config
