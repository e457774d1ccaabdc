#pragma once
// How the plug-in calls the host's functions. The host was built by a compiler whose free functions are cdecl and
// whose member functions are thiscall (object in ECX): every host function type spells its convention out, and
// Entry turns the address of a host entry into a function to call.

#include <cstdint>

#if defined(__wasm__)
// The browser preview plays the host in WebAssembly, which has a single calling convention and calls a function
// through a table, never at an address: there an entry address stands for the function the page's game has set
// for it (entry_table.cpp). This is the one place where the plug-in's code knows it.
#define HOST_CDECL
#define HOST_THISCALL

namespace host {

// The function set for the entry at `address`, or null, which traps when called, as a call into nothing would
// crash the game.
std::uintptr_t EntryFunction(std::uint32_t address);

// Makes `function` stand for the entry at `address`. False when the table has no room left.
bool SetEntryFunction(std::uint32_t address, std::uintptr_t function);

// Typed, so that a function of another type than the entry's cannot be set for it.
template <typename Function>
bool SetEntry(std::uint32_t address, Function function) {
  return SetEntryFunction(address, reinterpret_cast<std::uintptr_t>(function));
}

template <typename Function>
Function Entry(std::uint32_t address) {
  return reinterpret_cast<Function>(EntryFunction(address));
}

}  // namespace host
#else
#define HOST_CDECL __attribute__((cdecl))
#define HOST_THISCALL __attribute__((thiscall))

namespace host {

template <typename Function>
Function Entry(std::uint32_t address) {
  return reinterpret_cast<Function>(address);
}

}  // namespace host
#endif
