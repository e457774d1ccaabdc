#pragma once
// Jumps of the plug-in's own, in memory it reserves outside its image. A call site made to call one of these
// rather than the plug-in itself can go on calling it once the plug-in is gone: when another tool has taken the
// site over since, the call that tool keeps still reaches the jump, which is then turned to the routine the site
// used to call and left in place for the life of the process.
//
// Each trampoline is an indirect jump (FF 25) through a cell of its own on a page that stays writable, so it is
// turned by one aligned four-byte store, with no protection to change and nothing that can fail halfway; its
// code is written once, before its page becomes executable, and is never writable again.

#include <cstddef>
#include <cstdint>

namespace patching {

// How many trampolines can be in use or left in place at once.
inline constexpr std::size_t kTrampolineCapacity = 512;

// A trampoline jumping to `destination`, or 0 when none can be had (no memory, memory that could not be made
// executable, or every trampoline taken): the caller then calls `destination` itself.
std::uint32_t MakeTrampoline(std::uint32_t destination);

// Nothing calls `trampoline` any more: it may be made again, and its memory goes once none is in use or left.
void ReleaseTrampoline(std::uint32_t trampoline);

// `trampoline` jumps to `destination` from now on and stays, with its memory, until the process ends.
void LeaveTrampoline(std::uint32_t trampoline, std::uint32_t destination);

}  // namespace patching
