// Every call the plug-in makes into the host during a 40-second flight with every effect on (trails, banners,
// the sky trails and their lights at night, then day), compared with a recording kept in golden/host_calls.txt.
// Work on the plug-in's speed must leave this recording exactly as it is: the same calls, with the same
// arguments, in the same order. A second flight under the rules of a display team and two banners is kept in
// golden/rules_host_calls.txt, so that the DLL under Wine is held to what the Linux build draws.
//
// Floats are written as their bits. A pointer into the plug-in is written as the number of the distinct
// object it names, counted in order of first appearance, so that the recording does not depend on where the
// plug-in's data lands; any other (the stack, the host's heap) as "other". What the host reads through a
// pointer (a vector, vertices, indices) follows the call. Start-up, re-initialisation, shutdown and the first
// frame of every other second are kept call by call; the other frames, to keep the file small, as their number of
// calls and a 64-bit FNV-1a digest of their lines (the rules flight keeps only every tenth second whole).
// ZEPHREL_UPDATE_GOLDEN=1 writes the recording anew.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "story.h"

namespace story {
namespace {

using simhost::PluginBuild;

constexpr std::uint32_t kStepMs = 50;  // 20 frames per second keeps the recording a manageable size

// Which arguments of each entry are pointers.
const std::map<std::string, std::vector<int>> kPointerArgs = {
    {"AddTextureDictionarySlot", {0}},
    {"LoadTextureDictionary", {1}},
    {"FindTextureDictionarySlot", {0}},
    {"ReadTexture", {0, 1}},
    {"DestroyTexture", {0}},
    {"TransformImmediateVertices", {0, 2}},
    {"RenderImmediateIndexed", {1}},
    {"IsSphereVisible", {0, 1}},
    {"SetVector", {0}},
    {"VectorLength", {0}},
    {"CopyVector", {0, 1}},
    {"ShowLightSprite", {6}},
    {"UpdateLightSprite", {1}},
};

std::string Hex(std::uint32_t word) {
  char text[12];
  std::snprintf(text, sizeof text, "%x", word);
  return text;
}

std::string VectorAt(std::uint32_t address) {
  const auto& v = *reinterpret_cast<const host::Vector3*>(address);
  return " (" + Hex(simhost::Bits(v.x)) + " " + Hex(simhost::Bits(v.y)) + " " + Hex(simhost::Bits(v.z)) + ")";
}

// Writes each call as one line while the host is inside it, so that what it reads can be read too.
class Transcript {
 public:
  Transcript(const simhost::Plugin& plugin, std::string folderSeen) : plugin_(plugin), folder_(std::move(folderSeen)) {}

  // Starts a part of the recording, kept call by call when `whole`, else as its digest.
  void Begin(const std::string& title, bool whole) {
    End();
    title_ = title;
    whole_ = whole;
    text_ << title << '\n';
  }

  // Closes the current part.
  void End() {
    if (title_.empty()) return;
    if (whole_) {
      text_ << part_;
    } else {
      std::uint64_t digest = 0xcbf29ce484222325u;
      for (const char c : part_) digest = (digest ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
      char line[64];
      std::snprintf(line, sizeof line, "digest %d %016llx\n", calls_, static_cast<unsigned long long>(digest));
      text_ << line;
    }
    parts_[title_] = part_;
    title_.clear();
    part_.clear();
    calls_ = 0;
  }

  void Add(const simhost::Call& call) {
    std::string line = call.entry;
    const auto pointers = kPointerArgs.find(call.entry);
    for (std::size_t i = 0; i < call.args.size(); ++i) {
      const bool pointer = pointers != kPointerArgs.end() &&
                           std::find(pointers->second.begin(), pointers->second.end(), i) != pointers->second.end();
      line += " " + (pointer ? Pointer(call.args[i]) : Hex(call.args[i]));
    }
    if (!call.text.empty()) line += " \"" + Path(call.text) + "\"";
    const auto& a = call.args;
    if (call.entry == "VectorLength") line += VectorAt(a[0]);
    if (call.entry == "CopyVector") line += VectorAt(a[1]);
    if (call.entry == "TransformImmediateVertices") {
      const auto* words = reinterpret_cast<const std::uint32_t*>(a[0]);
      for (std::uint32_t i = 0; i < a[1] * sizeof(host::ImmediateVertex) / 4; ++i) line += " " + Hex(words[i]);
    }
    if (call.entry == "RenderImmediateIndexed") {
      const auto* indices = reinterpret_cast<const std::uint16_t*>(a[1]);
      line += " :";
      for (std::uint32_t i = 0; i < a[2]; ++i) line += " " + std::to_string(indices[i]);
    }
    part_ += line + '\n';
    ++calls_;
  }

  std::string Text() const { return text_.str(); }
  // Every part as it was recorded, call by call, by its title.
  const std::map<std::string, std::string>& Parts() const { return parts_; }

 private:
  std::string Pointer(std::uint32_t address) {
    if (address == 0) return "null";
    if (address >= simhost::At(simhost::kImageBase) && address < simhost::At(simhost::kImageEnd)) {
      return "@" + Hex(address - simhost::At(simhost::kImageBase) + simhost::kImageBase);
    }
    if (!plugin_.Contains(address)) return "other";  // the stack, or the host's heap
    const auto [found, added] = objects_.try_emplace(address, objects_.size());
    return "p" + std::to_string(found->second);
  }

  // The game folder as the plug-in names it differs from run to run and between the builds.
  std::string Path(std::string text) const {
    if (text.starts_with(folder_)) text = "<game>/" + text.substr(folder_.size());
    for (char& c : text) {
      if (c == '\\') c = '/';
    }
    return text;
  }

  const simhost::Plugin& plugin_;
  std::string folder_;
  std::map<std::uint32_t, std::size_t> objects_;
  std::ostringstream text_;
  std::string title_;
  bool whole_ = false;
  std::string part_;
  int calls_ = 0;
  std::map<std::string, std::string> parts_;
};

// Two trail planes (one crossing high, one climbing through Height), a banner plane circling near the camera
// and one flying away through the fade distance and beyond the draw distance; night until 25 s, then day.
void Script(std::uint32_t start, std::uint32_t now) {
  const float t = static_cast<float>(now - start) / 1000.0f;
  simhost::SetVehiclePosition(0, {-400.0f + 20.0f * t, 30.0f, 150.0f});
  // In double: glibc's and the Windows runtimes' float sines differ in the last bit for 19 of these 801 angles,
  // their double sines rounded to float for none.
  const double angle = 0.2f * t;
  simhost::SetVehiclePosition(
      1, {100.0f * static_cast<float>(std::cos(angle)), 100.0f * static_cast<float>(std::sin(angle)), 140.0f});
  simhost::SetVehiclePosition(2, {0.0f, 200.0f + 4.0f * t, 160.0f});
  simhost::SetVehiclePosition(3, {-50.0f, -80.0f + 10.0f * t, 60.0f + 5.0f * t});
  simhost::SetClockHour(t < 25.0f ? 2 : 12);
  // A fifth aircraft, where there is one: a trail plane crossing low, past the camera.
  if (simhost::PoolSize() > 4) simhost::SetVehiclePosition(4, {-400.0f + 20.0f * t, -30.0f, 120.0f});
}

// A flight kept in golden/<file>: the aircraft of `models` fly the script's paths from pool index 0 on.
struct Plan {
  const char* file;
  std::string ini;
  std::vector<std::uint16_t> models;
  std::uint32_t wholeEveryMs;  // the frames kept call by call
};

Plan DefaultFlight() {
  return {"host_calls.txt",
          Ini({{"ReplaceTrailsInTheSky", "1"}}),
          {kTrailModel, kBannerModel, kBannerModel, kTrailModel},
          2000};
}
// The ribbon crossing high, [MAIN]'s banner circling, the other cloth flying away, the green line climbing through
// Height and the blue one crossing low.
Plan RulesFlight() {
  return {
      "rules_host_calls.txt", RulesIni(), {kRibbonModel, kBannerModel, kClothModel, kGreenModel, kTrailModel}, 10000};
}

struct Flight {
  std::string text;                          // as the golden file holds it
  std::map<std::string, std::string> parts;  // each part call by call, by its title line
};

Flight RecordFlight(PluginBuild build, const Plan& plan) {
  simhost::ResetHost();
  simhost::ResizePool(static_cast<int>(plan.models.size()));
  simhost::GameFolder folder;
  folder.Write("Zephrel.ini", plan.ini);
  folder.Write("MODELS/BANNER.TXD", "stand-in dictionary");
  std::unique_ptr<simhost::Plugin> plugin = simhost::Plugin::Load(build, folder);
  if (!plugin) return {"cannot load the plug-in", {}};

  for (std::size_t i = 0; i < plan.models.size(); ++i) simhost::PlaceVehicle(static_cast<int>(i), plan.models[i], {});
  simhost::SetVehicleDriver(1, true);
  simhost::SetCameraPosition({0.0f, 0.0f, 150.0f});
  const std::uint32_t start = simhost::Clock();
  simhost::SetScript([start](std::uint32_t now) { Script(start, now); });

  Transcript transcript(*plugin, folder.SeenBy(build));
  simhost::SetVectorCallsRecorded(true);
  simhost::SetCallObserver([&transcript](const simhost::Call& call) { transcript.Add(call); });
  transcript.Begin("# start-up", true);
  simhost::Startup();
  for (std::uint32_t ms = kStepMs; ms <= 40000; ms += kStepMs) {
    if (ms == 10000) {
      transcript.Begin("# re-initialisation", true);
      simhost::Reinit();
    }
    transcript.Begin("# frame " + std::to_string(ms), ms % plan.wholeEveryMs == 0);
    simhost::Frame(kStepMs);
  }
  transcript.Begin("# shutdown", true);
  simhost::Shutdown();
  transcript.End();
  simhost::SetCallObserver(nullptr);
  const bool unloaded = plugin->Unload();
  simhost::ResetHost();
  if (!unloaded) return {"the plug-in did not unload", {}};
  return {transcript.Text(), transcript.Parts()};
}

// Flies `plan` and compares what the host saw with its recording, line by line.
void ExpectRecorded(PluginBuild build, const Plan& plan) {
  const std::string goldenPath = std::string(ZEPHREL_GOLDEN_DIR "/") + plan.file;
  const Flight fresh = RecordFlight(build, plan);
  if (const char* update = std::getenv("ZEPHREL_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
    std::ofstream(goldenPath, std::ios::binary) << fresh.text;
    GTEST_SKIP() << "wrote " << goldenPath;
  }
  std::ifstream file(goldenPath, std::ios::binary);
  ASSERT_TRUE(file) << "cannot read " << goldenPath;
  std::istringstream golden{std::string(std::istreambuf_iterator<char>(file), {})};
  std::istringstream now{fresh.text};
  std::string part = "(before the first part)";
  for (int lineNumber = 1;; ++lineNumber) {
    std::string expected, actual;
    const bool more = static_cast<bool>(std::getline(golden, expected));
    const bool moreNow = static_cast<bool>(std::getline(now, actual));
    if (!more && !moreNow) break;
    if (more && expected.starts_with("# ")) part = expected;
    const auto found = fresh.parts.find(part);
    ASSERT_EQ(more ? expected : "(end)", moreNow ? actual : "(end)")
        << "line " << lineNumber << " of " << goldenPath << ", in " << part << "; its calls now:\n"
        << (found == fresh.parts.end() ? "" : found->second.substr(0, 4000));
  }
}

class HostCalls : public ::testing::TestWithParam<PluginBuild> {};

TEST_P(HostCalls, AFortySecondFlightMakesTheRecordedHostCalls) { ExpectRecorded(GetParam(), DefaultFlight()); }

TEST_P(HostCalls, AFortySecondFlightUnderTrailAndBannerRulesMakesTheRecordedHostCalls) {
  ExpectRecorded(GetParam(), RulesFlight());
}

INSTANTIATE_TEST_SUITE_P(Builds, HostCalls, AllBuilds(), BuildName);

}  // namespace
}  // namespace story
