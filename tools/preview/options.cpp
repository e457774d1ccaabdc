#include "options.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace preview {
namespace {

constexpr int kMinimumSide = 16;
constexpr int kMaximumSide = 4096;  // the picture and its depth buffer stay well inside a 32-bit process
constexpr float kMaximumSeconds = 3600.0f;
// Room for every aircraft of the scenario (17 at most: three, and one for each rule of a section).
constexpr int kMinimumPool = 20;
constexpr int kMaximumPool = 1000;

// Whole text as a number, or nothing; from_chars reads the same whatever the locale.
template <typename Number>
std::optional<Number> NumberFrom(std::string_view text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value);
  if (text.empty() || failure != std::errc() || stop != end) return std::nullopt;
  if constexpr (std::is_floating_point_v<Number>) {
    if (!std::isfinite(value)) return std::nullopt;
  }
  return value;
}

std::optional<Vector3> PointFrom(std::string_view text) {
  float values[3];
  for (int k = 0; k < 3; ++k) {
    const std::size_t comma = k < 2 ? text.find(',') : text.size();
    if (comma == std::string_view::npos) return std::nullopt;
    const auto value = NumberFrom<float>(text.substr(0, comma));
    if (!value) return std::nullopt;
    values[k] = *value;
    text.remove_prefix(k < 2 ? comma + 1 : comma);
  }
  return Vector3{values[0], values[1], values[2]};
}

constexpr std::string_view kNames[] = {"build",  "ini",     "seconds", "pool",   "hour",
                                       "camera", "look-at", "size",    "output", "animate"};

bool IsKnown(std::string_view name) {
  for (const std::string_view known : kNames) {
    if (name == known) return true;
  }
  return false;
}

// The value of an option, or an error message; writes into `options`.
std::string Apply(std::string_view name, std::string_view value, Options& options) {
  auto bad = [&](const char* expected) {
    return "bad value '" + std::string(value) + "' for --" + std::string(name) + ": expected " + expected;
  };
  if (name == "build") {
    if (value == "dll") {
      options.build = simhost::PluginBuild::WindowsDll;
    } else if (value == "so") {
      options.build = simhost::PluginBuild::LinuxLibrary;
    } else {
      return bad("dll or so");
    }
  } else if (name == "ini") {
    if (value.empty()) return bad("a file name");
    options.ini = std::string(value);
  } else if (name == "seconds") {
    const auto seconds = NumberFrom<float>(value);
    if (!seconds || !(*seconds > 0.0f) || *seconds > kMaximumSeconds) return bad("seconds above 0, at most 3600");
    options.seconds = *seconds;
  } else if (name == "pool") {
    const auto pool = NumberFrom<int>(value);
    if (!pool || *pool < kMinimumPool || *pool > kMaximumPool) return bad("a number of entries from 20 to 1000");
    options.pool = *pool;
  } else if (name == "hour") {
    const auto hour = NumberFrom<int>(value);
    if (!hour || *hour < 0 || *hour > 23) return bad("an hour from 0 to 23");
    options.hour = *hour;
  } else if (name == "camera" || name == "look-at") {
    const auto point = PointFrom(value);
    if (!point) return bad("x,y,z");
    (name == "camera" ? options.camera : options.lookAt) = *point;
  } else if (name == "size") {
    const std::size_t cross = value.find('x');
    const auto width = NumberFrom<int>(value.substr(0, cross));
    const auto height = cross == std::string_view::npos ? std::nullopt : NumberFrom<int>(value.substr(cross + 1));
    if (!width || !height || *width < kMinimumSide || *height < kMinimumSide || *width > kMaximumSide ||
        *height > kMaximumSide) {
      return bad("WxH, each from 16 to 4096");
    }
    options.width = *width;
    options.height = *height;
  } else if (name == "output" || name == "animate") {
    if (value.empty()) return bad("a file name");
    if (name == "output")
      options.output = std::string(value);
    else
      options.animation = std::string(value);
  }
  return {};
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string> arguments) {
  ParsedOptions parsed;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    const std::string_view argument = arguments[k];
    if (argument == "--help" || argument == "-h") {
      parsed.options.help = true;
      continue;
    }
    if (!argument.starts_with("--") || argument.size() == 2) {
      parsed.error = "unexpected argument '" + std::string(argument) + "'";
      return parsed;
    }
    std::string_view name = argument.substr(2);
    std::string_view value;
    const std::size_t equals = name.find('=');
    if (equals != std::string_view::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    // Named before any value is looked for, so that a mistyped last option is not reported as lacking one.
    if (!IsKnown(name)) {
      parsed.error = "unknown option --" + std::string(name);
      return parsed;
    }
    if (equals == std::string_view::npos) {
      if (k + 1 == arguments.size()) {
        parsed.error = "--" + std::string(name) + " needs a value";
        return parsed;
      }
      value = arguments[++k];
    }
    parsed.error = Apply(name, value, parsed.options);
    if (!parsed.error.empty()) return parsed;
  }
  const Options& options = parsed.options;
  if (options.camera && options.lookAt && Length(Subtract(*options.lookAt, *options.camera)) == 0.0f) {
    parsed.error = "--camera and --look-at are the same point";
  }
  return parsed;
}

std::string Usage() {
  return "Usage: zephrel-preview [options]\n"
         "Runs the Zephrel plug-in in the simulated host on a scripted flight and writes a PNG of what it drew: two\n"
         "aircraft of model ModelIDForTrail crossing, one of model ModelIDForBanner circling, and one more for each\n"
         "[Trail N] rule (crossing) and [Banner N] rule (circling), each above the height at which the plug-in\n"
         "serves it; each cloth shows as stripes of its own colour. An overview and a view near the circling\n"
         "aircraft stand side by side, each drawn by the plug-in for its own camera; the caption says what the\n"
         "marks are, the hour, and which settings and rules differ from their defaults.\n"
         "\n"
         "  --build dll|so    the plug-in to fly: dll, the Zephrel.dll a player installs (default), loaded by the\n"
         "                    simulated host's Windows loader; so, the Linux library the tests load\n"
         "  --ini FILE        the Zephrel.ini to preview (default: none, the plug-in's own defaults)\n"
         "  --seconds S       simulated seconds to fly, 30 frames each (default 40)\n"
         "  --pool N          the game's vehicle pool of N entries, 20 to 1000, the scenario's aircraft spread over\n"
         "                    it and cars, which the plug-in leaves alone, in the other entries (default: the\n"
         "                    aircraft alone, the first entries of the pool)\n"
         "  --hour H          hour of the game clock, 0 to 23 (default 12, or 2 when ReplaceTrailsInTheSky is on:\n"
         "                    the sky-trail lights show from 23 to 6)\n"
         "  --camera X,Y,Z    overview camera position (default: placed so that everything drawn is in view)\n"
         "  --look-at X,Y,Z   the point the overview camera looks at (default: the middle of the scene)\n"
         "  --size WxH        picture size in pixels (default 1280x720)\n"
         "  --output FILE     the PNG to write (default preview.png)\n"
         "  --animate FILE    also write the flight as an animated GIF, 10 frames a second, at most 640 pixels wide\n"
         "  --help            this text\n";
}

}  // namespace preview
