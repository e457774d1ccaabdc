#pragma once
// The frame-cost benchmark: a full pool of aircraft flown in the simulated host, each frame timed with the
// plug-in loaded and against the same frame of the host alone, and one hooked call timed against the call
// the host makes without the plug-in. The simulated host records nothing while it is timed, so every heap
// allocation counted in a timed stretch is the plug-in's (or a regression of the host's).

#include <cstdint>
#include <string>

#include "plugin.h"

namespace bench {

inline constexpr int kAircraft = 50;           // every slot of the trail store and the banner chains
inline constexpr int kMaxPool = 1000;          // the largest vehicle pool flown
inline constexpr std::uint32_t kFrameMs = 33;  // 30 frames per second
// Long enough for every trail to reach its full 30 s of points, so that the timed frames also retire them.
inline constexpr std::uint32_t kWarmUpMs = 32000;
inline constexpr std::uint8_t kNightHour = 2;  // the sky trails show their lights

// The case of eight rules of each kind: the models each rule serves, rule 0 [MAIN]'s of the shipped file's models.
inline constexpr int kEightRules = 8;
inline constexpr std::uint16_t kTrailRuleModels[kEightRules] = {577, 601, 602, 603, 604, 605, 606, 607};
inline constexpr std::uint16_t kBannerRuleModels[kEightRules] = {593, 701, 702, 703, 704, 705, 706, 707};

struct Settings {
  int frames = 2000;   // per timed run
  int calls = 100000;  // per timed run of the hooked call
  int runs = 9;        // the median of this many runs is reported
  // When not empty, where to write the plug-in's address range once it is loaded ("<first> <end>" in
  // hexadecimal), for an instruction counter run over the benchmark (bench/insn/).
  std::string rangeFile;
  // Eight trail rules drawn as ribbons and eight banner rules with cloths of their own, from rule sections after
  // the shipped Zephrel.ini's [MAIN], instead of its one of each.
  bool eightRules = false;
  // The vehicle pool's entries: the aircraft spread evenly over it, cars the plug-in leaves alone in the others, as in
  // a busy scene; with kAircraft entries, the aircraft are the whole pool.
  int pool = kAircraft;
};

// Called before and after every timed run: an instruction counter cuts the run into phases here.
extern "C" void zephrel_count_mark();

// What one loaded plug-in is measured under.
struct Case {
  simhost::PluginBuild build = simhost::PluginBuild::LinuxLibrary;
  bool skyTrails = false;  // ReplaceTrailsInTheSky=1, flown at night
  bool timeCall = false;   // also time the hooked call
};

struct Timing {
  double nanoseconds = 0.0;  // median over the runs, per frame or per call
  long allocations = 0;      // heap allocations in all runs together
  long rounds = 0;           // frames or calls in all runs together
};

struct Drawn {
  int lineBatches = 0;
  int triangleBatches = 0;
};

struct Result {
  std::string error;   // empty when the case ran
  Timing hostFrame;    // the host alone
  Timing pluginFrame;  // the same frame with the plug-in loaded
  Drawn drawn;         // in one frame after the warm-up
  Drawn expected;      // what the flight should draw: every trail and banner the slots serve, and the sky trails
  bool timedCall = false;
  Timing unhookedCall;
  Timing hookedCall;
};

// Sets the host up afresh, flies the pool without and then with the plug-in, unloads it and resets the host.
Result Measure(const Case& run, const Settings& settings);

// How many aircraft of each kind the pool holds.
int TrailAircraft();
int BannerAircraft();

}  // namespace bench
