#pragma once
// Call hooks: a five-byte relative call in host code is saved and made to call `dispatch_hooks` of its own
// site, which runs the hook callbacks attached there (the one attached last outermost) and, innermost, the
// routine the host used to call. When the last callback goes, the saved bytes go back.
//
// The site calls `dispatch_hooks` through a trampoline of ours outside the library (patching/trampolines.h):
// another tool that takes the site over after us keeps that trampoline's address, and if the site cannot be
// given back when we go, the trampoline is turned to the routine the site used to call and stays, so that the
// tool's call still ends where it did before we came.
//
// One instantiation per call site: the site's host address is a template argument, so each site has its
// own `dispatch_hooks`, its own shared manager (`GetSiteManager`) and its own store of kept site hooks
// (`siteHookStore`), all created on first use and gone at exit. Only host routines that take nothing from
// their caller can be hooked: the chain calls them with no arguments, in no register.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "hooks/site_reports.h"
#include "host/callconv.h"
#include "patching/patching.h"
#include "patching/trampolines.h"

namespace hook {

template <class... Types>
struct type_list {};

// The parts of a hooked function type: its result, its arguments, a pointer to it as the host calls it.
template <class Function>
struct function_parts;

template <class Result, class... Args>
struct function_parts<Result(Args...)> {
  using result = Result;
  using args = type_list<Args...>;
  using pointer = Result(HOST_CDECL*)(Args...);
};

// The rest of a hooked call, handed to each hook callback: the hooks attached before it, then the host. It
// points into the state of the one call it belongs to, so it is only good during that call; two words, built
// and called without the cost of a std::function on every call of the host.
template <class Result>
class Continuation {
 public:
  using Run = Result (*)(void* call, std::size_t depth);

  Continuation(Run run, void* call, std::size_t depth) : run_(run), call_(call), depth_(depth) {}
  Result operator()() const { return run_(call_, depth_); }

 private:
  Run run_;
  void* call_;
  std::size_t depth_;
};

template <class Result>
using HookCallback = std::function<Result(const Continuation<Result>&)>;

// A stretch of code saved so that it can be written back.
class saved_bytes_base {
 public:
  virtual ~saved_bytes_base() = default;
  virtual void Restore() = 0;
};

template <std::size_t Capacity>
class saved_bytes : public saved_bytes_base {
 public:
  saved_bytes() = default;
  saved_bytes(const saved_bytes&) = delete;
  saved_bytes& operator=(const saved_bytes&) = delete;
  ~saved_bytes() override { saved_bytes::Restore(); }

  // Bytes that cannot be written back yet stay saved, for the next Restore.
  void Restore() override {
    if (!hasSaved) return;
    if (patching::PatchBytes(reinterpret_cast<std::uint32_t>(savedAddress), savedBytes, savedSize, unprotect))
      hasSaved = false;
  }

  // Saves `size` bytes at `address`, first putting back whatever an earlier save holds. False, with nothing
  // saved, when the earlier bytes cannot go back, when the new ones cannot be read, or when they are more than
  // the capacity (a part of an instruction could not be written back as it was).
  virtual bool Save(std::uint32_t address, std::size_t size, bool unprotect) {
    Restore();
    if (hasSaved || size > Capacity) return false;
    std::uint8_t bytes[Capacity];
    if (!patching::PeekBytes(address, bytes, size, unprotect)) return false;
    std::memcpy(savedBytes, bytes, size);
    this->unprotect = unprotect;
    hasSaved = true;
    savedAddress = reinterpret_cast<void*>(address);
    savedSize = static_cast<std::uint32_t>(size);
    return true;
  }

  std::uint8_t savedBytes[Capacity] = {};
  void* savedAddress = nullptr;
  std::uint32_t savedSize = 0;
  bool hasSaved = false;
  bool unprotect = false;
};

// The five bytes of a relative call, put back when it goes.
class saved_call : public saved_bytes<sizeof(patching::RelativeBranch)> {};

// What the manager of every call site does, whatever its address: one copy of this code serves all sites.
// An entry of `hooks` belongs to the site hook that attached it (its address, as the site hook's `this`).
// All but the road of a hooked call runs only while the library loads or unloads: cold, so small and kept out
// of that road.
template <class Patch, class Result>
class site_manager_core : public Patch {
 public:
  using HostFunction = Result(HOST_CDECL*)();
  using Owner = const void*;

  site_manager_core(const site_manager_core&) = delete;
  site_manager_core& operator=(const site_manager_core&) = delete;
  [[gnu::cold]] ~site_manager_core() override {
    hooks.clear();
    // The last chance. A site that can be neither read nor written back is left as it is, and the trampoline it
    // calls is sent on to the host's routine.
    if (hooked && !GiveBack()) Leave(SiteLeft::kTrampolineNotPutBack);
    this->hasSaved = false;
  }

  // Takes the site out of the chain: the bytes go back, unless something else has rewritten the site since.
  // A site that cannot be read or written now stays hooked (still calling dispatch_hooks, which then runs the
  // host's routine alone), and is put back at the next Restore or when the manager goes.
  [[gnu::cold]] void Restore() override {
    if (!hooked) return;
    for (auto& entry : hooks) Retire(std::move(entry.second));
    hooks.clear();
    hooked = !GiveBack();
  }

  // A callback in a place of its own, which it keeps while it is attached and while a call runs it.
  using StoredCallback = std::unique_ptr<const HookCallback<Result>>;

  // Attaches the callback of `owner`, or replaces it if `owner` has one here already.
  [[gnu::cold]] void SetHook(Owner owner, HookCallback<Result> callback) {
    SetHook(owner, std::make_unique<const HookCallback<Result>>(std::move(callback)));
  }

  [[gnu::cold]] void SetHook(Owner owner, StoredCallback callback) {
    const auto entry = Find(owner);
    if (entry != hooks.end()) {
      Retire(std::exchange(entry->second, std::move(callback)));
    } else {
      hooks.emplace_back(owner, std::move(callback));
    }
  }

  // Takes the entry of `owner` off the site without restoring anything, even if none is left, and hands its
  // callback over (null when it has none).
  [[gnu::cold]] StoredCallback Detach(Owner owner) {
    const auto entry = Find(owner);
    if (entry == hooks.end()) return nullptr;
    StoredCallback callback = std::move(entry->second);
    hooks.erase(entry);
    return callback;
  }

  // Lets a callback go: at once, or, while a call is running at this site (which may be running it), once
  // the last such call is over.
  [[gnu::cold]] void Retire(StoredCallback callback) {
    if (callback != nullptr && callsInProgress > 0) retired.push_back(std::move(callback));
  }

  bool HasHook(Owner owner) const { return Find(owner) != hooks.end(); }

  // Detaches the callback of `owner`; the last one to go puts the site back.
  [[gnu::cold]] void Unhook(Owner owner) {
    if (!HasHook(owner)) return;
    Retire(Detach(owner));
    if (hooks.empty()) Restore();
  }

  // Moves the callback of `from`, if it has one, to the end of the list under `to`, without the site being
  // restored in between.
  [[gnu::cold]] void MoveHook(Owner from, Owner to) {
    if (HasHook(from)) SetHook(to, Detach(from));
  }

  // Attaches the callback of `owner` and, unless the site is patched already, patches the site at host address
  // `hostAddress`. Only a relative call (E8) is patched: a five-byte write would cut any longer call in half,
  // and anything else has no routine to continue into. Such a site is left as it is and the callback never
  // runs; so is a site whose code cannot be read or written, with nothing saved and no target recorded. Each
  // attempt leaves its outcome in the site reports, for the log.
  [[gnu::cold]] void Install(Owner owner, std::uint32_t hostAddress, HookCallback<Result> callback) {
    SetHook(owner, std::move(callback));
    if (hooked) return;
    const std::uint32_t site = patching::TranslateHostAddress(hostAddress);
    if (!this->Save(site, sizeof(patching::RelativeBranch), true)) {
      ReportSite(hostAddress, SiteOutcome::kNotRead, nullptr);
      return;
    }
    if (this->savedBytes[0] != patching::kOpcodeCall) {
      ReportSite(hostAddress, SiteOutcome::kNotACall, this->savedBytes);
      this->hasSaved = false;  // nothing was written: nothing to put back
      return;
    }
    // Without a trampoline the site calls dispatch_hooks itself: hooked as well, only not to be left behind.
    trampoline_ = patching::MakeTrampoline(dispatchAddress_);
    callee_ = trampoline_ != 0 ? trampoline_ : dispatchAddress_;
    const std::optional<std::uint32_t> target = patching::WriteCall(site, callee_, true);
    if (!target) {
      ReportSite(hostAddress, SiteOutcome::kNotWritten, this->savedBytes);
      patching::ReleaseTrampoline(std::exchange(trampoline_, 0));
      this->hasSaved = false;
      return;
    }
    ReportSite(hostAddress, trampoline_ != 0 ? SiteOutcome::kHooked : SiteOutcome::kHookedDirect, this->savedBytes,
               trampoline_);
    hostAddress_ = hostAddress;
    hostTarget = reinterpret_cast<HostFunction>(*target);
    hooked = true;
  }

  // What the site calls while hooked: our trampoline, or dispatch_hooks itself when there is none.
  std::uint32_t Callee() const { return callee_; }

  HostFunction hostTarget = nullptr;
  std::vector<std::pair<Owner, StoredCallback>> hooks;
  bool hooked = false;

 protected:
  explicit site_manager_core(std::uint32_t dispatchAddress) : dispatchAddress_(dispatchAddress) {}

  // The work of a site's dispatch_hooks. Entered from host code, which has no way to deal with an exception:
  // one that leaves a hook callback stops here, and the host routine runs once all the same.
  Result Dispatch() {
    call_in_progress call;
    call.manager = this;
    call.hostRan = false;
    ++callsInProgress;
    Result result;
    try {
      result = RunSnapshot(call);
    } catch (...) {
      result = call.hostRan ? call.hostResult : CallHostTarget(call);
    }
    if (--callsInProgress == 0 && !retired.empty()) ReleaseRetired();
    return result;
  }

 private:
  struct call_in_progress {
    site_manager_core* manager;
    const HookCallback<Result>* const* chain;  // of two or more callbacks: them, in order of attachment
    bool hostRan = false;
    Result hostResult;  // once hostRan
  };

  // What a continuation runs: the first `depth` callbacks of the call's chain, then the host; or, for the
  // innermost callback, the host at once.
  static Result ContinueChain(void* call, std::size_t depth) {
    auto& inProgress = *static_cast<call_in_progress*>(call);
    return inProgress.manager->RunChain(inProgress, depth);
  }

  static Result ContinueToHost(void* call, std::size_t) {
    auto& inProgress = *static_cast<call_in_progress*>(call);
    return inProgress.manager->CallHostTarget(inProgress);
  }

  // Runs the chain as it stands when the call begins: a callback may attach or detach hooks at this very
  // site, and such a change counts from the next call on. The call keeps the callbacks' places, which stay
  // while it runs (see Retire). One entry needs no list; more go into a vector, as a chain of them
  // allocates anyway.
  Result RunSnapshot(call_in_progress& call) {
    const std::size_t count = hooks.size();
    if (count == 0) return CallHostTarget(call);
    if (count == 1) return (*hooks.front().second)(Continuation<Result>(&ContinueToHost, &call, 0));
    return RunLongChain(call, count);
  }

  // Out of line: the vector would cost every call its set-up.
  [[gnu::noinline, gnu::cold]] Result RunLongChain(call_in_progress& call, std::size_t count) {
    std::vector<const HookCallback<Result>*> chain;
    chain.reserve(count);
    for (const auto& entry : hooks) chain.push_back(entry.second.get());
    call.chain = chain.data();
    return RunChain(call, count);
  }

  // Runs the first `depth` callbacks of the call's chain, the one attached last outermost.
  Result RunChain(call_in_progress& call, std::size_t depth) {
    if (depth == 0) return CallHostTarget(call);
    const auto next = depth > 1 ? &ContinueChain : &ContinueToHost;
    return (*call.chain[depth - 1])(Continuation<Result>(next, &call, depth - 1));
  }

  [[gnu::noinline, gnu::cold]] void ReleaseRetired() { retired.clear(); }

  Result CallHostTarget(call_in_progress& call) {
    call.hostResult = hostTarget();
    call.hostRan = true;
    return call.hostResult;
  }

  auto Find(Owner owner) const {
    return std::find_if(hooks.begin(), hooks.end(), [owner](const auto& entry) { return entry.first == owner; });
  }

  auto Find(Owner owner) {
    return std::find_if(hooks.begin(), hooks.end(), [owner](const auto& entry) { return entry.first == owner; });
  }

  // Whether the saved site still holds our call; nothing when it cannot be read.
  [[gnu::cold]] std::optional<bool> HoldsOurCall() const {
    const auto site = reinterpret_cast<std::uint32_t>(this->savedAddress);
    patching::RelativeBranch branch{};
    if (!patching::PeekBytes(site, &branch, sizeof branch, this->unprotect)) return std::nullopt;
    return branch.opcode == patching::kOpcodeCall &&
           site + sizeof branch + static_cast<std::uint32_t>(branch.displacement) == callee_;
  }

  // Puts the saved bytes back if the site still holds our call; a site that something else has rewritten since
  // is that one's, and a call it keeps to our trampoline goes on to the host's routine from now on. False, with
  // the site still calling our code, when it cannot be read or written.
  [[gnu::cold]] bool GiveBack() {
    if (this->hasSaved) {
      const std::optional<bool> ours = HoldsOurCall();
      if (!ours) return false;
      if (!*ours) {
        this->hasSaved = false;
        Leave(SiteLeft::kTrampolineForTool);
        return true;
      }
    }
    Patch::Restore();
    if (this->hasSaved) return false;
    // Nothing calls the trampoline now.
    patching::ReleaseTrampoline(std::exchange(trampoline_, 0));
    return true;
  }

  // Whatever still calls our code at the site is sent past it, to the host's routine, for good; without a
  // trampoline it still leads into the library, and the report says so.
  [[gnu::cold]] void Leave(SiteLeft left) {
    if (trampoline_ != 0) {
      patching::LeaveTrampoline(std::exchange(trampoline_, 0), reinterpret_cast<std::uint32_t>(hostTarget));
    } else {
      left = SiteLeft::kCallIntoLibrary;
    }
    ReportSiteLeft(hostAddress_, left);
  }

  const std::uint32_t dispatchAddress_;  // of the site's own dispatch_hooks
  std::uint32_t trampoline_ = 0;         // the one the hooked site calls, if it has one
  std::uint32_t callee_ = 0;             // what the hooked site calls
  std::uint32_t hostAddress_ = 0;        // of the hooked site, in the host build
  int callsInProgress = 0;
  std::vector<StoredCallback> retired;  // callbacks let go while a call was running
};

// What one call site knows, shared by the site hooks attached to it. Only what needs the site's address is
// made per site: the dispatch_hooks that the patched site calls, and the way it finds its manager.
template <class Patch, class HookBase, class Result, class Args>
class site_manager : public site_manager_core<Patch, Result> {
  static_assert(std::is_same_v<Args, type_list<>>, "only routines that take nothing from their caller");
  using core = site_manager_core<Patch, Result>;

 public:
  using HostFunction = typename HookBase::function_pointer;
  static_assert(std::is_same_v<HostFunction, typename core::HostFunction>);

  site_manager() : core(DispatchAddress()) { live = this; }
  ~site_manager() override { live = nullptr; }

  // What a patched site calls.
  static Result HOST_CDECL dispatch_hooks() { return live->Dispatch(); }

  static std::uint32_t DispatchAddress() { return reinterpret_cast<std::uint32_t>(&dispatch_hooks); }

 private:
  // The one manager of this site while it exists; dispatch_hooks has no other way to find it.
  static inline site_manager* live = nullptr;
};

// One attachment to a call site.
template <class Patch, std::uint32_t Address, class FunctionPointer, class Result, class Args>
class site_hook_base {
 public:
  using function_pointer = FunctionPointer;
  using manager_type = site_manager<Patch, site_hook_base, Result, Args>;

  // The site's manager; the first call creates it and keeps the first share until exit.
  [[gnu::cold]] static std::shared_ptr<manager_type> GetSiteManager() {
    static const std::shared_ptr<manager_type> first = std::make_shared<manager_type>();
    return first;
  }

  site_hook_base() : address(Address), active(false), manager(GetSiteManager()) {}
  site_hook_base(const site_hook_base&) = delete;
  site_hook_base& operator=(const site_hook_base&) = delete;
  [[gnu::cold]] virtual ~site_hook_base() { site_hook_base::Unhook(); }

  // Detaches this hook's callback; the last one to go puts the site back.
  [[gnu::cold]] virtual void Unhook() {
    active = false;
    manager->Unhook(this);
  }

  virtual void Install(HookCallback<Result> callback) = 0;

  std::uint32_t address;
  bool active;
  std::shared_ptr<manager_type> manager;

 protected:
  // A copy that shares the manager of `other`; the callback moves over in the derived class.
  site_hook_base(const site_hook_base& other, std::shared_ptr<manager_type> share)
      : address(other.address), active(other.active), manager(std::move(share)) {}
};

template <class Patch, std::uint32_t Address, class Function>
class site_hook
    : public site_hook_base<Patch, Address, typename function_parts<Function>::pointer,
                            typename function_parts<Function>::result, typename function_parts<Function>::args> {
  using base = site_hook_base<Patch, Address, typename function_parts<Function>::pointer,
                              typename function_parts<Function>::result, typename function_parts<Function>::args>;
  using result = typename function_parts<Function>::result;

 public:
  site_hook() = default;

  // Takes over the registration of `other`: its callback moves to the end of the site's list under this
  // object, without the site being restored in between. `other` keeps only its share of the manager.
  [[gnu::cold]] site_hook(site_hook&& other) : base(other, other.manager) {
    this->manager->MoveHook(static_cast<base*>(&other), static_cast<base*>(this));
  }

  site_hook& operator=(site_hook&&) = delete;

  // The site hooks kept until exit; moving one in keeps its hook on the site for the life of the library.
  [[gnu::cold]] static std::list<site_hook>& siteHookStore() {
    static std::list<site_hook> store;
    return store;
  }

  // Attaches `callback` and, unless the site is patched already, patches it (see site_manager_core::Install).
  [[gnu::cold]] void Install(HookCallback<result> callback) override {
    this->active = true;
    this->manager->Install(static_cast<base*>(this), this->address, std::move(callback));
  }
};

}  // namespace hook
