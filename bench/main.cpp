// zephrel-bench: what the plug-in costs the host per frame and per hooked call, and whether it allocates.
// Exit status: 0 when every case ran and nothing allocated, 1 when a case failed or an allocation was seen in
// a timed frame or call, 2 for a bad command line.

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench.h"
#include "plugin.h"
#include "simhost.h"

namespace {

using bench::Case;
using bench::Result;
using bench::Settings;
using simhost::PluginBuild;

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

struct Options {
  Settings settings;
  std::vector<PluginBuild> builds{PluginBuild::LinuxLibrary, PluginBuild::WindowsDll};
  bool help = false;
};

constexpr char kUsage[] =
    "Usage: zephrel-bench [--build so|dll|both] [--rules main|eight] [--pool N] [--frames N] [--calls N]\n"
    "                     [--runs N] [--count-range FILE]\n"
    "Flies 50 aircraft (trail and banner planes, all in view) in the simulated host and times each frame with\n"
    "the plug-in loaded against the same frame of the host alone, once with the sky trails off and once with\n"
    "them on at night; times one hooked call against the host's own; counts heap allocations in both.\n"
    "  --build   which plug-in: so (libzephrel.so), dll (Zephrel.dll) or both (default)\n"
    "  --rules   main: the shipped Zephrel.ini's one trail and one banner rule (default); eight: eight trail\n"
    "            rules drawn as ribbons and eight banner rules with cloths of their own, the trail and banner\n"
    "            aircraft going round them (a variant of the plug-in that sets the seven beyond [MAIN]'s)\n"
    "  --pool    the vehicle pool's entries, %d to %d (default %d): the aircraft spread evenly over it and\n"
    "            cars in the other entries, as in a busy scene\n"
    "  --frames  frames per timed run (default %d)\n"
    "  --calls   hooked calls per timed run (default %d)\n"
    "  --runs    timed runs; the median is reported (default %d)\n"
    "  --count-range  write the plug-in's address range to FILE once loaded, for the instruction\n"
    "            counter of bench/insn/count.py, which runs this program and reports exact counts\n"
    "Exit status 1 when a case fails or an allocation is seen in a timed frame or call.\n";

std::optional<int> CountFrom(std::string_view text, int most) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value);
  if (text.empty() || failure != std::errc() || stop != end || value < 1 || value > most) return std::nullopt;
  return value;
}

// An error message, or empty when the option was applied.
std::string Apply(std::string_view name, std::string_view value, Options& options) {
  auto bad = [&](const std::string& expected) {
    return "bad value '" + std::string(value) + "' for --" + std::string(name) + ": expected " + expected;
  };
  auto count = [&](int& into, int most) -> std::string {
    const std::optional<int> parsed = CountFrom(value, most);
    if (!parsed) return bad("a whole number from 1 to " + std::to_string(most));
    into = *parsed;
    return {};
  };
  if (name == "build") {
    if (value == "so") {
      options.builds = {PluginBuild::LinuxLibrary};
    } else if (value == "dll") {
      options.builds = {PluginBuild::WindowsDll};
    } else if (value == "both") {
      options.builds = {PluginBuild::LinuxLibrary, PluginBuild::WindowsDll};
    } else {
      return bad("so, dll or both");
    }
    return {};
  }
  if (name == "rules") {
    if (value != "main" && value != "eight") return bad("main or eight");
    options.settings.eightRules = value == "eight";
    return {};
  }
  // Bounded so that all runs' frames or calls together fit a 32-bit count and the host clock does not wrap.
  if (name == "pool") {
    if (std::string error = count(options.settings.pool, bench::kMaxPool); !error.empty()) return error;
    if (options.settings.pool < bench::kAircraft) {
      return bad("a whole number from " + std::to_string(bench::kAircraft) + " to " + std::to_string(bench::kMaxPool));
    }
    return {};
  }
  if (name == "frames") return count(options.settings.frames, 100000);
  if (name == "calls") return count(options.settings.calls, 10000000);
  if (name == "runs") return count(options.settings.runs, 101);
  if (name == "count-range") {
    options.settings.rangeFile = value;
    return {};
  }
  return "unknown option --" + std::string(name);
}

// "--name value" and "--name=value" both work.
std::string Parse(const std::vector<std::string>& arguments, Options& options) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view argument = arguments[i];
    if (argument == "--help") {
      options.help = true;
      continue;
    }
    if (!argument.starts_with("--")) return "unexpected argument '" + std::string(argument) + "'";
    argument.remove_prefix(2);
    std::string_view name = argument;
    std::string_view value;
    if (const std::size_t equals = argument.find('='); equals != std::string_view::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      return "missing value for --" + std::string(name);
    }
    if (std::string error = Apply(name, value, options); !error.empty()) return error;
  }
  return {};
}

double Micro(double nanoseconds) { return nanoseconds / 1000.0; }

void PrintFrameRow(const Case& run, const Result& result) {
  const double cost = result.pluginFrame.nanoseconds - result.hostFrame.nanoseconds;
  std::printf("%-13s %-4s %9.2f us %11.2f us %10.2f us %9.1fx %7d %7d  %ld in %ld frames\n",
              simhost::PluginFileName(run.build), run.skyTrails ? "on" : "off", Micro(result.hostFrame.nanoseconds),
              Micro(result.pluginFrame.nanoseconds), Micro(cost), cost / result.hostFrame.nanoseconds,
              result.drawn.lineBatches, result.drawn.triangleBatches, result.pluginFrame.allocations,
              result.pluginFrame.rounds);
}

void PrintCallRow(const Case& run, const Result& result) {
  std::printf("%-13s %9.1f ns %9.1f ns %9.1f ns  %ld in %ld calls\n", simhost::PluginFileName(run.build),
              result.unhookedCall.nanoseconds, result.hookedCall.nanoseconds,
              result.hookedCall.nanoseconds - result.unhookedCall.nanoseconds, result.hookedCall.allocations,
              result.hookedCall.rounds);
}

// What a case got wrong, one line each; none when it ran as it should and allocated nothing.
std::vector<std::string> Faults(const Case& run, const Result& result) {
  const std::string what =
      std::string(simhost::PluginFileName(run.build)) + ", sky trails " + (run.skyTrails ? "on" : "off");
  if (!result.error.empty()) return {what + ": " + result.error};
  std::vector<std::string> faults;
  if (result.drawn.lineBatches != result.expected.lineBatches ||
      result.drawn.triangleBatches != result.expected.triangleBatches) {
    faults.push_back(what + ": drew " + std::to_string(result.drawn.lineBatches) + " trails and " +
                     std::to_string(result.drawn.triangleBatches) + " banners in a frame, expected " +
                     std::to_string(result.expected.lineBatches) + " and " +
                     std::to_string(result.expected.triangleBatches));
  }
  if (result.pluginFrame.allocations != 0) {
    faults.push_back(what + ": " + std::to_string(result.pluginFrame.allocations) + " heap allocations in " +
                     std::to_string(result.pluginFrame.rounds) + " frames");
  }
  if (result.timedCall && result.hookedCall.allocations != 0) {
    faults.push_back(what + ": " + std::to_string(result.hookedCall.allocations) + " heap allocations in " +
                     std::to_string(result.hookedCall.rounds) + " hooked calls");
  }
  return faults;
}

int Run(const Options& options) {
  const Settings& settings = options.settings;
  std::printf(
      "zephrel-bench: %d aircraft (%d trail, %d banner planes) in a vehicle pool of %d entries (cars in the\n"
      "others), all in view and qualifying, banner texture present. Every time is the median of %d runs (%d\n"
      "frames of %u ms, or %d calls, each) after %u s of flight; the simulated host records nothing while timed.\n\n",
      bench::kAircraft, bench::TrailAircraft(), bench::BannerAircraft(), settings.pool, settings.runs, settings.frames,
      bench::kFrameMs, settings.calls, bench::kWarmUpMs / 1000);

  std::vector<std::pair<Case, Result>> results;
  for (const PluginBuild build : options.builds) {
    for (const bool skyTrails : {false, true}) {
      const Case run{build, skyTrails, !skyTrails};
      results.emplace_back(run, bench::Measure(run, settings));
    }
  }

  std::printf("Per frame (sky trails on: ReplaceTrailsInTheSky=1, at night, with their lights)\n");
  std::printf("%-13s %-4s %12s %14s %13s %10s %7s %7s  %s\n", "plug-in", "sky", "host alone", "with plug-in",
              "plug-in cost", "cost/host", "trails", "banners", "heap allocations");
  for (const auto& [run, result] : results) {
    if (result.error.empty()) PrintFrameRow(run, result);
  }

  std::printf(
      "\nPer call at the host's shutdown call site 0x%X, run the host's way (simhost::RunSite): unhooked,\n"
      "the host routine alone; hooked, the plug-in's dispatch, its shutdown event and callback (the banner\n"
      "texture already released, so only a null check) and then the host routine.\n",
      simhost::SiteAddress(simhost::Site::Shutdown));
  std::printf("%-13s %12s %12s %12s  %s\n", "plug-in", "unhooked", "hooked", "hook cost", "heap allocations");
  for (const auto& [run, result] : results) {
    if (result.timedCall) PrintCallRow(run, result);
  }

  std::printf(
      "\nThe simulated host's own frame does little beyond moving the aircraft, so cost/host is far above what\n"
      "a real game frame would show. libzephrel.so, the simulated host and this program are built with UBSan, as\n"
      "the tests are, which inflates their absolute times; Zephrel.dll is the release build a player installs.\n"
      "Under qemu-i386 every time is an emulated one.\n");

  int status = 0;
  for (const auto& [run, result] : results) {
    for (const std::string& fault : Faults(run, result)) {
      std::fprintf(stderr, "zephrel-bench: %s\n", fault.c_str());
      status = kFailure;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const std::string error = Parse({argv + 1, argv + argc}, options); !error.empty()) {
    std::fprintf(stderr, "zephrel-bench: %s\nTry 'zephrel-bench --help'.\n", error.c_str());
    return kUsageError;
  }
  if (options.help) {
    const Settings defaults;
    std::printf(kUsage, bench::kAircraft, bench::kMaxPool, defaults.pool, defaults.frames, defaults.calls,
                defaults.runs);
    return 0;
  }
  return Run(options);
}
