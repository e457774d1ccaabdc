// Call hooks on the simulated host's call sites, run through the host's own call instructions.

#include "hooks/call_hooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/addresses.h"
#include "simhost.h"
#include "support/code_scratch.h"
#include "test_sites.h"

using namespace patching;

namespace {

using simhost::Site;
using testing_support::CallBytes;
using testing_support::CallTargetAt;
using testing_support::CodeOverwrite;
using testing_support::Marks;
using testing_support::PageProtection;
using testing_support::RoutineOf;
using testing_support::TrampolineTarget;

constexpr Site kSite = Site::Frame;
constexpr std::uint32_t kAddress = host::address::FrameCallSite;

using FrameHook = hook::site_hook<hook::saved_call, kAddress, std::uint32_t()>;
using Callback = hook::HookCallback<std::uint32_t>;
using Next = hook::Continuation<std::uint32_t>;

FrameHook::manager_type& Manager() { return *FrameHook::GetSiteManager(); }

// A hook callback that marks the record before and after its continuation.
Callback Marking(const char* name) {
  return [name](const Next& next) {
    simhost::Mark((std::string(name) + ">").c_str());
    const std::uint32_t result = next();
    simhost::Mark((std::string("<") + name).c_str());
    return result;
  };
}

Callback PassThrough() {
  return [](const Next& next) { return next(); };
}

// The site calls our trampoline, which jumps to the site's own dispatch_hooks.
bool SiteHoldsDispatch() {
  return CallTargetAt(kAddress) == Manager().Callee() &&
         TrampolineTarget(Manager().Callee()) == FrameHook::manager_type::DispatchAddress();
}

class CallHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    simhost::ResetHost();
    original_ = simhost::ReadCode(kAddress, 6);
  }
  void TearDown() override {
    EXPECT_TRUE(simhost::CalleeSavedRegistersKept());
    simhost::ResetHost();
  }

  std::vector<std::uint8_t> SiteBytes() const { return simhost::ReadCode(kAddress, 6); }

  std::vector<std::uint8_t> original_;
};

TEST_F(CallHooks, InstallSavesTheCallAndCallsTheSitesOwnDispatch) {
  FrameHook siteHook;
  EXPECT_FALSE(siteHook.active);
  EXPECT_EQ(siteHook.address, kAddress);
  std::uintptr_t localAddress = 0;
  siteHook.Install([&localAddress](const Next& next) {
    alignas(16) float wide[4] = {1.0f, 2.0f, 3.0f, 4.0f};  // must be aligned although the host gives 4 bytes
    localAddress = reinterpret_cast<std::uintptr_t>(wide);
    return next() + static_cast<std::uint32_t>(wide[0] - 1.0f);
  });

  EXPECT_TRUE(siteHook.active);
  EXPECT_TRUE(Manager().hooked);
  EXPECT_TRUE(SiteHoldsDispatch());
  EXPECT_EQ(reinterpret_cast<std::uint32_t>(Manager().hostTarget), RoutineOf(kSite));
  EXPECT_EQ(std::vector<std::uint8_t>(Manager().savedBytes, Manager().savedBytes + 5),
            std::vector<std::uint8_t>(original_.begin(), original_.begin() + 5));
  EXPECT_EQ(Manager().savedSize, 5u);
  EXPECT_EQ(PageProtection(simhost::At(kAddress)), "r-xp");
  EXPECT_EQ(PageProtection(Manager().Callee()), "r-xp") << "the trampoline's code is never writable";
  EXPECT_EQ(hook::FindSiteReport(kAddress)->trampoline, Manager().Callee());

  EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
  EXPECT_EQ(simhost::RoutineRuns(kSite), 1);
  EXPECT_EQ(localAddress % 16, 0u);

  siteHook.Unhook();
  EXPECT_FALSE(siteHook.active);
  EXPECT_FALSE(Manager().hooked);
  EXPECT_EQ(SiteBytes(), original_);
  EXPECT_EQ(PageProtection(simhost::At(kAddress)), "r-xp");
}

TEST_F(CallHooks, TheCallbackDecidesWhetherTheHostRuns) {
  struct Case {
    const char* name;
    Callback callback;
    std::uint32_t hostSees;
    int routineRuns;
  };
  const std::uint32_t routine = simhost::RoutineResult(kSite);
  const Case cases[] = {
      {"passes through", PassThrough(), routine, 1},
      {"never continues", [](const Next&) { return 0x1234u; }, 0x1234, 0},
      {"changes the result", [](const Next& next) { return next() + 1; }, routine + 1, 1},
      {"continues twice", [](const Next& next) { return next() + next(); }, routine * 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int runsBefore = simhost::RoutineRuns(kSite);
    FrameHook siteHook;
    siteHook.Install(c.callback);
    EXPECT_EQ(simhost::RunSite(kSite), c.hostSees);
    EXPECT_EQ(simhost::RoutineRuns(kSite) - runsBefore, c.routineRuns);
  }
  EXPECT_EQ(SiteBytes(), original_);
}

TEST_F(CallHooks, TheHookAttachedLastRunsFirstAndOutermost) {
  FrameHook first;
  FrameHook second;
  first.Install(Marking("A"));
  second.Install(Marking("B"));

  EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
  EXPECT_EQ(Marks(), (std::vector<std::string>{"B>", "A>", "routine:frame", "<A", "<B"}));
  EXPECT_EQ(simhost::RoutineRuns(kSite), 1);
}

TEST_F(CallHooks, OnlyTheLastHookToGoPutsTheBytesBack) {
  for (const bool firstGoesFirst : {true, false}) {
    SCOPED_TRACE(firstGoesFirst ? "first attached goes first" : "last attached goes first");
    FrameHook first;
    FrameHook second;
    first.Install(Marking("A"));
    second.Install(Marking("B"));

    (firstGoesFirst ? first : second).Unhook();
    EXPECT_TRUE(Manager().hooked);
    EXPECT_TRUE(SiteHoldsDispatch());
    simhost::ClearRecord();
    simhost::RunSite(kSite);
    const std::string left = firstGoesFirst ? "B" : "A";
    EXPECT_EQ(Marks(), (std::vector<std::string>{left + ">", "routine:frame", "<" + left}));

    (firstGoesFirst ? second : first).Unhook();
    EXPECT_FALSE(Manager().hooked);
    EXPECT_EQ(SiteBytes(), original_);
  }
}

// Attaching or detaching at a site moves or destroys entries of its list, also while its chain runs: the call
// in progress runs the chain it found, and the change counts from the next call.
TEST_F(CallHooks, ACallbackThatChangesItsOwnSiteChangesOnlyTheNextCall) {
  const auto twoCalls = [] {
    std::vector<std::vector<std::string>> calls;
    for (int call = 0; call < 2; ++call) {
      simhost::ClearRecord();
      EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
      calls.push_back(Marks());
    }
    return calls;
  };
  using Calls = std::vector<std::vector<std::string>>;
  {
    SCOPED_TRACE("the only hook attaches another, then reads its own state");
    std::list<FrameHook> store(1);  // a list, so that adding a hook moves none of them
    store.front().Install([&store](const Next& next) {
      if (store.size() == 1) store.emplace_back().Install(Marking("B"));
      const std::uint32_t result = next();
      simhost::Mark(("A" + std::to_string(store.size())).c_str());
      return result;
    });
    EXPECT_EQ(twoCalls(), (Calls{{"routine:frame", "A2"}, {"B>", "routine:frame", "A2", "<B"}}));
  }
  {
    SCOPED_TRACE("the outer hook detaches the inner one before continuing");
    std::list<FrameHook> store(2);
    store.front().Install(Marking("A"));
    store.back().Install([&store](const Next& next) {
      simhost::Mark("B");
      store.front().Unhook();
      return next();
    });
    EXPECT_EQ(twoCalls(), (Calls{{"B", "A>", "routine:frame", "<A"}, {"B", "routine:frame"}}));
  }
  {
    SCOPED_TRACE("the only hook replaces its own callback, then reads its own state");
    FrameHook only;
    only.Install([&only, name = std::string("old")](const Next& next) {
      only.Install(Marking("new"));
      simhost::Mark(name.c_str());
      return next();
    });
    EXPECT_EQ(twoCalls(), (Calls{{"old", "routine:frame"}, {"new>", "routine:frame", "<new"}}));
  }
  {
    SCOPED_TRACE("the only hook detaches itself");
    FrameHook only;
    only.Install([&only](const Next& next) {
      only.Unhook();
      return next() + (only.active ? 1 : 0);
    });
    EXPECT_EQ(twoCalls(), (Calls{{"routine:frame"}, {"routine:frame"}}));
    EXPECT_EQ(SiteBytes(), original_);
  }
}

TEST_F(CallHooks, InstallingAgainReplacesTheCallbackOfThatHook) {
  FrameHook siteHook;
  siteHook.Install(Marking("old"));
  siteHook.Install(Marking("new"));
  EXPECT_EQ(Manager().hooks.size(), 1u);
  simhost::RunSite(kSite);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"new>", "routine:frame", "<new"}));
}

TEST_F(CallHooks, DestroyingTheLastHookPutsTheBytesBack) {
  {
    FrameHook siteHook;
    siteHook.Install(PassThrough());
    EXPECT_TRUE(SiteHoldsDispatch());
  }
  EXPECT_EQ(SiteBytes(), original_);
  EXPECT_FALSE(Manager().hooked);
  EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
}

TEST_F(CallHooks, MovingIntoAStoreKeepsTheSitePatchedAndMovesTheCallbackToTheEnd) {
  std::list<FrameHook> store;
  FrameHook first;
  FrameHook second;
  first.Install(Marking("A"));
  second.Install(Marking("B"));

  store.push_back(std::move(first));  // first's callback now comes after second's
  EXPECT_TRUE(store.back().active);
  EXPECT_EQ(store.back().address, kAddress);
  EXPECT_EQ(store.back().manager, first.manager);
  ASSERT_EQ(Manager().hooks.size(), 2u);
  EXPECT_EQ(Manager().hooks[0].first, &second);
  EXPECT_EQ(Manager().hooks[1].first, &store.back());

  second.Unhook();
  store.push_back(std::move(second));  // an unhooked hook moves without a callback
  EXPECT_EQ(Manager().hooks.size(), 1u);
  EXPECT_TRUE(SiteHoldsDispatch());
  simhost::RunSite(kSite);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"A>", "routine:frame", "<A"}));

  store.clear();
  EXPECT_EQ(SiteBytes(), original_);
}

TEST_F(CallHooks, MovingTheOnlyHookNeverRestoresTheSite) {
  std::list<FrameHook> store;
  {
    FrameHook siteHook;
    siteHook.Install(Marking("A"));
    const std::uint32_t target = reinterpret_cast<std::uint32_t>(Manager().hostTarget);
    store.push_back(std::move(siteHook));
    // Restoring and patching again would have taken our own dispatch for the host's routine.
    EXPECT_EQ(reinterpret_cast<std::uint32_t>(Manager().hostTarget), target);
  }
  EXPECT_TRUE(SiteHoldsDispatch());
  EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
  EXPECT_EQ(Marks(), (std::vector<std::string>{"A>", "routine:frame", "<A"}));
  store.clear();
  EXPECT_EQ(SiteBytes(), original_);
}

TEST_F(CallHooks, ASiteThatHoldsNoRelativeCallIsLeftAlone) {
  // The pointer cell of the indirect call, holding the routine's address.
  constexpr std::uint32_t kCell = 0xC91000;
  const std::uint32_t routine = RoutineOf(kSite);
  std::memcpy(reinterpret_cast<void*>(simhost::At(kCell)), &routine, 4);
  const std::uint32_t cell = simhost::At(kCell);
  std::vector<std::uint8_t> indirect{0xFF, 0x15, 0, 0, 0, 0, 0xC3};
  std::memcpy(indirect.data() + 2, &cell, 4);
  std::vector<std::uint8_t> jump = testing_support::RelativeBranchBytes(0xE9, simhost::At(kAddress), routine);
  jump.push_back(0xC3);

  struct Case {
    const char* name;
    std::vector<std::uint8_t> code;
    bool routineRuns;
  };
  const Case cases[] = {
      {"six-byte indirect call", indirect, true},
      {"relative jump", jump, true},
      {"no-ops", {0x90, 0x90, 0x90, 0x90, 0x90, 0xC3}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CodeOverwrite code(kAddress, c.code);
    simhost::ClearRecord();
    const int runsBefore = simhost::RoutineRuns(kSite);
    {
      FrameHook siteHook;
      siteHook.Install(Marking("ours"));
      EXPECT_FALSE(Manager().hooked);
      EXPECT_EQ(simhost::ReadCode(kAddress, c.code.size()), c.code);
      const std::uint32_t result = simhost::RunSite(kSite);
      if (c.routineRuns) {
        EXPECT_EQ(result, simhost::RoutineResult(kSite));
      }
      EXPECT_EQ(simhost::RoutineRuns(kSite) - runsBefore, c.routineRuns ? 1 : 0);
      EXPECT_EQ(simhost::EntryCalls("ours>"), 0);
    }
    EXPECT_EQ(simhost::ReadCode(kAddress, c.code.size()), c.code);
  }
}

int foreignRuns = 0;
std::uint32_t HOST_CDECL ForeignHook() {
  ++foreignRuns;
  simhost::Mark("foreign");
  return reinterpret_cast<testing_support::HostRoutineFn>(RoutineOf(kSite))();
}

TEST_F(CallHooks, AForeignHookAtTheSiteRunsInsideOursAndIsBackAfterwards) {
  const std::vector<std::uint8_t> foreign = CallBytes(kAddress, reinterpret_cast<std::uint32_t>(&ForeignHook));
  CodeOverwrite code(kAddress, foreign);
  foreignRuns = 0;
  {
    FrameHook siteHook;
    siteHook.Install(Marking("ours"));
    EXPECT_EQ(reinterpret_cast<std::uint32_t>(Manager().hostTarget), reinterpret_cast<std::uint32_t>(&ForeignHook));
    EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
    EXPECT_EQ(Marks(), (std::vector<std::string>{"ours>", "foreign", "routine:frame", "<ours"}));
    EXPECT_EQ(foreignRuns, 1);
  }
  EXPECT_EQ(simhost::ReadCode(kAddress, 5), foreign);
}

TEST_F(CallHooks, ASiteRewrittenSinceOurHookIsNotClobbered) {
  const std::vector<std::uint8_t> rewritten = CallBytes(kAddress, reinterpret_cast<std::uint32_t>(&ForeignHook));
  for (const bool unhook : {true, false}) {
    SCOPED_TRACE(unhook ? "unhooked" : "destroyed");
    {
      FrameHook siteHook;
      siteHook.Install(PassThrough());
      simhost::WriteCode(kAddress, rewritten);
      if (unhook) siteHook.Unhook();
    }
    EXPECT_EQ(simhost::ReadCode(kAddress, 5), rewritten);
    EXPECT_FALSE(Manager().hooked);
    EXPECT_FALSE(Manager().hasSaved);
    simhost::WriteCode(kAddress, original_);
  }
}

// Another tool that takes the site over after us keeps our call, to our trampoline, as the routine it goes on
// to. Once we let go, the trampoline goes on to the host's routine itself, for good.
std::uint32_t laterToolGoesOnTo = 0;
std::uint32_t HOST_CDECL LaterToolHook() {
  simhost::Mark("later tool");
  return reinterpret_cast<testing_support::HostRoutineFn>(laterToolGoesOnTo)();
}

TEST_F(CallHooks, AToolThatHookedAfterUsStillReachesTheHostsRoutineOnceWeLetGo) {
  const std::vector<std::uint8_t> laterTool = CallBytes(kAddress, reinterpret_cast<std::uint32_t>(&LaterToolHook));
  const std::vector<std::string> throughBoth{"later tool", "ours>", "routine:frame", "<ours"};
  const std::vector<std::string> throughTool{"later tool", "routine:frame"};
  for (const bool unhook : {true, false}) {
    SCOPED_TRACE(unhook ? "unhooked" : "destroyed");
    std::uint32_t trampoline = 0;
    {
      FrameHook siteHook;
      siteHook.Install(Marking("ours"));
      trampoline = CallTargetAt(kAddress);
      laterToolGoesOnTo = trampoline;
      simhost::WriteCode(kAddress, laterTool);
      simhost::ClearRecord();
      EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
      EXPECT_EQ(Marks(), throughBoth);
      if (unhook) siteHook.Unhook();
    }
    EXPECT_EQ(simhost::ReadCode(kAddress, 5), laterTool);
    EXPECT_FALSE(Manager().hooked);
    EXPECT_EQ(TrampolineTarget(trampoline), RoutineOf(kSite));
    EXPECT_EQ(hook::FindSiteReport(kAddress)->left, hook::SiteLeft::kTrampolineForTool);
    for (int call = 0; call < 3; ++call) {
      simhost::ClearRecord();
      EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
      EXPECT_EQ(Marks(), throughTool);
    }
    // The later tool goes too, putting back the call it found: the site is the host's again, but for a jump.
    simhost::WriteCode(kAddress, CallBytes(kAddress, trampoline));
    simhost::ClearRecord();
    EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
    EXPECT_EQ(Marks(), (std::vector<std::string>{"routine:frame"}));
    simhost::WriteCode(kAddress, original_);
  }
}

TEST_F(CallHooks, AnExceptionLeavingTheChainStopsBeforeTheHostAndTheRoutineRunsOnce) {
  struct Case {
    const char* name;
    Callback callback;
  };
  const Case cases[] = {
      {"before continuing", [](const Next&) -> std::uint32_t { throw std::runtime_error("before"); }},
      {"after continuing",
       [](const Next& next) -> std::uint32_t {
         next();
         throw 42;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int runsBefore = simhost::RoutineRuns(kSite);
    FrameHook siteHook;
    siteHook.Install(c.callback);
    EXPECT_EQ(simhost::RunSite(kSite), simhost::RoutineResult(kSite));
    EXPECT_EQ(simhost::RoutineRuns(kSite) - runsBefore, 1);
  }
}

TEST(SavedBytes, SaveTakesTheBytesAndRestorePutsThemBackOnce) {
  simhost::ResetHost();
  constexpr std::uint32_t kFirst = 0x852000;
  constexpr std::uint32_t kSecond = 0x852010;
  const std::vector<std::uint8_t> first{1, 2, 3, 4, 5};
  const std::vector<std::uint8_t> second{6, 7, 8, 9, 10};
  const std::vector<std::uint8_t> other(5, 0x90);
  simhost::WriteCode(kFirst, first);
  simhost::WriteCode(kSecond, second);
  {
    hook::saved_call saved;
    saved.Save(simhost::At(kFirst), 5, true);
    EXPECT_TRUE(saved.hasSaved);
    EXPECT_EQ(saved.savedAddress, reinterpret_cast<void*>(simhost::At(kFirst)));

    simhost::WriteCode(kFirst, other);
    saved.Save(simhost::At(kSecond), 5, true);  // the earlier save goes back first
    EXPECT_EQ(simhost::ReadCode(kFirst, 5), first);

    simhost::WriteCode(kSecond, other);
    saved.Restore();
    EXPECT_EQ(simhost::ReadCode(kSecond, 5), second);
    EXPECT_FALSE(saved.hasSaved);

    simhost::WriteCode(kSecond, other);
    saved.Restore();  // nothing left to put back
    EXPECT_EQ(simhost::ReadCode(kSecond, 5), other);

    saved.Save(simhost::At(kFirst), 6, true);  // more than it holds: nothing saved
    EXPECT_FALSE(saved.hasSaved);

    saved.Save(simhost::At(kFirst), 3, true);
    simhost::WriteCode(kFirst, other);
  }  // going, it puts back what it holds
  EXPECT_EQ(simhost::ReadCode(kFirst, 5), (std::vector<std::uint8_t>{1, 2, 3, 0x90, 0x90}));
  EXPECT_EQ(PageProtection(simhost::At(kFirst)), "r-xp");
  simhost::ResetHost();
}

}  // namespace
