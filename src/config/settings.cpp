#include "config/settings.h"

#include <stdexcept>

#include "config/ini_file.h"

bool ReplaceTrailsInTheSky = false;
bool EnableBanner = false;
bool EnableTrail = false;
bool AppearOnlyAtAltitude = false;
bool AppearWhenPilotIsInside = false;
bool AlwaysAppear = false;
float Height = 0.0f;
float TrailFadeTime = 0.0f;
float HeightForBanner = 0.0f;
std::int32_t ModelIDForTrail = 0;
std::int32_t ModelIDForBanner = 0;
float BannerDrawDistance = 0.0f;

namespace {

constexpr const char* kSection = "MAIN";

// A conversion error would otherwise leave the loader half way and reach the host's call site.
std::int32_t ReadModelId(const IniFile& ini, const char* key, std::int32_t defaultValue) {
  try {
    return ini.ReadInt(kSection, key, defaultValue);
  } catch (const std::invalid_argument&) {
    return defaultValue;
  } catch (const std::out_of_range&) {
    return defaultValue;
  }
}

}  // namespace

void LoadSettingsFrom(const IniFile& ini) {
  ReplaceTrailsInTheSky = ini.ReadBool(kSection, "ReplaceTrailsInTheSky", false);
  EnableBanner = ini.ReadBool(kSection, "EnableBanner", true);
  EnableTrail = ini.ReadBool(kSection, "EnableTrail", true);
  AppearOnlyAtAltitude = ini.ReadBool(kSection, "AppearOnlyAtAltitude", true);
  AppearWhenPilotIsInside = ini.ReadBool(kSection, "AppearWhenPilotIsInside", false);
  AlwaysAppear = ini.ReadBool(kSection, "AlwaysAppear", false);
  Height = ini.ReadFloat(kSection, "Height", 100.0f);
  TrailFadeTime = ini.ReadFloat(kSection, "TrailFadeTime", 10000.0f);
  HeightForBanner = ini.ReadFloat(kSection, "HeightForBanner", 100.0f);
  ModelIDForTrail = ReadModelId(ini, "ModelIDForTrail", 577);
  ModelIDForBanner = ReadModelId(ini, "ModelIDForBanner", 593);
  BannerDrawDistance = ini.ReadFloat(kSection, "BannerDrawDistance", 300.0f);
}

void LoadSettings() noexcept {
  try {
    const IniFile ini("Zephrel.ini");
    LoadSettingsFrom(ini);
  } catch (...) {
    // Only running out of memory gets here; the keys not read yet keep their values.
  }
}
