#pragma once
// The twelve settings of section MAIN of Zephrel.ini, each named after its key. All zero until the first
// LoadSettings; every other part of the plug-in only reads them, anew each time it needs them.

#include <cstdint>

class IniFile;

extern bool ReplaceTrailsInTheSky;
extern bool EnableBanner;
extern bool EnableTrail;
extern bool AppearOnlyAtAltitude;
extern bool AppearWhenPilotIsInside;
extern bool AlwaysAppear;
extern float Height;
extern float TrailFadeTime;
extern float HeightForBanner;
extern std::int32_t ModelIDForTrail;
extern std::int32_t ModelIDForBanner;
extern float BannerDrawDistance;

// Reads the twelve settings from Zephrel.ini next to the plug-in, in key order, with their defaults. Nothing
// escapes it: a model id that does not convert keeps its default, and the keys after it are still read.
void LoadSettings() noexcept;

// The same from a reader already built, in the same order; throws only when memory runs out.
void LoadSettingsFrom(const IniFile& ini);
