// The host image: its mapping, its code (call sites, routines, sky routine) and its probe words.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/call_sites.h"
#include "internal.h"

namespace simhost {
namespace {

using internal::Access;
using internal::Data;
using internal::kPage;

// The simulated host's own side of each call site, in the order of host::kCallSites.
struct SiteInfo {
  const char* name;
  const char* routine;  // how a run of the routine shows in the call record
  std::uint32_t result;
};

constexpr SiteInfo kSites[] = {
    {"startup", "routine:startup", 0x5A000001},   {"reinit-a", "routine:reinit-a", 0x5A000002},
    {"reinit-b", "routine:reinit-b", 0x5A000003}, {"frame", "routine:frame", 0x5A000004},
    {"shutdown", "routine:shutdown", 0x5A000005}, {"draw", "routine:draw", 0x5A000006},
};
static_assert(std::size(kSites) == std::size(host::kCallSites));

// Host pages unmapped on request, mapped back by ResetHost.
SIMHOST_EARLY std::vector<std::pair<std::uint32_t, std::uint32_t>> holes;

int routineRuns[std::size(kSites)];
std::int32_t currentBuild = host::kBuild1001;
bool registersKept = true;
std::uint16_t gameControlWord = kGameControlWord;
bool controlWordKept = true;

std::uint16_t ControlWord() {
  std::uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

void LoadControlWord(std::uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

const SiteInfo& Info(Site site) { return kSites[static_cast<int>(site)]; }

template <int Index>
std::uint32_t HOST_CDECL Routine() {
  ++routineRuns[Index];
  if (internal::recording) internal::RecordCall(kSites[Index].routine, {});
  return kSites[Index].result;
}

using RoutineFn = std::uint32_t(HOST_CDECL*)();
constexpr RoutineFn kRoutineFns[] = {Routine<0>, Routine<1>, Routine<2>, Routine<3>, Routine<4>, Routine<5>};

bool IsHole(std::uint32_t hostAddress) {
  for (const auto& [begin, end] : holes) {
    if (hostAddress >= begin && hostAddress < end) return true;
  }
  return false;
}

// Protects the mapped pages of a host range; pages unmapped on request are left out (qemu-i386 would
// otherwise take an mprotect of a hole as a mapping).
void Protect(std::uint32_t hostBegin, std::uint32_t hostEnd, Access access) {
  if (holes.empty()) {
    if (internal::ProtectPages(At(hostBegin), hostEnd - hostBegin, access)) return;
    std::fprintf(stderr, "simhost: cannot protect the host pages at %#x\n", At(hostBegin));
    std::abort();
  }
  for (std::uint32_t page = hostBegin; page < hostEnd; page += kPage) {
    if (!IsHole(page)) internal::ProtectPages(At(page), kPage, access);
  }
}

Access AccessOf(std::uint32_t hostAddress) { return hostAddress < kCodeEnd ? Access::Code : Access::Data; }

// Runs `fn` with the code pages writable.
template <typename Fn>
void WithCodeWritable(Fn fn) {
  Protect(internal::FirstOwnedPage(), kCodeEnd, Access::Writable);
  fn();
  Protect(internal::FirstOwnedPage(), kCodeEnd, Access::Code);
}

SIMHOST_MAP_IMAGE void MapImageFirst() {
  internal::ObtainImage();
  ResetHost();
  // A process that binds once at start can ask for the build it is to find.
  if (const char* build = std::getenv("SIMHOST_BUILD")) SetBuild(std::atoi(build));
}

}  // namespace

// Calls host code at an address with a stack aligned to 4 bytes only, and with known values in the
// registers a callee must keep; reports whether they were kept. Naked, so that the compiler names and places
// it for either object format (ELF, PE).
extern "C" __attribute__((naked, noinline)) std::uint32_t simhost_call_host(std::uint32_t, std::uint32_t*) {
  asm(R"(
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl 8(%ebp), %eax
  movl $0x1B1B1B1B, %ebx
  movl $0x5E5E5E5E, %esi
  movl $0xD1D1D1D1, %edi
  andl $-16, %esp
  subl $4, %esp
  call *%eax
  xorl %ecx, %ecx
  cmpl $0x1B1B1B1B, %ebx
  jne 1f
  cmpl $0x5E5E5E5E, %esi
  jne 1f
  cmpl $0xD1D1D1D1, %edi
  jne 1f
  movl $1, %ecx
1:
  movl 12(%ebp), %edx
  movl %ecx, (%edx)
  leal -12(%ebp), %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");
}

std::uint16_t internal::EnterGameControlWord() {
  const std::uint16_t own = ControlWord();
  LoadControlWord(gameControlWord);
  return own;
}

void internal::LeaveGameControlWord(std::uint16_t own) {
  controlWordKept = controlWordKept && ControlWord() == gameControlWord;
  LoadControlWord(own);
}

namespace {
std::uint32_t CallHost(std::uint32_t address) {
  std::uint32_t kept = 0;
  const std::uint32_t result = internal::AsTheGame([&] { return simhost_call_host(address, &kept); });
  registersKept = registersKept && kept != 0;
  return result;
}
}  // namespace

void SetGameControlWord(std::uint16_t word) { gameControlWord = word; }
std::uint16_t ProcessControlWord() {
  static const std::uint16_t word = ControlWord();
  return word;
}
bool ControlWordKept() { return controlWordKept; }

std::uint32_t ImageBase() {
  static const std::uint32_t base = [] {
    const char* text = std::getenv("SIMHOST_IMAGE_BASE");
    return text && *text ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 16)) : kImageBase;
  }();
  return base;
}

std::uint32_t At(std::uint32_t hostAddress) { return ImageBase() + (hostAddress - kImageBase); }

void internal::WriteBranch(std::uint32_t hostAddress, std::uint8_t opcode, const void* target) {
  const std::uint32_t at = At(hostAddress);
  const std::uint32_t displacement = reinterpret_cast<std::uint32_t>(target) - (at + 5);
  auto* bytes = reinterpret_cast<std::uint8_t*>(at);
  bytes[0] = opcode;
  std::memcpy(bytes + 1, &displacement, 4);
}

void internal::WriteImageCode() {
  WithCodeWritable([] {
    // Anything that jumps where the host has no code traps.
    for (std::uint32_t page = internal::FirstOwnedPage(); page < kCodeEnd; page += kPage) {
      if (!IsHole(page)) std::memset(reinterpret_cast<void*>(At(page)), 0xCC, kPage);
    }
    for (std::size_t i = 0; i < std::size(kSites); ++i) {
      const std::uint32_t routine = internal::kRoutines + 16 * i;
      WriteBranch(routine, 0xE9, reinterpret_cast<const void*>(kRoutineFns[i]));
      WriteBranch(host::kCallSites[i].address, 0xE8, reinterpret_cast<const void*>(At(routine)));
      reinterpret_cast<std::uint8_t*>(At(host::kCallSites[i].address))[5] = 0xC3;  // ret
    }
    // The sky routine: inc dword [counter]; ret.
    auto* sky = reinterpret_cast<std::uint8_t*>(At(host::address::HostSkyTrailRoutine));
    const std::uint32_t counter = At(internal::kSkyRoutineCounter);
    sky[0] = 0xFF;
    sky[1] = 0x05;
    std::memcpy(sky + 2, &counter, 4);
    sky[6] = 0xC3;
    internal::WriteEntryStubs();
  });
}

void SetBuild(std::int32_t build) {
  currentBuild = build;
  WithCodeWritable([build] {
    // A probe that is unmapped stays so.
    for (const host::BuildProbe& probe : host::kBuildProbes) {
      if (!IsHole(probe.address)) std::memset(reinterpret_cast<void*>(At(probe.address)), 0xCC, 4);
    }
    for (const host::BuildProbe& probe : host::kBuildProbes) {
      if (probe.build == build && !IsHole(probe.address)) {
        std::memcpy(reinterpret_cast<void*>(At(probe.address)), &probe.word, 4);
      }
    }
  });
}

void UnmapHostRange(std::uint32_t begin, std::uint32_t end) {
  internal::ReleasePages(begin, end);
  holes.emplace_back(begin, end);
}

void RemapHostRange(std::uint32_t begin, std::uint32_t end) {
  internal::ObtainPages(begin, end);
  std::erase(holes, std::pair{begin, end});
  for (std::uint32_t page = begin; page < end; page += kPage) Protect(page, page + kPage, AccessOf(page));
  if (begin < kCodeEnd) {
    internal::WriteImageCode();
    SetBuild(currentBuild);
  }
}

std::vector<std::uint8_t> SnapshotCode() { return ReadCode(kImageBase, kCodeEnd - kImageBase); }

std::vector<std::uint8_t> ReadCode(std::uint32_t hostAddress, std::size_t size) {
  const auto* begin = reinterpret_cast<const std::uint8_t*>(At(hostAddress));
  return {begin, begin + size};
}

void WriteCode(std::uint32_t hostAddress, const std::vector<std::uint8_t>& bytes) {
  const std::uint32_t first = At(hostAddress) & ~(kPage - 1);
  const std::uint32_t length = At(hostAddress) + bytes.size() - first;
  internal::ProtectPages(first, length, Access::Writable);
  std::memcpy(reinterpret_cast<void*>(At(hostAddress)), bytes.data(), bytes.size());
  internal::ProtectPages(first, length, AccessOf(hostAddress));
}

std::uint32_t SiteAddress(Site site) { return host::AddressOf(site); }
const char* SiteName(Site site) { return Info(site).name; }
std::uint32_t RoutineResult(Site site) { return Info(site).result; }
std::uint32_t RoutineAddress(Site site) { return internal::kRoutines + 16 * static_cast<std::uint32_t>(site); }
std::uint32_t RunSite(Site site) { return CallHost(At(SiteAddress(site))); }
std::uint32_t RunCode(std::uint32_t hostAddress) { return CallHost(At(hostAddress)); }
int RoutineRuns(Site site) { return routineRuns[static_cast<int>(site)]; }

void RunSkyRoutine() { CallHost(At(host::address::HostSkyTrailRoutine)); }
int SkyRoutineRuns() { return Data<int>(internal::kSkyRoutineCounter); }
bool CalleeSavedRegistersKept() { return registersKept; }

void ResetHost() {
  while (!holes.empty()) RemapHostRange(holes.back().first, holes.back().second);
  internal::WriteImageCode();
  SetBuild(host::kBuild1001);
  internal::ResetData();
  internal::ResetEntries();
  std::memset(routineRuns, 0, sizeof routineRuns);
  registersKept = true;
  gameControlWord = kGameControlWord;
  controlWordKept = true;
  internal::ResetWindowsSide();
}

}  // namespace simhost
