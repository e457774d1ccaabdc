#pragma once
// The twelve settings of section MAIN of Zephrel.ini, each named after its key. All zero until the first
// LoadSettings; every other part of the plug-in only reads them, anew each time it needs them.

#include <cstdint>

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

// Reads the twelve settings from Zephrel.ini next to the plug-in, in key order, with their defaults.
void LoadSettings();
