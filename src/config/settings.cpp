#include "config/settings.h"

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
