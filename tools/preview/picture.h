#pragma once
// The picture the preview writes: the overview and the near view side by side, each painted from what the
// plug-in drew for its own camera, and below them a caption: what was flown and at which hour, what the marks
// mean, and which settings differ from their defaults.

#include <optional>
#include <string>
#include <vector>

#include "image.h"
#include "render.h"
#include "scenario.h"

namespace preview {

enum class LegendMark { None, TrailAircraft, BannerAircraft, PlainAircraft, Trail, Banner, SkyLight };

struct CaptionItem {
  LegendMark mark;
  std::string text;
  bool newRow = false;
};

struct Caption {
  std::vector<CaptionItem> items;  // laid out in rows, a row wrapped where it is full
  std::string overviewLabel;
  std::string nearLabel;
};

// What the caption tells of a flight.
struct CaptionFacts {
  std::string plugin;              // the file flown
  std::optional<std::string> ini;  // none: no Zephrel.ini beside it
  float seconds;
  int hour;
  bool night;
  ScenarioSettings settings;
};

Caption MakeCaption(const CaptionFacts& facts);

// "Key=value" for each setting whose value differs from its default, as the last loading of the settings
// left them, in the order the plug-in reads them.
std::vector<std::string> ChangedSettings();

// The same for the keys of [MAIN]'s rules (TrailColour, TrailWidth, BannerTexture, SkyTrailColour), then a line for
// each rule of a section of its own, as the plug-in took it: "[Trail 600] TrailColour=255,40,40 TrailWidth=3", and how
// many rule sections it did not read.
std::vector<std::string> RuleSettings();

struct Layout {
  int width;
  int height;
  int overviewWidth;  // the near view takes the rest of the width
  int viewHeight;     // the caption takes the rest of the height
  int scale;          // of the words; 0 when the picture is too small for them
};

Layout MakeLayout(int width, int height, const Caption& caption);

// The lens of each view: its size in the picture.
Camera OverviewLens(const Layout& layout);
Camera NearLens(const Layout& layout);

// The picture with its caption and nothing yet above it; painted once for all frames of a flight.
Image PaintCaption(const Layout& layout, const Caption& caption);

// The views over a copy of `captioned`, with their labels.
Image Compose(const Layout& layout, const Caption& caption, const Image& captioned, const Image& overview,
              const Image& near);

}  // namespace preview
