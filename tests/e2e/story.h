#pragma once
// What every end-to-end story needs: a game folder with the plug-in in it, loaded into the simulated host in
// the build the story runs against, and a small flight script.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "host/callconv.h"
#include "patching/patching.h"
#include "plugin.h"
#include "simhost.h"

namespace story {

inline constexpr std::uint32_t kFrameMs = 33;  // 30 frames per second
inline constexpr std::uint16_t kTrailModel = 577;
inline constexpr std::uint16_t kBannerModel = 593;

// The shipped Zephrel.ini with some keys set otherwise, as a player edits it: every key of the table in its
// order, at its default unless `changes` gives it a value.
inline std::string Ini(std::initializer_list<std::pair<std::string_view, std::string_view>> changes = {}) {
  std::string text = "[MAIN]\r\n";
  for (const config::Setting& setting : config::kSettings) {
    std::string_view value = setting.defaultText;
    for (const auto& [key, changed] : changes) {
      if (key == setting.key) value = changed;
    }
    text.append(setting.key).append("=").append(value).append("\r\n");
  }
  return text;
}

// A display team and two banners in the file form a player writes: [MAIN]'s trail rule blue, a red ribbon and a
// green line in sections of their own; [MAIN]'s banner rule with "Banner", and one with a cloth of its own.
inline constexpr std::uint16_t kRibbonModel = 600;
inline constexpr std::uint16_t kGreenModel = 601;
inline constexpr std::uint16_t kClothModel = 611;
inline constexpr std::uint32_t kBlue = 0x0000FF;
inline constexpr std::uint32_t kRed = 0xFF2828;
inline constexpr std::uint32_t kGreen = 0x28FF28;

inline std::string RulesIni() {
  return Ini() +
         "TrailColour=0,0,255\r\n"
         "\r\n[Trail 600]\r\nTrailColour=255,40,40\r\nTrailWidth=3\r\n"
         "\r\n[Trail 0x259]\r\nTrailColour=40,255,40\r\n"
         "\r\n[Banner 611]\r\nBannerTexture=Banner2\r\n";
}

// Every build this process can load: both on Linux, the DLL alone under Wine.
inline auto AllBuilds() { return ::testing::ValuesIn(simhost::PluginBuilds()); }

inline std::string BuildName(const ::testing::TestParamInfo<simhost::PluginBuild>& info) {
  return info.param == simhost::PluginBuild::LinuxLibrary ? "LinuxLibrary" : "WindowsDll";
}

class Story : public ::testing::TestWithParam<simhost::PluginBuild> {
 protected:
  void SetUp() override {
    simhost::ResetHost();
    simhost::ResizePool(4);
  }

  void TearDown() override {
    if (plugin_) {
      EXPECT_TRUE(plugin_->Unload());
    }
    plugin_.reset();
    EXPECT_TRUE(simhost::ControlWordKept()) << "the plug-in changed the game's x87 control word";
    simhost::ResetHost();
  }

  void WriteIni(const std::string& text) { folder_.Write("Zephrel.ini", text); }
  void InstallBannerTexture() { folder_.Write("MODELS/BANNER.TXD", "stand-in dictionary"); }

  // The plug-in loaded afresh into a fresh host with room for 8 aircraft, `ini` and the dictionary beside it (lacking
  // `missingTextures`), and the game started.
  void StartWith(const std::string& ini, const std::vector<std::string>& missingTextures = {}) {
    if (plugin_) {
      EXPECT_TRUE(Unload());
    }
    simhost::ResetHost();
    simhost::ResizePool(8);
    simhost::SetMissingTextures(missingTextures);
    WriteIni(ini);
    InstallBannerTexture();
    Load();
    simhost::Startup();
  }

  // The plug-in in the game folder, or in `subfolder` of it ('/' between names).
  void Load(const std::string& subfolder = {}) {
    plugin_ = simhost::Plugin::Load(GetParam(), folder_, subfolder);
    ASSERT_NE(plugin_, nullptr);
  }

  bool Unload() {
    const bool gone = plugin_->Unload();
    plugin_.reset();
    return gone;
  }

  // Runs `frames` frames, recording only the last one's drawing.
  void Fly(int frames) {
    for (int i = 0; i < frames; ++i) {
      if (i + 1 == frames) simhost::ClearRecord();
      simhost::Frame(kFrameMs);
    }
  }

  static int Seconds(double seconds) { return static_cast<int>(seconds * 1000.0 / kFrameMs + 0.5); }

  // Zephrel.log beside the plug-in, with its CR LF line ends read as LF; nothing when there is no such file.
  std::optional<std::string> Log(const std::string& subfolder = {}) const {
    const std::string relative = folder_.path() + "/" + (subfolder.empty() ? "" : subfolder + "/") + "Zephrel.log";
    std::ifstream file(std::filesystem::path(std::u8string(relative.begin(), relative.end())), std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    std::string text;
    for (const char c : bytes.str()) {
      if (c != '\r') text += c;
    }
    return text;
  }

  const simhost::GameFolder& folder() const { return folder_; }
  simhost::Plugin& plugin() { return *plugin_; }

 private:
  simhost::GameFolder folder_;
  std::unique_ptr<simhost::Plugin> plugin_;
};

inline float Distance(const host::Vector3& a, const host::Vector3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// A trail plane flying east along y = 0 at 20 units/s, and a banner plane circling the camera at 100 units,
// both at height 150.
struct TwoPlanes {
  std::uint32_t start = 0;
  bool trailPlaneLanded = false;

  void Place() {
    start = simhost::Clock();
    simhost::PlaceVehicle(0, kTrailModel, {-400.0f, 0.0f, 150.0f});
    simhost::PlaceVehicle(1, kBannerModel, {100.0f, 0.0f, 150.0f});
    simhost::SetCameraPosition({0.0f, 0.0f, 150.0f});
    simhost::SetScript([this](std::uint32_t now) {
      const float t = static_cast<float>(now - start) / 1000.0f;
      simhost::SetVehiclePosition(0, {-400.0f + 20.0f * t, 0.0f, trailPlaneLanded ? 20.0f : 150.0f});
      simhost::SetVehiclePosition(1, {100.0f * std::cos(0.2f * t), 100.0f * std::sin(0.2f * t), 150.0f});
    });
  }
};

// The batches of the last recorded frame drawn as lines (trails) or triangles (banners).
inline std::vector<simhost::Batch> BatchesOf(std::int32_t primitiveType) {
  std::vector<simhost::Batch> found;
  for (const simhost::Batch& batch : simhost::Recorded().batches) {
    if (batch.primitiveType == primitiveType) found.push_back(batch);
  }
  return found;
}

inline std::uint32_t AlphaOf(const host::ImmediateVertex& vertex) { return vertex.colour >> 24; }

// The first line of `text` that holds `part`; empty when none does.
inline std::string LineWith(const std::string& text, std::string_view part) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(part) != std::string::npos) return line;
  }
  return {};
}

// How often `part` occurs in `text`.
inline std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Where the branch at a host address leads: its target, or, when that is one of the plug-in's trampolines (FF 25,
// a jump through a cell), where the trampoline jumps; 0 when there is no branch.
inline std::uint32_t LeadsTo(std::uint32_t hostAddress) {
  const std::uint32_t target = patching::BranchTarget(simhost::At(hostAddress), true).value_or(0);
  if (target == 0) return 0;
  const auto* code = reinterpret_cast<const std::uint8_t*>(target);
  return code[0] == 0xFF && code[1] == 0x25 ? patching::BranchTarget(target, false).value_or(0) : target;
}

// Another tool that takes the call at `S` over after Zephrel, as such tools do: it keeps the target of the call it
// finds there as the routine it goes on to, writes its own call over it, and, unloaded, puts back what it found.
template <simhost::Site S>
class LaterTool {
 public:
  LaterTool() : found_(simhost::ReadCode(Address(), 5)) {
    goesOnTo = patching::BranchTarget(simhost::At(Address()), true).value_or(0);
    runs = 0;
    const std::uint32_t displacement = reinterpret_cast<std::uint32_t>(&Hook) - (simhost::At(Address()) + 5);
    std::vector<std::uint8_t> call{0xE8, 0, 0, 0, 0};
    std::memcpy(call.data() + 1, &displacement, 4);
    simhost::WriteCode(Address(), call);
  }
  LaterTool(const LaterTool&) = delete;
  LaterTool& operator=(const LaterTool&) = delete;

  void Unload() const { simhost::WriteCode(Address(), found_); }
  // What it found at the site: Zephrel's call, or the game's own.
  const std::vector<std::uint8_t>& found() const { return found_; }

  static inline std::uint32_t goesOnTo = 0;
  static inline int runs = 0;

 private:
  static std::uint32_t Address() { return simhost::SiteAddress(S); }
  __attribute__((force_align_arg_pointer)) static std::uint32_t HOST_CDECL Hook() {
    ++runs;
    return reinterpret_cast<std::uint32_t(HOST_CDECL*)()>(goesOnTo)();
  }

  std::vector<std::uint8_t> found_;
};

// The host image's code bytes that differ between two snapshots, as host addresses.
inline std::vector<std::uint32_t> ChangedBytes(const std::vector<std::uint8_t>& before,
                                               const std::vector<std::uint8_t>& after) {
  std::vector<std::uint32_t> changed;
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    if (before[i] != after[i]) changed.push_back(simhost::kImageBase + static_cast<std::uint32_t>(i));
  }
  return changed;
}

}  // namespace story
