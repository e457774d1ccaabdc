#pragma once
// The simulated host: plays the host game's side for the plug-in, in a Linux i386 process, or under Wine in a
// Windows program whose own image holds the host's address range.
//
// It maps the host's address range at its fixed addresses (code pages read+execute only, data pages
// read+write), writes the probe words of a chosen build, puts the host's own call instruction at each of the
// six hooked call sites, the host's sky routine at its address and a jump to a recording fake at every host
// entry the plug-in calls. It holds the host's data (clock, time step, lighting, camera, vehicle pool, engine)
// and runs the game loop. The image is mapped before any other static initialisation of the process.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/call_sites.h"
#include "host/host.h"
#include "patching/patching.h"

namespace simhost {

using host::HostVehicle;
using host::ImmediateVertex;
using host::Vector3;

// ---- The image --------------------------------------------------------------------------------------------

inline constexpr std::uint32_t kImageBase = patching::kHostPreferredBase;
inline constexpr std::uint32_t kCodeEnd = 0x860000;   // code pages: [base, kCodeEnd), read+execute
inline constexpr std::uint32_t kImageEnd = 0xC98000;  // data pages: [kCodeEnd, kImageEnd), read+write

// Where the image lies: kImageBase, or SIMHOST_IMAGE_BASE (hexadecimal) when the process sets it. The plug-in
// asks for it through zephrel_host_image_base (linux.cpp).
std::uint32_t ImageBase();
// A host address in the mapped image.
std::uint32_t At(std::uint32_t hostAddress);

// Writes the probe words of `build` (1001, 1002, 1011, 1101, 1111, 3200, 3210; anything else matches no
// probe) and clears those of every other build.
void SetBuild(std::int32_t build);

// Unmaps the host pages of [begin, end) (host addresses, page-aligned), or maps them back, zeroed, with the
// protection the image gives them (code bytes are written again).
void UnmapHostRange(std::uint32_t begin, std::uint32_t end);
void RemapHostRange(std::uint32_t begin, std::uint32_t end);

// The host's code pages, byte for byte (for comparisons before and after a load).
std::vector<std::uint8_t> SnapshotCode();

// Writes host code the way a debugger would: with the protection lifted and put back afterwards.
void WriteCode(std::uint32_t hostAddress, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadCode(std::uint32_t hostAddress, std::size_t size);

// ---- Call sites and the host's routines ---------------------------------------------------------------------

// The plug-in's list of call sites is the simulated host's too.
using Site = host::CallSite;
inline constexpr Site kAllSites[] = {Site::Startup, Site::ReinitA,  Site::ReinitB,
                                     Site::Frame,   Site::Shutdown, Site::Draw};

std::uint32_t SiteAddress(Site site);  // host address of the call instruction
const char* SiteName(Site site);
// The value the host routine behind a site returns; each differs from the others.
std::uint32_t RoutineResult(Site site);
// The host routine's own address (where the site's call goes before anyone hooks it).
std::uint32_t RoutineAddress(Site site);

// Runs the host's code at the site (its call instruction, then a return), the way the host's caller does:
// with a stack aligned to 4 bytes only. Returns what the host code at the site returned.
std::uint32_t RunSite(Site site);
// Runs host code at any host address the same way (a call site a test wrote itself, say).
std::uint32_t RunCode(std::uint32_t hostAddress);
// How many times the host routine behind the site has run.
int RoutineRuns(Site site);

// Calls the host's sky routine (0x7174F0) the way the game loop does; SkyRoutineRuns counts the runs of the
// host's own code there.
void RunSkyRoutine();
int SkyRoutineRuns();

// True when every call into host code made by RunSite/RunSkyRoutine kept EBX, ESI, EDI and EBP.
bool CalleeSavedRegistersKept();

// The x87 control word of the game's thread: its Direct3D device, created without the flag that preserves the
// floating-point state, leaves it at 24-bit precision, all exceptions masked, rounding to nearest, for the whole
// game. Every call into host code made here, and the plug-in's loading and unloading, run with it, and the
// plug-in must give it back as it found it.
inline constexpr std::uint16_t kGameControlWord = 0x007F;
// Another word for the calls to come (until ResetHost): ProcessControlWord() runs the plug-in at this
// process's default precision instead.
void SetGameControlWord(std::uint16_t word);
std::uint16_t ProcessControlWord();
// True when every such call returned with the control word it was given.
bool ControlWordKept();

// ---- Host data --------------------------------------------------------------------------------------------

void SetClock(std::uint32_t ms);
std::uint32_t Clock();
void SetTimeStep(float step);
void SetClockHour(std::uint8_t hour);
void SetDimFactors(float a, float b, float c);
void SetLightColour(std::uint16_t red, std::uint16_t green, std::uint16_t blue);

// The camera: its own position, or a matrix whose position is used instead.
void SetCameraPosition(const Vector3& position);
void SetCameraMatrixPosition(const Vector3& position);  // gives the camera a matrix at that position
void ClearCameraMatrix();

// The vehicle pool: `size` entries, all free, and a count of `size`. SetPoolCount overrides the count the
// pool record states (it may be 0 or negative).
void ResizePool(int size);
void SetPoolCount(std::int32_t count);
int PoolSize();
HostVehicle& Vehicle(int index);
void SetVehicleFree(int index, bool free);
void SetVehicleNullEntries(bool null);  // the pool record's entry array pointer becomes null (or back)

// Places a vehicle at `index` (marking it in use): model, position (own, no matrix), status 0, no driver.
HostVehicle& PlaceVehicle(int index, std::uint16_t model, const Vector3& position);
void SetVehicleMatrixPosition(int index, const Vector3& position);  // gives it a matrix at that position
void SetVehiclePosition(int index, const Vector3& position);        // wherever it keeps its position
void SetVehicleDriver(int index, bool driver);
Vector3 VehiclePosition(int index);

// ---- Answers the host gives ---------------------------------------------------------------------------------

// The camera's sphere test; by default everything is visible.
void SetSphereVisibility(std::function<bool(const Vector3& centre, float radius)> visible);
// Whether TransformImmediateVertices opens a batch (by default it does).
void SetTransformSucceeds(bool succeeds);
// Whether an existing texture dictionary file holds the textures asked for (by default it does).
void SetDictionariesHoldTextures(bool hold);
// Textures an existing dictionary lacks, by name, whatever SetDictionariesHoldTextures says of the others (by
// default none).
void SetMissingTextures(const std::vector<std::string>& names);

// How often each host entry was called, the vector helpers included (they are not in the call record).
int EntryCalls(const std::string& entry);

// ---- What the host saw ------------------------------------------------------------------------------------

// One call of a host entry, with its arguments as 32-bit words (floats by their bits) and the text of any
// name or path argument.
struct Call {
  std::string entry;
  std::vector<std::uint32_t> args;
  std::string text;
};

struct Batch {
  std::vector<ImmediateVertex> vertices;  // as handed to TransformImmediateVertices
  std::uint32_t matrix = 0;
  std::uint32_t flags = 0;
  bool rendered = false;
  std::int32_t primitiveType = -1;
  std::vector<std::uint16_t> indices;
  bool ended = false;
  std::map<std::int32_t, std::uint32_t> renderStates;  // the render states in force when it opened
};

struct ErrorBox {
  std::string text;
  std::string caption;
  std::uint32_t style = 0;
};

struct Record {
  std::vector<Call> calls;  // every host entry called, in order, and every host routine run ("routine:...")
  std::vector<Batch> batches;
  std::vector<ErrorBox> errorBoxes;
  std::map<std::int32_t, std::uint32_t> renderStates;  // current value of every render state ever set
};

Record& Recorded();
// Puts `label` into the call record as an entry of its own, counted like one: code under test (the callbacks
// of a test plug-in, say) shows with it when it ran among the host's routines.
void Mark(const char* label);
void ClearRecord();
// While off, nothing is recorded (the host still answers); for measuring the plug-in alone.
void SetRecording(bool on);
// The vector helpers (SetVector, VectorLength, CopyVector) are only counted, being called thousands of times a
// frame; while this is on they go into the call record as well, for stories about the order of steps.
void SetVectorCallsRecorded(bool on);
// Runs `observe` on every call as it is recorded, while the host is inside it: a story can look at the host as
// the plug-in left it at that moment. Reset by ResetHost.
void SetCallObserver(std::function<void(const Call&)> observe);

float AsFloat(std::uint32_t bits);
std::uint32_t Bits(float value);
// The calls of one entry, in order.
std::vector<Call> CallsOf(const std::string& entry);

// Textures handed out by ReadTexture and not yet destroyed.
int LiveTextures();
// The raster of the first texture ReadTexture hands out after ResetHost; each further one has the next number.
inline constexpr std::uint32_t kFirstRaster = 0x7A000000;
// The host's current texture dictionary slot (0: none).
std::int32_t CurrentTextureDictionary();

// ---- The game loop ----------------------------------------------------------------------------------------

// Runs before the plug-in sees a frame: scripts move the aircraft here. Arguments: the clock after advancing.
using Script = std::function<void(std::uint32_t now)>;
void SetScript(Script script);

// One frame: advance the clock by `ms` and set the time step, run the script, the per-frame call site, the
// sky routine and the drawing call site.
void Frame(std::uint32_t ms);
void Startup();   // the start-up call site
void Reinit();    // the first re-initialisation call site
void Shutdown();  // the shutdown call site

// Everything back as after the image was first mapped (code, data, pool, answers, record), build 1001; on the
// Windows side, no message boxes and no module lookup failure.
void ResetHost();

// ---- The plug-in library (Linux) --------------------------------------------------------------------------

// Path of build/linux-i386/libzephrel.so.
std::string PluginLibraryPath();
// dlopen: the library's static initialisation runs (and patches). Null with the reason printed on failure.
void* LoadPlugin(const std::string& path = PluginLibraryPath());
// dlclose; true when the library is really gone from the process afterwards (its exit-time code ran).
bool UnloadPlugin(void* handle);

}  // namespace simhost
