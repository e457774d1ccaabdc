#pragma once
// Which build of the host game is running, and the host addresses bound for it.

#include <cstdint>

#include "host/addresses.h"

namespace host {

// The running host build (1001, 1002, another recognised id, or 0), detected on the first call.
std::int32_t GetHostVersion();

// Reads the probe words in order; the id of the first that matches, or 0. An unmapped or unreadable probe is
// no match. An image that is not at the base the addresses are written for is not read at all: 0.
std::int32_t DetectHostVersion();

// The 32-bit word at a host address, read with the page protection lifted; 0 when it cannot be lifted, which
// no probe word is.
std::uint32_t ReadHostDword(std::uint32_t hostAddress);

// The address a binding takes for the running build: translated for builds 1001 and 1002, else the
// translation of 0.
std::uint32_t ResolveHostBinding(std::uint32_t hostAddress);

// A host address resolved once, while the library initialises.
class HostBinding {
 public:
  explicit HostBinding(std::uint32_t hostAddress) : address_(ResolveHostBinding(hostAddress)) {}
  std::uint32_t address() const { return address_; }

 private:
  std::uint32_t address_;
};

namespace binding {
extern const HostBinding HostCamera;
extern const HostBinding IsSphereVisible;
extern const HostBinding HostClockHour;
}  // namespace binding

}  // namespace host
