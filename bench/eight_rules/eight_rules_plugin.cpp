// For the benchmark only: the plug-in with eight trail rules drawn as ribbons, each in a colour of its own, and eight
// banner rules, each with a cloth of its own. At start-up and at every re-initialisation, after the plug-in's own
// callback has read Zephrel.ini and made [MAIN]'s rules, this adds the other seven of each, as the sections of a
// file would, and reads their cloths.

#include <cstdio>

#include "banners/banner_texture.h"
#include "config/rules.h"
#include "eight_rules.h"
#include "hooks/host_events.h"

namespace {

void AddSevenOfEach() {
  for (int k = 1; k < bench::kEightRules; ++k) {
    config::TrailRule trail = config::MainTrailRule();
    trail.model = bench::kTrailRuleModels[k];
    trail.colour = 0x203040u * static_cast<std::uint32_t>(k);
    trail.width = static_cast<float>(k);
    config::AddTrailRule(trail);
    config::BannerRule banner = config::MainBannerRule();
    banner.model = bench::kBannerRuleModels[k];
    std::snprintf(banner.texture, sizeof banner.texture, "Cloth%d", k);
    config::AddBannerRule(banner);
  }
  config::BuildModelRules();
}

void StartupWithEightRules() {
  AddSevenOfEach();
  banners::LoadBannerRuleTextures();
}

struct EightRules {
  EightRules() {
    plugin::hostStartupEvent().AddCallback(plugin::hostStartupEvent().afterCallbacks, StartupWithEightRules, 0);
    plugin::hostReinitEvent().AddCallback(plugin::hostReinitEvent().afterCallbacks, AddSevenOfEach, 0);
  }
};

// After the plug-in's own object, so that its callbacks run first.
__attribute__((init_priority(2100))) EightRules eightRules;

}  // namespace
