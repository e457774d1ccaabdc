#pragma once
// Shared between the parts of the simulated host; not for its users.

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "plugin.h"
#include "simhost.h"

// The simulated host's own objects are built first of all, and the image is mapped right after them, before
// any other static initialisation of the process (the plug-in's included).
#define SIMHOST_EARLY __attribute__((init_priority(101)))
#define SIMHOST_MAP_IMAGE __attribute__((constructor(102)))

// Records a message box the plug-in showed (entries.cpp).
extern "C" void simhost_record_error_box(const char* text, const char* caption, std::uint32_t style);

namespace simhost::internal {

// Host data the simulated host keeps in the image's data pages, at addresses of its own choosing.
inline constexpr std::uint32_t kSkyRoutineCounter = 0xC90000;
inline constexpr std::uint32_t kCameraMatrix = 0xC90100;
inline constexpr std::uint32_t kEngine = 0xC90200;
inline constexpr std::uint32_t kPoolRecord = 0xC90300;

// The host's own routines behind the six call sites live here in the code pages.
inline constexpr std::uint32_t kRoutines = 0x840000;

// The host's datum at `hostAddress`, where the simulated host laid the image out.
template <typename T>
T& Data(std::uint32_t hostAddress) {
  return host::Datum<T>(At(hostAddress));
}

// Puts the code of the image in place: routines, call sites, sky routine, entry stubs, probe words.
void WriteImageCode();
// Zeroes the data pages and gives the host data its defaults.
void ResetData();
// Clears the answers and the record of the fakes.
void ResetEntries();
// A jump at every host entry to its fake.
void WriteEntryStubs();

// An E9 (jump) or E8 (call) at a host address to a process address.
void WriteBranch(std::uint32_t hostAddress, std::uint8_t opcode, const void* target);

// Whether calls are recorded. Off while the benchmark times: the entries then test only this flag before
// their answer, so that what is timed is the plug-in and the host's own work, not the recorder's.
extern bool recording;

// Records one call of an entry (with its arguments as 32-bit words) while recording is on.
void RecordCall(const char* entry, std::initializer_list<std::uint32_t> args, const char* text = nullptr);

// Runs `run` with the game's x87 control word, and notes whether it came back unchanged (image.cpp).
std::uint16_t EnterGameControlWord();
void LeaveGameControlWord(std::uint16_t own);
template <typename Run>
auto AsTheGame(Run run) {
  const std::uint16_t own = EnterGameControlWord();
  if constexpr (std::is_void_v<decltype(run())>) {
    run();
    LeaveGameControlWord(own);
  } else {
    auto result = run();
    LeaveGameControlWord(own);
    return result;
  }
}

// ---- What the operating system decides (linux.cpp, windows.cpp) --------------------------------------------

inline constexpr std::uint32_t kPage = 0x1000;

// The first host page the simulated host writes: the image base itself, or, where the image is the test
// program's own (Windows), the page after the program's headers.
std::uint32_t FirstOwnedPage();

// Makes the host image exist at ImageBase(), its owned pages zeroed and writable; aborts when it cannot.
void ObtainImage();
// Takes the host pages of [begin, end) (host addresses, page-aligned) out of the process, or brings them back
// zeroed and writable; aborts when it cannot.
void ReleasePages(std::uint32_t begin, std::uint32_t end);
void ObtainPages(std::uint32_t begin, std::uint32_t end);

enum class Access { Code, Data, Writable };  // read+execute, read+write, read+write
// Gives the pages holding the process addresses [address, address + size) `access`; false when refused.
bool ProtectPages(std::uint32_t address, std::uint32_t size, Access access);

// The file a host entry's path argument names, as this process opens it.
std::string HostFilePath(const char* path);

// Puts back what the Windows side of the process answers (message boxes, failures injected into it).
void ResetWindowsSide();

// Loads the plug-in installed at `installed` (in `subfolder` of `folder`); null, with the reason printed,
// when it cannot.
std::unique_ptr<Plugin> LoadInstalledPlugin(PluginBuild build, const std::string& installed, const GameFolder& folder,
                                            const std::string& subfolder);

}  // namespace simhost::internal
