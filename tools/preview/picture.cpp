#include "picture.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "config/settings.h"
#include "text.h"

namespace preview {
namespace {

constexpr Colour kBand{0.08f, 0.085f, 0.1f};
constexpr Colour kWords{0.93f, 0.93f, 0.9f};
constexpr Colour kSeam{0.35f, 0.35f, 0.38f};  // between the views, seen by day and by night
constexpr int kPad = 6;                       // pixels around the caption's rows and the labels
constexpr int kMarkWidth = 18;                // room for a legend mark before its words
constexpr int kItemGap = 14;                  // font pixels between the items of a row
constexpr int kWideEnough = 1000;             // pictures this wide get words twice the font's size

int RowHeight(int scale) { return kTextLineHeight * scale + 6; }

int ItemWidth(const CaptionItem& item, int scale) {
  return (item.mark != LegendMark::None ? kMarkWidth + 4 : 0) + TextWidth(item.text, scale);
}

// Lays the items out in rows of `width` pixels and hands each to `place` with its left edge and row; returns
// the number of rows.
template <typename Place>
int Flow(const Caption& caption, int width, int scale, Place place) {
  int row = 0;
  int x = kPad;
  bool first = true;
  for (const CaptionItem& item : caption.items) {
    const int itemWidth = ItemWidth(item, scale);
    if (!first && (item.newRow || x + itemWidth > width - kPad)) {
      ++row;
      x = kPad;
    }
    place(item, x, row);
    x += itemWidth + kItemGap * scale;
    first = false;
  }
  return first ? 0 : row + 1;
}

void PaintLegendMark(Image& image, LegendMark mark, int left, int centreY) {
  const float cx = static_cast<float>(left) + kMarkWidth * 0.5f;
  const float cy = static_cast<float>(centreY);
  switch (mark) {
    case LegendMark::None:
      break;
    case LegendMark::TrailAircraft:
      PaintMarker(image, cx, cy, AircraftKind::Trail);
      break;
    case LegendMark::BannerAircraft:
      PaintMarker(image, cx, cy, AircraftKind::Banner);
      break;
    case LegendMark::PlainAircraft:
      PaintMarker(image, cx, cy, AircraftKind::Plain);
      break;
    case LegendMark::Trail:
      FillRect(image, left + 1, centreY - 1, kMarkWidth - 2, 2, {1.0f, 1.0f, 1.0f}, 0.8f);
      break;
    case LegendMark::Banner:
      // A piece of cloth with the stand-in texture, as translucent as the plug-in draws it near the camera.
      for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < kMarkWidth; ++x) {
          const Colour texel =
              StandInTexel((static_cast<float>(x) + 0.5f) / kMarkWidth, (static_cast<float>(y) + 0.5f) / 8);
          FillRect(image, left + x, centreY - 4 + y, 1, 1, texel, 160.0f / 255.0f);
        }
      }
      break;
    case LegendMark::SkyLight:
      // A red glow with a white core, as the lights are painted.
      for (int y = -7; y <= 7; ++y) {
        for (int x = -7; x <= 7; ++x) {
          const float r2 = static_cast<float>(x * x + y * y) / 30.0f;
          FillRect(image, static_cast<int>(cx) + x, centreY + y, 1, 1, {1.0f, 0.0f, 0.0f}, std::exp(-2.0f * r2));
          if (r2 < 0.08f) FillRect(image, static_cast<int>(cx) + x, centreY + y, 1, 1, {1.0f, 1.0f, 1.0f}, 0.8f);
        }
      }
      break;
  }
}

void PaintLabel(Image& image, int left, const std::string& text, int scale) {
  if (scale == 0 || text.empty()) return;
  FillRect(image, left + kPad, kPad, TextWidth(text, scale) + 2 * kPad, RowHeight(scale), kBand, 0.6f);
  DrawText(image, left + 2 * kPad, kPad + 3 * scale, text, kWords, scale);
}

std::string ModelList(const std::vector<std::uint16_t>& models) {
  std::string text = models.size() > 1 ? "models " : "model ";
  for (std::size_t k = 0; k < models.size(); ++k) text += (k > 0 ? ", " : "") + std::to_string(models[k]);
  return text;
}

}  // namespace

namespace {

// The keys of rows `from` to `to` whose values differ from their defaults, as "Key=value".
std::vector<std::string> Differing(std::size_t from, std::size_t to) {
  const config::Values defaults = config::DefaultValues();
  std::vector<std::string> changed;
  for (std::size_t row = from; row < to; ++row) {
    const std::string value = config::ValueText(config::InEffect, row);
    if (value != config::ValueText(defaults, row))
      changed.push_back(std::string(config::kKeys[row].name) + "=" + value);
  }
  return changed;
}

// A rule's keys as `key=value` pairs joined by spaces: its look, and that it is off.
std::string RuleLook(const config::Values& rule, config::RuleKind kind) {
  const auto pair = [&rule](const char* key) {
    return std::string(key) + "=" + config::ValueText(rule, config::KeyRow(key));
  };
  if (kind == config::RuleKind::kBanner) return pair("BannerTexture") + (rule.EnableBanner ? "" : " EnableBanner=0");
  std::string look = pair("TrailColour");
  if (rule.TrailWidth > 0.0f) look += " " + pair("TrailWidth");
  return rule.EnableTrail ? look : look + " EnableTrail=0";
}

}  // namespace

std::vector<std::string> ChangedSettings() { return Differing(0, config::kSettingCount); }

std::vector<std::string> RuleSettings() {
  const config::Configuration& read = config::InEffect;
  std::vector<std::string> rules = Differing(config::kSettingCount, config::kKeyCount);
  for (const config::RuleKind kind : {config::RuleKind::kTrail, config::RuleKind::kBanner}) {
    for (int k = 1; k < config::RuleCountOf(read, kind); ++k) {
      const config::Values rule = config::RuleValues(config::RulesOf(read, kind), k);
      rules.push_back("[" + std::string(config::InfoOf(kind).section) + " " +
                      std::to_string(config::ModelOf(rule, kind)) + "] " + RuleLook(rule, kind));
    }
  }
  if (read.ruleSectionsNotRead > 0) {
    rules.push_back(std::to_string(read.ruleSectionsNotRead) + " rule section(s) not read: " +
                    std::to_string(config::kMaxTrailRules) + " rules of a kind at most");
  }
  return rules;
}

Caption MakeCaption(const CaptionFacts& facts) {
  Caption caption;
  auto add = [&](LegendMark mark, std::string text, bool newRow = false) {
    caption.items.push_back({mark, std::move(text), newRow});
  };
  const ScenarioSettings& settings = facts.settings;
  std::string title = facts.plugin + ", " + config::FloatText(facts.seconds) + " s of flight at hour " +
                      std::to_string(facts.hour) + (facts.night ? " (night" : " (day");
  title += facts.night && settings.replaceTrailsInTheSky ? ": the sky-trail lights blink)" : ")";
  add(LegendMark::None, title);

  // The marks of the kinds the plug-in makes of the scenario's aircraft, with the models that made them.
  struct KindMark {
    AircraftKind kind;
    LegendMark mark;
    const char* what;
  };
  constexpr KindMark kinds[] = {{AircraftKind::Trail, LegendMark::TrailAircraft, "trail aircraft"},
                                {AircraftKind::Banner, LegendMark::BannerAircraft, "banner aircraft"},
                                {AircraftKind::Plain, LegendMark::PlainAircraft, "aircraft it leaves alone"}};
  bool newRow = true;
  bool trails = settings.replaceTrailsInTheSky;
  bool banners = false;
  for (const KindMark& kind : kinds) {
    std::vector<std::uint16_t> models;
    for (int index = 0; index < ScenarioAircraftCount(settings); ++index) {
      const std::uint16_t model = ScenarioModel(settings, index);
      if (KindOf(model, settings) == kind.kind && std::find(models.begin(), models.end(), model) == models.end()) {
        models.push_back(model);
      }
    }
    if (models.empty()) continue;
    add(kind.mark, std::string(kind.what) + " (" + ModelList(models) + ")", newRow);
    newRow = false;
    trails = trails || kind.kind == AircraftKind::Trail;
    banners = banners || kind.kind == AircraftKind::Banner;
  }
  if (trails) add(LegendMark::Trail, "trail");
  if (banners) add(LegendMark::Banner, "banner (stand-in texture, its stripes a colour for each cloth)");
  if (settings.replaceTrailsInTheSky) add(LegendMark::SkyLight, "sky-trail light (at night)");

  std::vector<std::string> changed = ChangedSettings();
  for (std::string& rule : RuleSettings()) changed.push_back(std::move(rule));
  if (!facts.ini) {
    add(LegendMark::None, "No Zephrel.ini: every setting at its default", true);
  } else if (facts.settings.iniStatus == config::IniTextStatus::kTooLarge) {
    add(LegendMark::None,
        *facts.ini + ": larger than " + std::to_string(config::kIniFileSizeLimit) +
            " bytes, too large for a configuration: not read, so every setting at its default",
        true);
  } else if (facts.settings.iniStatus == config::IniTextStatus::kUnreadable) {
    add(LegendMark::None, *facts.ini + ": cannot be read, so every setting at its default", true);
  } else if (changed.empty()) {
    add(LegendMark::None, *facts.ini + ": every setting at its default", true);
  } else {
    add(LegendMark::None, *facts.ini + ", not at their defaults:", true);
    for (const std::string& setting : changed) add(LegendMark::None, setting);
  }

  caption.overviewLabel = "Overview";
  caption.nearLabel = "Near the circling aircraft";
  return caption;
}

Layout MakeLayout(int width, int height, const Caption& caption) {
  Layout layout{width, height, width / 2, height, width >= kWideEnough ? 2 : 1};
  const int rows = Flow(caption, width, layout.scale, [](const CaptionItem&, int, int) {});
  const int band = 2 * kPad + rows * RowHeight(layout.scale);
  if (band > height / 3) {
    layout.scale = 0;  // the views need the room more
  } else {
    layout.viewHeight = height - band;
  }
  return layout;
}

Camera OverviewLens(const Layout& layout) {
  Camera lens;
  lens.width = layout.overviewWidth;
  lens.height = layout.viewHeight;
  return lens;
}

Camera NearLens(const Layout& layout) {
  Camera lens = OverviewLens(layout);
  lens.width = layout.width - layout.overviewWidth;
  return lens;
}

Image PaintCaption(const Layout& layout, const Caption& caption) {
  Image image(layout.width, layout.height);
  if (layout.scale == 0) return image;
  FillRect(image, 0, layout.viewHeight, layout.width, layout.height - layout.viewHeight, kBand);
  const int scale = layout.scale;
  Flow(caption, layout.width, scale, [&](const CaptionItem& item, int x, int row) {
    const int top = layout.viewHeight + kPad + row * RowHeight(scale);
    if (item.mark != LegendMark::None) {
      PaintLegendMark(image, item.mark, x, top + RowHeight(scale) / 2);
      x += kMarkWidth + 4;
    }
    DrawText(image, x, top + 3 * scale, item.text, kWords, scale);
  });
  return image;
}

Image Compose(const Layout& layout, const Caption& caption, const Image& captioned, const Image& overview,
              const Image& near) {
  Image picture = captioned;
  Paste(picture, overview, 0, 0);
  Paste(picture, near, layout.overviewWidth, 0);
  FillRect(picture, layout.overviewWidth - 1, 0, 2, layout.viewHeight, kSeam);
  PaintLabel(picture, 0, caption.overviewLabel, layout.scale);
  PaintLabel(picture, layout.overviewWidth, caption.nearLabel, layout.scale);
  return picture;
}

}  // namespace preview
