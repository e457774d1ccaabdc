#include "follow_ini.h"

#include <cstring>
#include <new>
#include <string>

#include "config/ini_file.h"
#include "config/settings.h"
#include "host/host.h"
#include "platform/platform.h"
#include "zephrel_log.h"

namespace plugin {
namespace {

// The path the last start-up or re-initialisation read, with room for a name longer than the module's own.
char iniPath[320];
platform::FileStamp knownStamp;
bool stampKnown = false;  // false: there was no file to ask about when last read
std::uint32_t nextCheck = 0;

void Reread(const platform::FileStamp& stamp, std::uint32_t now) {
  // A file that cannot be opened just now (an editor holding it while it saves) is no file of defaults: the
  // settings stay, and the stamp stays old so that the next check tries again.
  const config::IniText text = config::ReadIniText(iniPath);
  if (text.status == config::IniTextStatus::kUnreadable) return;
  SettingTexts before;
  for (std::size_t i = 0; i < config::kSettingCount; ++i) before[i] = config::SettingValueText(config::kSettings[i]);
  // The same reader and rules as a re-initialisation: a file over the limit gives every default.
  config::LoadSettingsFrom(config::IniFile(iniPath, text.text));
  knownStamp = stamp;
  stampKnown = true;
  AppendFollowLog(iniPath, now, text.status == config::IniTextStatus::kTooLarge, before);
}

}  // namespace

void ReadSettings() noexcept {
  try {
    const std::string path = config::ResolveIniPath("Zephrel.ini");
    if (path.size() < sizeof iniPath) {
      std::memcpy(iniPath, path.c_str(), path.size() + 1);
    } else {
      iniPath[0] = '\0';  // a path no fixed area holds is read at re-initialisations only
    }
  } catch (const std::bad_alloc&) {
  }
  stampKnown = iniPath[0] != '\0' && platform::QueryFileStamp(iniPath, knownStamp);
  nextCheck = host::HostTimeMs() + kFollowEveryMs;
  config::LoadSettings();
}

void FollowIniChanges() noexcept {
  if (!config::FollowFileChanges) return;
  // Due from the moment nextCheck is reached; a clock set back by more than a second (a loaded game) is due too.
  const std::uint32_t now = host::HostTimeMs();
  if (nextCheck - now - 1 < kFollowEveryMs) return;
  // Once a second on average whatever the frame length, unless the clock jumped.
  nextCheck = now - nextCheck < kFollowEveryMs ? nextCheck + kFollowEveryMs : now + kFollowEveryMs;
  platform::FileStamp stamp;
  if (iniPath[0] == '\0' || !platform::QueryFileStamp(iniPath, stamp)) return;  // gone or mid-save: next time
  if (stampKnown && stamp == knownStamp) return;
  try {
    Reread(stamp, now);
  } catch (...) {
    // Out of memory while reading: the keys not read yet keep their values, and the next check tries again.
  }
}

}  // namespace plugin
