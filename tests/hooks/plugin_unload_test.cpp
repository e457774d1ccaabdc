// Loading a plug-in that registers on all five host events hooks the host's six call sites on the builds it
// serves; unloading it puts the host's code back byte for byte. The plug-in detects the build as it loads, so
// every load here can find another one.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "simhost.h"
#include "support/code_scratch.h"
#include "test_sites.h"

namespace {

using simhost::Site;
using testing_support::CallBytes;
using testing_support::CallTargetAt;
using testing_support::Marks;
using testing_support::RoutineOf;

// The probe plug-in, unloaded when it goes unless the test did.
class ProbePlugin {
 public:
  ProbePlugin() : handle_(simhost::LoadPlugin(EVENT_PROBE_PLUGIN)) {}
  ~ProbePlugin() {
    if (handle_ != nullptr) simhost::UnloadPlugin(handle_);
  }
  ProbePlugin(const ProbePlugin&) = delete;
  ProbePlugin& operator=(const ProbePlugin&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  bool Unload() { return simhost::UnloadPlugin(std::exchange(handle_, nullptr)); }

 private:
  void* handle_;
};

// What the record shows for one run of a site: the probe's callback before the shutdown routine, after the
// others, or the routine alone.
std::vector<std::string> ExpectedRun(Site site, bool hooked) {
  const std::string routine = std::string("routine:") + simhost::SiteName(site);
  if (!hooked) return {routine};
  switch (site) {
    case Site::Startup:
      return {routine, "probe:startup"};
    case Site::ReinitA:
    case Site::ReinitB:
      return {routine, "probe:reinit"};
    case Site::Frame:
      return {routine, "probe:frame"};
    case Site::Shutdown:
      return {"probe:shutdown", routine};
    case Site::Draw:
      return {routine, "probe:draw"};
  }
  return {};
}

// Runs every site once; each passes the host routine's result on and shows what it ran.
void RunEverySite(bool hooked) {
  for (const Site site : simhost::kAllSites) {
    SCOPED_TRACE(simhost::SiteName(site));
    simhost::ClearRecord();
    EXPECT_EQ(simhost::RunSite(site), simhost::RoutineResult(site));
    EXPECT_EQ(Marks(), ExpectedRun(site, hooked));
  }
  EXPECT_TRUE(simhost::CalleeSavedRegistersKept());
}

class PluginUnload : public ::testing::Test {
 protected:
  void SetUp() override { simhost::ResetHost(); }
  void TearDown() override { simhost::ResetHost(); }
};

TEST_F(PluginUnload, ServedBuildsHaveTheirSitesHookedWhileLoadedAndEveryBuildGetsItsImageBack) {
  struct Case {
    std::int32_t build;
    bool served;
  };
  for (const Case c : {Case{1001, true}, Case{1002, true}, Case{1011, false}, Case{0, false}}) {
    SCOPED_TRACE(c.build);
    simhost::ResetHost();
    simhost::SetBuild(c.build);
    const std::vector<std::uint8_t> before = simhost::SnapshotCode();

    ProbePlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    // Every event counts as installed, whether or not its build has sites to hook.
    EXPECT_EQ(Marks(),
              (std::vector<std::string>{"probe:installed:startup", "probe:installed:reinit", "probe:installed:frame",
                                        "probe:installed:shutdown", "probe:installed:draw"}));
    for (const Site site : simhost::kAllSites) {
      SCOPED_TRACE(simhost::SiteName(site));
      const std::uint32_t target = CallTargetAt(simhost::SiteAddress(site));
      EXPECT_EQ(target != RoutineOf(site), c.served);
      EXPECT_NE(target, 0u);
    }
    if (!c.served) {
      EXPECT_EQ(simhost::SnapshotCode(), before);
    }
    RunEverySite(c.served);

    EXPECT_TRUE(plugin.Unload());
    EXPECT_EQ(simhost::SnapshotCode(), before);
    RunEverySite(false);
  }
}

std::uint32_t HOST_CDECL ForeignFrameHook() {
  simhost::Mark("foreign");
  return reinterpret_cast<testing_support::HostRoutineFn>(RoutineOf(Site::Frame))();
}

TEST_F(PluginUnload, AForeignHookFoundAtLoadKeepsWorkingAndIsThereAgainAfterUnload) {
  const std::uint32_t site = simhost::SiteAddress(Site::Frame);
  const std::vector<std::uint8_t> foreign = CallBytes(site, reinterpret_cast<std::uint32_t>(&ForeignFrameHook));
  simhost::WriteCode(site, foreign);
  const std::vector<std::uint8_t> before = simhost::SnapshotCode();

  ProbePlugin plugin;
  ASSERT_TRUE(plugin.loaded());
  EXPECT_NE(simhost::ReadCode(site, 5), foreign);
  simhost::ClearRecord();
  EXPECT_EQ(simhost::RunSite(Site::Frame), simhost::RoutineResult(Site::Frame));
  EXPECT_EQ(Marks(), (std::vector<std::string>{"foreign", "routine:frame", "probe:frame"}));

  EXPECT_TRUE(plugin.Unload());
  EXPECT_EQ(simhost::SnapshotCode(), before);
  simhost::ClearRecord();
  EXPECT_EQ(simhost::RunSite(Site::Frame), simhost::RoutineResult(Site::Frame));
  EXPECT_EQ(Marks(), (std::vector<std::string>{"foreign", "routine:frame"}));
}

TEST_F(PluginUnload, ASiteRewrittenWhileLoadedIsLeftAsItIsAtUnload) {
  const std::vector<std::uint8_t> before = simhost::SnapshotCode();
  const std::uint32_t site = simhost::SiteAddress(Site::Frame);
  const std::vector<std::uint8_t> rewritten = CallBytes(site, reinterpret_cast<std::uint32_t>(&ForeignFrameHook));

  ProbePlugin plugin;
  ASSERT_TRUE(plugin.loaded());
  simhost::WriteCode(site, rewritten);
  EXPECT_TRUE(plugin.Unload());

  EXPECT_EQ(simhost::ReadCode(site, 5), rewritten);
  std::vector<std::uint8_t> expected = before;
  std::copy(rewritten.begin(), rewritten.end(), expected.begin() + (site - simhost::kImageBase));
  EXPECT_EQ(simhost::SnapshotCode(), expected);  // every other site is back
}

}  // namespace
