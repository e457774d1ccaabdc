// Every mprotect of the process passes here first (the simulated host comes before the C library in the
// process's symbol lookup, as for malloc): the Linux library's platform layer calls it directly, the DLL
// through the PE loader's VirtualProtect.

#include "protection_faults.h"

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "simhost.h"
#include "win32.h"

namespace simhost {
namespace {

bool armed = false;
int failingRequest = 0;
int failingCount = 1;
int requests = 0;

// A request that makes host code writable, or that makes memory outside the image executable: code the plug-in
// wrote there itself. The simulated Windows's loader makes a DLL's sections executable as its own work.
bool IsCounted(const void* address, std::size_t length, int protection) {
  const std::uint64_t begin = reinterpret_cast<std::uint32_t>(address);
  if (begin < At(kImageEnd) && begin + length > At(kImageBase)) {
    return (protection & PROT_WRITE) != 0 && begin < At(kCodeEnd);
  }
  return (protection & PROT_EXEC) != 0 && !pe::inside_system_work();
}

}  // namespace

// Counts the request if it is one, and says whether it is the one to refuse.
bool RefusesProtectionChange(const void* address, std::size_t length, int protection) {
  if (!armed || !IsCounted(address, length, protection)) return false;
  ++requests;
  return failingRequest != 0 && requests >= failingRequest &&
         (failingCount == 0 || requests < failingRequest + failingCount);
}

void ArmProtectionFaults(int failing, int count) {
  armed = true;
  failingRequest = failing;
  failingCount = count;
  requests = 0;
}

int DisarmProtectionFaults() {
  armed = false;
  return requests;
}

}  // namespace simhost

extern "C" int mprotect(void* address, std::size_t length, int protection) noexcept {
  if (simhost::RefusesProtectionChange(address, length, protection)) {
    errno = ENOMEM;  // what Linux says when the kernel cannot take one more mapping
    return -1;
  }
  return static_cast<int>(syscall(SYS_mprotect, address, length, protection));
}
