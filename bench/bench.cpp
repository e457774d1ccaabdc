#include "bench.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "flights/busy_pool.h"
#include "host/render.h"
#include "simhost.h"

// Its body must not vanish, so that a counter can find it as a function of its own.
extern "C" __attribute__((noinline)) void zephrel_count_mark() { asm volatile(""); }

namespace bench {
namespace {

using simhost::Site;
using simhost::Vector3;

constexpr int kSkyTrailSlots[] = {47, 48, 49};

bool IsTrailAircraft(int index) { return index % 2 == 0; }

// The model of the aircraft at `index`: with eight rules, the trail and the banner aircraft go round their rules'
// models, so that neighbouring slots are drawn in different looks.
std::uint16_t ModelAt(int index, bool eightRules) {
  if (!eightRules) {
    const config::Values defaults = config::DefaultValues();
    return static_cast<std::uint16_t>(IsTrailAircraft(index) ? defaults.ModelIDForTrail : defaults.ModelIDForBanner);
  }
  const int rule = index / 2 % kEightRules;
  return IsTrailAircraft(index) ? kTrailRuleModels[rule] : kBannerRuleModels[rule];
}

// Circles around the camera, all above the trail and banner heights (100) and every banner within the
// distance (250) at which it is drawn at full strength: nothing is culled or faded out.
Vector3 PositionAt(int index, float seconds) {
  const float radius = 50.0f + 3.0f * static_cast<float>(index);
  const float height = 120.0f + 15.0f * static_cast<float>(index % 5);
  const float angle = 0.7f * static_cast<float>(index) + 25.0f / radius * seconds;
  return {radius * std::cos(angle), radius * std::sin(angle), height};
}

// The pool index of aircraft `k`.
int PoolIndexOf(int k, const Settings& settings) { return flights::SpreadIndex(k, kAircraft, settings.pool); }

void PlaceAircraft(const Settings& settings) {
  simhost::ResizePool(settings.pool);
  simhost::SetCameraPosition({0.0f, 0.0f, 150.0f});
  // Cars on the ground first, then the aircraft over some of them.
  for (int i = 0; i < settings.pool; ++i) {
    simhost::PlaceVehicle(i, flights::kCarModel, {static_cast<float>(i), -400.0f, 0.0f});
  }
  for (int k = 0; k < kAircraft; ++k) {
    simhost::PlaceVehicle(PoolIndexOf(k, settings), ModelAt(k, settings.eightRules), PositionAt(k, 0.0f));
  }
  const std::uint32_t start = simhost::Clock();
  simhost::SetScript([start, settings](std::uint32_t now) {
    const float seconds = static_cast<float>(now - start) / 1000.0f;
    for (int k = 0; k < kAircraft; ++k) simhost::SetVehiclePosition(PoolIndexOf(k, settings), PositionAt(k, seconds));
  });
}

// The shipped Zephrel.ini, with the sky trails switched on or off; with eight rules, [MAIN]'s trail rule a ribbon and
// seven sections of each kind after it, each trail in a colour and width of its own, each banner with its own cloth.
std::string IniText(bool skyTrails, bool eightRules) {
  std::string text = "[MAIN]\r\n";
  for (std::size_t row = 0; row < config::kSettingCount; ++row) {
    const config::Key& key = config::kKeys[row];
    const bool sky = row == config::RowOf("ReplaceTrailsInTheSky");
    text.append(key.name).append("=").append(sky ? (skyTrails ? "1" : "0") : key.defaultText).append("\r\n");
  }
  if (!eightRules) return text;
  text += "TrailColour=255,128,0\r\nTrailWidth=2\r\n";
  for (int k = 1; k < kEightRules; ++k) {
    const std::uint32_t colour = 0x203040u * static_cast<std::uint32_t>(k);
    text += "[Trail " + std::to_string(kTrailRuleModels[k]) + "]\r\nTrailColour=" + std::to_string(colour >> 16) + "," +
            std::to_string(colour >> 8 & 0xFF) + "," + std::to_string(colour & 0xFF) +
            "\r\nTrailWidth=" + std::to_string(k) + "\r\n";
    text += "[Banner " + std::to_string(kBannerRuleModels[k]) + "]\r\nBannerTexture=Cloth" + std::to_string(k) + "\r\n";
  }
  return text;
}

void Fly(std::uint32_t ms) {
  for (std::uint32_t flown = 0; flown < ms; flown += kFrameMs) simhost::Frame(kFrameMs);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// Runs `work` `rounds` times in each of `runs` timed runs, counting the heap allocations inside them only.
template <class Work>
Timing Time(int runs, int rounds, Work work) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> perRound;
  perRound.reserve(static_cast<std::size_t>(runs));
  Timing timing;
  for (int run = 0; run < runs; ++run) {
    const long allocationsBefore = simhost::HeapAllocations();
    zephrel_count_mark();
    const Clock::time_point start = Clock::now();
    for (int round = 0; round < rounds; ++round) work();
    const Clock::time_point stop = Clock::now();
    zephrel_count_mark();
    timing.allocations += simhost::HeapAllocations() - allocationsBefore;
    perRound.push_back(std::chrono::duration<double, std::nano>(stop - start).count() / rounds);
  }
  timing.nanoseconds = Median(std::move(perRound));
  timing.rounds = static_cast<long>(runs) * rounds;
  return timing;
}

// One frame recorded: what the plug-in drew in it.
Drawn DrawnInOneFrame() {
  simhost::SetRecording(true);
  simhost::ClearRecord();
  simhost::Frame(kFrameMs);
  Drawn drawn;
  for (const simhost::Batch& batch : simhost::Recorded().batches) {
    if (!batch.rendered) continue;
    if (batch.primitiveType == host::kPrimitiveLineList) ++drawn.lineBatches;
    if (batch.primitiveType == host::kPrimitiveTriangleList) ++drawn.triangleBatches;
  }
  simhost::ClearRecord();
  simhost::SetRecording(false);
  return drawn;
}

// What the slots serve, drawn: each trail as a line and each banner. An aircraft at pool index i below kAircraft has
// slot i; the others borrow, in pool order, the slots no aircraft of their own index uses (not the sky trails' while
// they run) until none is left. With eight rules the aircraft's trails are ribbons (triangles), but in the sky trails'
// slots: the host runs its redirected sky routine after the frame's scan, so the sky trails are the last to add a
// point there, and their look, a line, is the one drawn.
Drawn Expected(bool skyTrails, const Settings& settings) {
  std::set<int> free;
  for (int slot = 0; slot < kAircraft; ++slot) free.insert(slot);
  for (int k = 0; k < kAircraft; ++k) free.erase(PoolIndexOf(k, settings));
  if (skyTrails) {
    for (const int slot : kSkyTrailSlots) free.erase(slot);
  }
  std::set<int> trailSlots;
  int banners = 0;
  for (int k = 0; k < kAircraft; ++k) {
    int slot = PoolIndexOf(k, settings);
    if (slot >= kAircraft) {
      if (free.empty()) continue;  // waits
      slot = *free.begin();
      free.erase(free.begin());
    }
    if (IsTrailAircraft(k)) {
      trailSlots.insert(slot);
    } else {
      ++banners;
    }
  }
  int skyLines = 0;
  if (skyTrails) {
    for (const int slot : kSkyTrailSlots) trailSlots.erase(slot);
    skyLines = static_cast<int>(std::size(kSkyTrailSlots));
  }
  const int aircraftTrails = static_cast<int>(trailSlots.size());
  if (!settings.eightRules) return {aircraftTrails + skyLines, banners};
  return {skyLines, banners + aircraftTrails};
}

void FlyWithPlugin(const Case& run, const Settings& settings, Result& result) {
  simhost::GameFolder folder;
  folder.Write(config::kSettingsFile, IniText(run.skyTrails, settings.eightRules));
  folder.Write("MODELS/BANNER.TXD", "stand-in dictionary");
  const std::string file = simhost::BuiltPluginPath(run.build);
  std::unique_ptr<simhost::Plugin> plugin = simhost::Plugin::Load(run.build, folder, {}, file);
  if (!plugin) {
    result.error = "cannot load " + file;
    return;
  }
  if (!settings.rangeFile.empty()) {
    const auto [first, end] = plugin->Extent();
    std::ofstream(settings.rangeFile) << std::hex << first << ' ' << end << '\n';
  }
  simhost::Startup();
  if (simhost::LiveTextures() != (settings.eightRules ? kEightRules : 1))
    result.error = "the banner textures did not load";

  Fly(kWarmUpMs);
  result.drawn = DrawnInOneFrame();
  result.pluginFrame = Time(settings.runs, settings.frames, [] { simhost::Frame(kFrameMs); });

  // The first shutdown call releases the banner texture; from then on the shutdown callback finds nothing to
  // do, so a timed call is the hook's own path.
  simhost::Shutdown();
  if (result.error.empty() && simhost::LiveTextures() != 0) {
    result.error = "the shutdown call did not reach the plug-in";
  }
  if (run.timeCall) {
    result.hookedCall = Time(settings.runs, settings.calls, [] { simhost::RunSite(Site::Shutdown); });
    result.timedCall = true;
  }
  if (!plugin->Unload() && result.error.empty()) result.error = "the plug-in did not unload";
}

}  // namespace

int TrailAircraft() { return (kAircraft + 1) / 2; }
int BannerAircraft() { return kAircraft / 2; }

Result Measure(const Case& run, const Settings& settings) {
  Result result;
  simhost::ResetHost();
  simhost::SetClockHour(run.skyTrails ? kNightHour : 12);
  PlaceAircraft(settings);
  simhost::SetRecording(false);
  result.expected = Expected(run.skyTrails, settings);

  Fly(kWarmUpMs);
  result.hostFrame = Time(settings.runs, settings.frames, [] { simhost::Frame(kFrameMs); });
  if (run.timeCall) {
    result.unhookedCall = Time(settings.runs, settings.calls, [] { simhost::RunSite(Site::Shutdown); });
  }
  FlyWithPlugin(run, settings, result);
  // The sky-trail jump outlives the plug-in; the host gets its own code back here.
  simhost::ResetHost();
  return result;
}

}  // namespace bench
