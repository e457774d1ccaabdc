// Host events on call sites of the tests' own, run through their call instructions. An event's site hooks
// stay until the program exits, so every test has its own event (kept, like the plug-in's, until exit) on
// its own call site, and nothing here resets the simulated host.

#include "hooks/host_events.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "allocation_count.h"
#include "simhost.h"
#include "test_sites.h"

namespace {

using plugin::HostRef;
using plugin::SiteList;
using testing_support::CallTargetAt;
using testing_support::Marks;
using testing_support::TrampolineTarget;

// An event on one call site of its own, hooked on build 1001 (the simulated host's) and 1002.
template <std::uint32_t Site>
using TestEvent = plugin::HostEvent<plugin::HostSiteHook, SiteList<HostRef{Site, 1001}, HostRef{Site, 1002}>,
                                    plugin::NoArguments, void()>;

template <std::uint32_t Site>
TestEvent<Site>& EventOn() {
  static TestEvent<Site> event;
  return event;
}

// The site's dispatch_hooks, as the hooked site reaches it: through the trampoline it calls.
template <std::uint32_t Site>
std::uint32_t DispatchOf() {
  return plugin::HostSiteHook<Site>::manager_type::DispatchAddress();
}

std::uint32_t ReachedFrom(std::uint32_t site) { return TrampolineTarget(CallTargetAt(site)); }

// Every test's own spare host code.
constexpr std::uint32_t kSpareCode = 0x851000;

void First() { simhost::Mark("first"); }
void Second() { simhost::Mark("second"); }
void Throws() { throw std::runtime_error("callback failed"); }

class HostEvents : public ::testing::Test {
 protected:
  void SetUp() override { simhost::ClearRecord(); }
  void TearDown() override { EXPECT_TRUE(simhost::CalleeSavedRegistersKept()); }
};

TEST_F(HostEvents, AHookedCallRunsBeforeHostAfterAndReturnsTheHostsResult) {
  constexpr std::uint32_t kSite = kSpareCode;
  testing_support::WriteCallSite(kSite);
  const std::uint32_t routine = CallTargetAt(kSite);
  auto& event = EventOn<kSite>();
  EXPECT_FALSE(event.installed);

  event.AddCallback(event.afterCallbacks, Second);
  EXPECT_TRUE(event.installed);
  EXPECT_EQ(ReachedFrom(kSite), DispatchOf<kSite>());
  EXPECT_EQ(reinterpret_cast<std::uint32_t>(plugin::HostSiteHook<kSite>::GetSiteManager()->hostTarget), routine);

  const int runs = simhost::RoutineRuns(simhost::Site::Frame);
  EXPECT_EQ(simhost::RunCode(kSite), simhost::RoutineResult(simhost::Site::Frame));
  EXPECT_EQ(Marks(), (std::vector<std::string>{"routine:frame", "second"}));

  event.AddCallback(event.beforeCallbacks, First);
  simhost::ClearRecord();
  EXPECT_EQ(simhost::RunCode(kSite), simhost::RoutineResult(simhost::Site::Frame));
  EXPECT_EQ(Marks(), (std::vector<std::string>{"first", "routine:frame", "second"}));
  EXPECT_EQ(simhost::RoutineRuns(simhost::Site::Frame) - runs, 2);
}

TEST_F(HostEvents, OnlyTheFirstCallbackInstallsAndTheSiteHoldsOneHook) {
  constexpr std::uint32_t kSite = kSpareCode + 0x10;
  testing_support::WriteCallSite(kSite);
  auto& event = EventOn<kSite>();
  event.AddCallback(event.beforeCallbacks, First);
  event.AddCallback(event.afterCallbacks, Second);
  event.AddCallback(event.afterCallbacks, [] {});

  EXPECT_EQ(plugin::HostSiteHook<kSite>::GetSiteManager()->hooks.size(), 1u);
  EXPECT_EQ(plugin::HostSiteHook<kSite>::siteHookStore().size(), 1u);
  EXPECT_TRUE(plugin::HostSiteHook<kSite>::siteHookStore().front().active);
}

TEST_F(HostEvents, RepeatedPlainFunctionsAndIdsAreAddedOnce) {
  constexpr std::uint32_t kSite = kSpareCode + 0x20;
  testing_support::WriteCallSite(kSite);
  auto& event = EventOn<kSite>();
  const std::function<void()> wrappedFirst = First;
  const auto lambda = [] { simhost::Mark("lambda"); };

  event.AddCallback(event.beforeCallbacks, First);
  event.AddCallback(event.beforeCallbacks, First);         // the same plain function: a repeat
  event.AddCallback(event.beforeCallbacks, &First);        // its address: a repeat
  event.AddCallback(event.beforeCallbacks, wrappedFirst);  // it, wrapped: a repeat
  event.AddCallback(event.afterCallbacks, First);          // the other list is not looked at
  event.AddCallback(event.beforeCallbacks, lambda);        // lambdas are never repeats...
  event.AddCallback(event.beforeCallbacks, lambda);        // ...not even the same one
  event.AddCallback(event.beforeCallbacks, Second, 7);
  event.AddCallback(event.beforeCallbacks, lambda, 7);  // a known id: ignored, whatever it is
  event.AddCallback(event.beforeCallbacks, Second, 0);  // no id: a repeat of the plain function
  event.AddCallback(event.afterCallbacks, Second, 7);   // ids too count per list
  event.AddCallback(event.afterCallbacks, Second, 8);   // a new id is no repeat

  EXPECT_EQ(event.beforeCallbacks.size(), 4u);
  EXPECT_EQ(event.afterCallbacks.size(), 3u);
  simhost::RunCode(kSite);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"first", "lambda", "lambda", "second", "routine:frame", "first",
                                               "second", "second"}));
}

TEST_F(HostEvents, DifferentLambdasAreAllKeptInOrder) {
  constexpr std::uint32_t kSite = kSpareCode + 0x30;
  testing_support::WriteCallSite(kSite);
  auto& event = EventOn<kSite>();
  event.AddCallback(event.afterCallbacks, [] { simhost::Mark("one"); });
  event.AddCallback(event.afterCallbacks, [] { simhost::Mark("two"); });
  int runs = 0;
  event.AddCallback(event.afterCallbacks, [&runs] { ++runs; });

  simhost::RunCode(kSite);
  simhost::RunCode(kSite);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"routine:frame", "one", "two", "routine:frame", "one", "two"}));
  EXPECT_EQ(runs, 2);
}

TEST_F(HostEvents, AThrowingCallbackStopsOnlyItself) {
  constexpr std::uint32_t kSite = kSpareCode + 0x40;
  testing_support::WriteCallSite(kSite);
  auto& event = EventOn<kSite>();
  event.AddCallback(event.beforeCallbacks, Throws);
  event.AddCallback(event.beforeCallbacks, First);
  event.AddCallback(event.afterCallbacks, [] { throw 42; });
  event.AddCallback(event.afterCallbacks, Second);

  const int runs = simhost::RoutineRuns(simhost::Site::Frame);
  EXPECT_EQ(simhost::RunCode(kSite), simhost::RoutineResult(simhost::Site::Frame));
  EXPECT_EQ(simhost::RoutineRuns(simhost::Site::Frame) - runs, 1);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"first", "routine:frame", "second"}));
}

TEST_F(HostEvents, CallbacksAddedToTheListThatRunsRunFromTheNextRaise) {
  constexpr std::uint32_t kSite = kSpareCode + 0x90;
  testing_support::WriteCallSite(kSite);
  auto& event = EventOn<kSite>();
  // Enough entries added on the first raise to move the list while it is run.
  event.AddCallback(event.afterCallbacks, [&event] {
    simhost::Mark("adds");
    if (event.afterCallbacks.size() > 2) return;
    for (int i = 0; i < 16; ++i) event.AddCallback(event.afterCallbacks, [] { simhost::Mark("added"); });
  });
  event.AddCallback(event.afterCallbacks, Second);

  simhost::RunCode(kSite);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"routine:frame", "adds", "second"}));
  simhost::ClearRecord();
  simhost::RunCode(kSite);
  std::vector<std::string> expected{"routine:frame", "adds", "second"};
  expected.insert(expected.end(), 16, "added");
  EXPECT_EQ(Marks(), expected);
}

int counted = 0;
void Count() { ++counted; }

TEST_F(HostEvents, AHookedCallWithOneEntryAllocatesNothing) {
  constexpr std::uint32_t kSite = kSpareCode + 0x50;
  testing_support::WriteCallSite(kSite);
  auto& event = EventOn<kSite>();
  event.AddCallback(event.beforeCallbacks, [] { ++counted; });
  event.AddCallback(event.afterCallbacks, Count);
  simhost::SetRecording(false);
  simhost::RunCode(kSite);

  counted = 0;
  const std::size_t allocations = testing_support::AllocationCount();
  for (int i = 0; i < 100; ++i) simhost::RunCode(kSite);
  EXPECT_EQ(testing_support::AllocationCount() - allocations, 0u);
  EXPECT_EQ(counted, 200);
  simhost::SetRecording(true);
}

TEST_F(HostEvents, ReferencesOfOtherBuildsAreNotHookedYetTheEventIsInstalled) {
  constexpr std::uint32_t kSite = kSpareCode + 0x60;
  testing_support::WriteCallSite(kSite);
  const std::vector<std::uint8_t> before = simhost::ReadCode(kSite, 6);
  static plugin::HostEvent<plugin::HostSiteHook, SiteList<HostRef{kSite, 1002}, HostRef{kSite, 1011}>,
                           plugin::NoArguments, void()>
      event;

  event.AddCallback(event.afterCallbacks, First);
  EXPECT_TRUE(event.installed);
  EXPECT_EQ(simhost::ReadCode(kSite, 6), before);
  EXPECT_TRUE(plugin::HostSiteHook<kSite>::siteHookStore().empty());
  simhost::RunCode(kSite);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"routine:frame"}));
}

TEST_F(HostEvents, EveryReferenceOfTheRunningBuildIsHooked) {
  constexpr std::uint32_t kSiteA = kSpareCode + 0x70;
  constexpr std::uint32_t kSiteB = kSpareCode + 0x80;
  testing_support::WriteCallSite(kSiteA);
  testing_support::WriteCallSite(kSiteB);
  static plugin::HostEvent<
      plugin::HostSiteHook,
      SiteList<HostRef{kSiteA, 1001}, HostRef{kSiteA, 1002}, HostRef{kSiteB, 1001}, HostRef{kSiteB, 1002}>,
      plugin::NoArguments, void()>
      event;

  event.AddCallback(event.afterCallbacks, Second);
  EXPECT_EQ(ReachedFrom(kSiteA), DispatchOf<kSiteA>());
  EXPECT_EQ(ReachedFrom(kSiteB), DispatchOf<kSiteB>());
  EXPECT_NE(CallTargetAt(kSiteA), CallTargetAt(kSiteB)) << "a trampoline for each site";
  simhost::RunCode(kSiteA);
  simhost::RunCode(kSiteB);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"routine:frame", "second", "routine:frame", "second"}));
}

}  // namespace
