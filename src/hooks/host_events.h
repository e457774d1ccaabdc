#pragma once
// Host events: callbacks run before and after a host routine, reached through the call sites that the
// event hooks. An event hooks its sites when the first callback is added, and only on the host builds its
// site list names; a hooked call runs the before list, the host routine, the after list, and hands the
// routine's result back to the host code.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

#include "hooks/call_hooks.h"
#include "host/addresses.h"
#include "host/call_sites.h"
#include "host/host_version.h"

namespace plugin {

// One call site of an event, for one host build.
struct HostRef {
  std::uint32_t address;  // of the call instruction, in the host build
  std::int32_t version;   // the HostVersion it belongs to
};

template <HostRef... Refs>
struct SiteList {};

template <class... Types>
using TypeList = hook::type_list<Types...>;

// Which arguments of the hooked call an event hands its callbacks.
template <class Picked>
struct ArgSelect;

template <>
struct ArgSelect<TypeList<>> {
  template <class Callback>
  static void Call(Callback& callback) {
    callback();
  }
};

// The routines behind the host's call sites take nothing and return a 32-bit value.
using HostRoutine = std::uint32_t();

template <std::uint32_t Address>
using HostSiteHook = hook::site_hook<hook::saved_call, Address, HostRoutine>;

// What an event holds and runs on a hooked call: the same code for every event of one kind of callback.
template <class Select, class Signature>
class EventCallbacks {
 public:
  using Callable = std::function<Signature>;
  using Result = std::uint32_t;

  struct EventCallback {
    Callable callable;
    std::int32_t id;  // 0: none
    // The plain function `callable` is, if it is one: called directly, it costs a raise no copy of a
    // std::function.
    std::add_pointer_t<Signature> plain;
  };
  using CallbackList = std::vector<EventCallback>;

  EventCallbacks() = default;
  EventCallbacks(const EventCallbacks&) = delete;
  EventCallbacks& operator=(const EventCallbacks&) = delete;

  // Runs on the host's call: the before list, the rest of the hooked call, the after list. A callback that
  // throws stops only itself: nothing of it reaches host code, and the others and the host routine still run.
  // The lists hold what they hold when they start: a callback may add to its own list, which can move the
  // entries elsewhere, so each is found by its index; what is added runs from the next raise.
  Result Raise(const hook::Continuation<Result>& next) {
    for (std::size_t i = 0, count = beforeCallbacks.size(); i < count; ++i) Run(beforeCallbacks[i]);
    const Result result = next();
    for (std::size_t i = 0, count = afterCallbacks.size(); i < count; ++i) Run(afterCallbacks[i]);
    return result;
  }

  bool installed = false;
  CallbackList beforeCallbacks;
  CallbackList afterCallbacks;

 protected:
  using PlainFunction = std::add_pointer_t<Signature>;

  // The hook callback an event installs at each of its call sites.
  struct RaiseOn {
    EventCallbacks* event;
    Result operator()(const hook::Continuation<Result>& next) const { return event->Raise(next); }
  };

  template <class Function>
  [[gnu::cold]] static void Append(CallbackList& list, const Function& callable, std::int32_t id) {
    list.push_back(EventCallback{Callable(callable), id, PlainFunctionOf(callable)});
  }

  // Whether `list` has `callable` already: an entry with the same non-zero id, or, with id 0, the same plain
  // function. Other callables are never taken for a repeat.
  template <class Function>
  [[gnu::cold]] static bool IsRepeat(const CallbackList& list, const Function& callable, std::int32_t id) {
    if (id != 0) {
      return std::any_of(list.begin(), list.end(), [id](const EventCallback& entry) { return entry.id == id; });
    }
    const PlainFunction function = PlainFunctionOf(callable);
    return function != nullptr && std::any_of(list.begin(), list.end(), [function](const EventCallback& entry) {
             return PlainFunctionOf(entry.callable) == function;
           });
  }

 private:
  // The plain function `callable` is, or wraps; null for any other callable.
  template <class Function>
  static PlainFunction PlainFunctionOf(const Function& callable) {
    if constexpr (std::is_same_v<Function, Signature>) {
      return &callable;
    } else if constexpr (std::is_same_v<Function, PlainFunction>) {
      return callable;
    } else if constexpr (std::is_same_v<Function, Callable>) {
      const PlainFunction* wrapped = callable.template target<PlainFunction>();
      return wrapped != nullptr ? *wrapped : nullptr;
    } else {
      return nullptr;
    }
  }

  // Runs one callback: a plain function as it is, any other callable as a copy, since it may change the list
  // that holds it.
  static void Run(const EventCallback& entry) {
    try {
      if (const PlainFunction plain = entry.plain) {
        Select::Call(*plain);
      } else {
        Callable callable = entry.callable;
        Select::Call(callable);
      }
    } catch (...) {
      // Host code cannot deal with an exception; the callback's work is lost, the frame goes on.
    }
  }
};

// An event: its callbacks, and the call sites it hooks, the only part made for each event.
template <template <std::uint32_t> class SiteHook, class Sites, class Select, class Signature>
class HostEvent : public EventCallbacks<Select, Signature> {
  using base = EventCallbacks<Select, Signature>;

 public:
  using typename base::CallbackList;

  // Adds a copy of `callable` to `list` (this event's before or after list) unless the list has it already:
  // an entry with the same non-zero id, or, with id 0, the same plain function. Other callables are never
  // taken for a repeat. The first callback added hooks the event's sites.
  template <class Function>
  [[gnu::cold]] void AddCallback(CallbackList& list, const Function& callable, std::int32_t id = 0) {
    if (base::IsRepeat(list, callable, id)) return;
    if (!this->installed) {
      this->installed = true;
      InstallHooks(Sites{});
    }
    base::Append(list, callable, id);
  }

 private:
  template <HostRef... Refs>
  void InstallHooks(SiteList<Refs...>) {
    ((Refs.version == host::GetHostVersion() ? KeepHook<Refs.address>() : void()), ...);
  }

  template <std::uint32_t Address>
  [[gnu::cold]] void KeepHook() {
    SiteHook<Address> siteHook;
    siteHook.Install(typename base::RaiseOn{this});
    SiteHook<Address>::siteHookStore().push_back(std::move(siteHook));
  }
};

using NoArguments = ArgSelect<TypeList<>>;

template <host::CallSite Site>
using BothServedBuilds =
    SiteList<HostRef{host::AddressOf(Site), host::kBuild1001}, HostRef{host::AddressOf(Site), host::kBuild1002}>;

using HostStartupEvent = HostEvent<HostSiteHook, BothServedBuilds<host::CallSite::Startup>, NoArguments, void()>;
using HostReinitEvent = HostEvent<HostSiteHook,
                                  SiteList<HostRef{host::AddressOf(host::CallSite::ReinitA), host::kBuild1001},
                                           HostRef{host::AddressOf(host::CallSite::ReinitA), host::kBuild1002},
                                           HostRef{host::AddressOf(host::CallSite::ReinitB), host::kBuild1001},
                                           HostRef{host::AddressOf(host::CallSite::ReinitB), host::kBuild1002}>,
                                  NoArguments, void()>;
using HostFrameEvent = HostEvent<HostSiteHook, BothServedBuilds<host::CallSite::Frame>, NoArguments, void()>;
using HostShutdownEvent = HostEvent<HostSiteHook, BothServedBuilds<host::CallSite::Shutdown>, NoArguments, void()>;
using HostDrawEvent = HostEvent<HostSiteHook, BothServedBuilds<host::CallSite::Draw>, NoArguments, void()>;

// The five events, each created on its first use and gone at exit (after the site hooks it installed).
HostStartupEvent& hostStartupEvent();
HostReinitEvent& hostReinitEvent();
HostFrameEvent& hostFrameEvent();
HostShutdownEvent& hostShutdownEvent();
HostDrawEvent& hostDrawEvent();

}  // namespace plugin
