#include "follow_ini.h"

#include <cstring>

#include "config/plugin_paths.h"
#include "config/settings.h"
#include "host/host.h"
#include "platform/platform.h"
#include "zephrel_log.h"

namespace plugin {
namespace {

// The path the last start-up or re-initialisation read.
char iniPath[config::kPluginPathAreaSize];
platform::FileStamp knownStamp;  // the file as it was last read
bool stampKnown = false;         // false: there was no file to ask about when last read
platform::FileStamp seenStamp;   // a stamp other than the known one, as the last checks found it
int seenChecks = 0;              // how many checks in a row found seenStamp; 0 when none did
std::uint32_t nextCheck = 0;

// The settings in effect until a followed save is read, for the log to tell what it changed. Not on the stack: the
// value is large, and the game's stack is not the plug-in's.
config::Configuration before;

void Reread(const platform::FileStamp& stamp, std::uint32_t now) {
  const IniRead ini{iniPath, config::ReadIniText(iniPath, true)};
  // A file that cannot be opened just now (an editor holding it while it saves) is no file of defaults: the
  // settings stay, and the next check tries again.
  if (ini.file.status == config::IniTextStatus::kUnreadable) return;
  // Not the size the stamp gave: written again since, so not read yet; its new stamp must hold still first.
  if (ini.file.status == config::IniTextStatus::kRead && ini.file.text.size() != stamp.size) {
    seenChecks = 0;
    return;
  }
  before = config::InEffect;
  // The same reader and rules as a re-initialisation: a file over the limit gives every default.
  config::LoadSettingsFrom(config::IniTextOf(ini.file));
  knownStamp = stamp;
  stampKnown = true;
  seenChecks = 0;
  AppendFollowLog(ini, now, before);
}

// A check that is due: asks the file system, and reads the file when it was saved and has held still. Apart from the
// frame's test whether a check is due, so that a frame with none due costs that test alone.
[[gnu::noinline]] void CheckIni(std::uint32_t now) noexcept {
  // At the same pace on average whatever the frame length, unless the clock jumped.
  nextCheck = now - nextCheck < kFollowEveryMs ? nextCheck + kFollowEveryMs : now + kFollowEveryMs;
  platform::FileStamp stamp;
  // Gone, or being replaced: a save in progress, to be seen whole at a later check.
  if (iniPath[0] == '\0' || !platform::QueryFileStamp(iniPath, stamp)) {
    seenChecks = 0;
    return;
  }
  if (stampKnown && stamp == knownStamp) {
    seenChecks = 0;
    return;
  }
  seenChecks = seenChecks != 0 && stamp == seenStamp ? seenChecks + 1 : 1;
  seenStamp = stamp;
  if (seenChecks < (stamp.size == 0 ? kStillChecksWhenEmpty : kStillChecks)) return;
  try {
    Reread(stamp, now);
  } catch (...) {
    // Out of memory while reading: the keys not read yet keep their values, and the next check tries again.
  }
}

}  // namespace

IniRead ReadSettings() noexcept {
  std::strcpy(iniPath, config::PluginFilePath(config::kSettingsFile));
  IniRead ini;
  ini.path = iniPath;
  stampKnown = iniPath[0] != '\0' && platform::QueryFileStamp(iniPath, knownStamp);
  seenChecks = 0;
  nextCheck = host::HostTimeMs() + kFollowEveryMs;
  try {
    // A folder that leaves no room for the name has no file to read.
    if (iniPath[0] != '\0') ini.file = config::ReadIniText(iniPath, true);
  } catch (...) {
    // A file too large for the process's memory reads as no file.
    ini.file = {config::IniTextStatus::kUnreadable, {}};
  }
  config::LoadSettingsFrom(config::IniTextOf(ini.file));
  return ini;
}

void FollowIniChanges() noexcept {
  if (!config::InEffect.FollowFileChanges) return;
  // Due from the moment nextCheck is reached; a clock set back by more than a period (a loaded game) is due too.
  const std::uint32_t now = host::HostTimeMs();
  if (nextCheck - now - 1 >= kFollowEveryMs) CheckIni(now);
}

}  // namespace plugin
