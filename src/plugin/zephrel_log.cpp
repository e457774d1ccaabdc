#include "zephrel_log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "banners/banner_texture.h"
#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/plugin_paths.h"
#include "config/settings.h"
#include "hooks/site_reports.h"
#include "host/addresses.h"
#include "host/call_sites.h"
#include "host/host_version.h"
#include "trails/sky_trails.h"

namespace plugin {

namespace {

// Written with explicit CR LF, in binary mode, so that the limit counts the bytes of the file.
constexpr char kFullLine[] = "... The log is full (64 KiB): nothing more is written until the next start-up.\r\n";
constexpr std::size_t kFullLineLength = sizeof kFullLine - 1;

// The text since the last start-up, of which `flushed` bytes are in the file already. Fixed, so that neither
// the limit nor a low-memory moment can fail the log.
char text[kLogLimit];
std::size_t length = 0;
std::size_t flushed = 0;
bool full = false;
int reinitCount = 0;

constexpr const char* kNoProtection = "the page's protection could not be changed";

void Flush(bool rewrite) {
  char path[config::kPluginPathAreaSize];
  std::strcpy(path, config::PluginFilePath("Zephrel.log"));
  const std::size_t pending = length - flushed;
  flushed = length;
  // A folder too long for the name, a read-only folder, a file held open elsewhere: there is no log.
  if (path[0] == '\0') return;
  std::FILE* file = std::fopen(path, rewrite ? "wb" : "ab");
  if (file == nullptr) return;
  std::fwrite(text + length - pending, 1, pending, file);
  std::fclose(file);
}

void LogSite(const host::CallSiteInfo& site) {
  const hook::SiteReport* report = hook::FindSiteReport(site.address);
  if (report == nullptr) {
    LogLine("  0x%06X %-20s not tried", site.address, site.name);
    return;
  }
  const std::uint8_t* b = report->bytes;
  char bytes[16];
  std::snprintf(bytes, sizeof bytes, "%02X %02X %02X %02X %02X", b[0], b[1], b[2], b[3], b[4]);
  switch (report->outcome) {
    case hook::SiteOutcome::kHooked: {
      std::int32_t displacement = 0;
      std::memcpy(&displacement, b + 1, sizeof displacement);
      const std::uint32_t target = site.address + 5 + static_cast<std::uint32_t>(displacement);
      LogLine("  0x%06X %-20s hooked: its call to 0x%06X now runs inside Zephrel's", site.address, site.name, target);
      return;
    }
    case hook::SiteOutcome::kNotACall:
      LogLine(
          "  0x%06X %-20s left alone: it holds %s, not a relative call (E8), so something else has rewritten "
          "it and Zephrel's work at this point does not run",
          site.address, site.name, bytes);
      return;
    case hook::SiteOutcome::kNotRead:
      LogLine("  0x%06X %-20s left alone: its bytes could not be read (%s)", site.address, site.name, kNoProtection);
      return;
    case hook::SiteOutcome::kNotWritten:
      LogLine("  0x%06X %-20s left alone: it holds %s, but Zephrel's call could not be written (%s)", site.address,
              site.name, bytes, kNoProtection);
      return;
  }
}

void LogSkyRoutine() {
  const char* what = "";
  switch (trails::LastSkyRedirect()) {
    case trails::SkyRedirect::kNotAsked:
      what = "left to the game (ReplaceTrailsInTheSky is off)";
      break;
    case trails::SkyRedirect::kEarlierStays:
      what =
          "still redirected by an earlier start-up (ReplaceTrailsInTheSky is off now; the redirect goes only "
          "when Zephrel is unloaded)";
      break;
    case trails::SkyRedirect::kRedirected:
      what = "redirected to Zephrel's three circling trails";
      break;
    case trails::SkyRedirect::kNotRead:
      what = "not redirected: its first bytes could not be read (the page's protection could not be changed)";
      break;
    case trails::SkyRedirect::kNotWritten:
      what = "not redirected: the jump could not be written (the page's protection could not be changed)";
      break;
  }
  LogLine("Sky routine 0x%06X: %s", host::address::HostSkyTrailRoutine, what);
}

void LogBannerTexture() {
  const char* path = banners::BannerTexturePath();
  if (path[0] == '\0') {
    LogLine(
        "Banner texture: not looked for: the plug-in's folder path leaves no room for MODELS\\BANNER.TXD "
        "within 260 characters; no banner is drawn");
  } else if (banners::BannerTexture != nullptr) {
    LogLine("Banner texture: loaded from %s", path);
  } else {
    LogLine(
        "Banner texture: not loaded from %s: the file is missing or holds no texture named Banner; no banner "
        "is drawn",
        path);
  }
}

void LogSettings() {
  LogLine("Settings in effect:");
  for (const config::Setting& setting : config::kSettings) {
    LogLine("  %-24s %s", setting.key, config::SettingValueText(setting).c_str());
  }
}

// The lines of the file that do not do what they seem, in the checker's words.
void LogIniNotes(const config::IniText& ini) {
  if (ini.status != config::IniTextStatus::kRead) return;
  bool first = true;
  config::ExplainIni(ini.text, [&first](std::size_t line, const std::string& note) {
    if (first) LogLine("Lines that do not do what they seem:");
    first = false;
    if (line == 0) {
      LogLine("  %s", note.c_str());
    } else {
      LogLine("  line %u: %s", static_cast<unsigned>(line), note.c_str());
    }
  });
}

// The file the settings were just read from, then the settings and the notes on its lines.
void LogConfiguration() {
  const std::string path = config::ResolveIniPath("Zephrel.ini");
  const config::IniText ini = config::ReadIniText(path, true);
  switch (ini.status) {
    case config::IniTextStatus::kRead:
      LogLine("Zephrel.ini: read from %s", path.c_str());
      break;
    case config::IniTextStatus::kUnreadable:
      LogLine("Zephrel.ini: not found (or not readable) at %s: every setting has its default", path.c_str());
      break;
    case config::IniTextStatus::kTooLarge:
      LogLine("Zephrel.ini: %s is larger than 1 MiB and was not read: every setting has its default", path.c_str());
      break;
  }
  LogSettings();
  LogIniNotes(ini);
}

// What a change of the setting in row `row` means beyond its new value, for the settings read at start-up too.
const char* ChangeNote(std::size_t row) {
  const bool* flag = config::kSettings[row].flag;
  const bool on = flag != nullptr && *flag;
  if (flag == &config::ReplaceTrailsInTheSky) {
    if (on) {
      return ": the three circling trails start now, but the game's own trails in the sky give way only at the "
             "next game start";
    }
    const trails::SkyRedirect redirect = trails::LastSkyRedirect();
    if (redirect == trails::SkyRedirect::kRedirected || redirect == trails::SkyRedirect::kEarlierStays) {
      return ": the game's sky routine stays redirected to the three circling trails until Zephrel is unloaded";
    }
  }
  if (flag == &config::FollowFileChanges && !on) {
    return ": the file is no longer followed, only read at the next re-initialisation or game start";
  }
  return "";
}

// Composes with `compose` and writes what it added; nothing of a failure gets out.
template <class Compose>
void Write(bool rewrite, Compose compose) noexcept {
  try {
    compose();
  } catch (...) {
    LogLine("... The rest could not be put together (out of memory).");
  }
  Flush(rewrite);
}

}  // namespace

void LogLine(const char* format, ...) noexcept {
  if (full) return;
  // Room for a line and its CR LF, with the last line kept for saying the log is full.
  const std::size_t room = kLogLimit - kFullLineLength - length;
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(text + length, room, format, arguments);
  va_end(arguments);
  if (written < 0) return;
  if (static_cast<std::size_t>(written) + 2 > room) {
    std::memcpy(text + length, kFullLine, kFullLineLength);
    length += kFullLineLength;
    full = true;
    return;
  }
  length += static_cast<std::size_t>(written);
  std::memcpy(text + length, "\r\n", 2);
  length += 2;
}

void WriteStartupLog() noexcept {
  length = flushed = 0;
  full = false;
  reinitCount = 0;
  Write(true, [] {
    const std::int32_t build = host::GetHostVersion();
    LogLine("Zephrel %s in %s", ZEPHREL_VERSION, config::PluginDirectory());
    LogLine("Game build: %ld (%s)", static_cast<long>(build),
            host::IsServedHostVersion(build) ? "served" : "not served: Zephrel stays inert");
    LogLine("%s", "");
    LogLine("Call sites, as the plug-in found them when it loaded:");
    for (const host::CallSiteInfo& site : host::kCallSites) LogSite(site);
    LogLine("%s", "");
    LogLine("Start-up");
    LogSkyRoutine();
    LogBannerTexture();
    LogConfiguration();
  });
}

void AppendReinitLog() noexcept {
  Write(false, [] {
    LogLine("%s", "");
    LogLine("Re-initialisation %d", ++reinitCount);
    LogConfiguration();
  });
}

void AppendFollowLog(const char* path, std::uint32_t gameTimeMs, bool tooLarge, const SettingTexts& before) noexcept {
  Write(false, [&] {
    LogLine("%s", "");
    LogLine("Zephrel.ini saved, read again at game time %lu.%03u s%s", static_cast<unsigned long>(gameTimeMs / 1000),
            static_cast<unsigned>(gameTimeMs % 1000),
            tooLarge ? ": it is larger than 1 MiB, so every setting has its default" : "");
    bool changed = false;
    for (std::size_t row = 0; row < config::kSettingCount; ++row) {
      const std::string now = config::SettingValueText(config::kSettings[row]);
      if (now == before[row]) continue;
      if (!changed) LogLine("Settings changed:");
      changed = true;
      LogLine("  %-24s %s -> %s%s", config::kSettings[row].key, before[row].c_str(), now.c_str(), ChangeNote(row));
    }
    if (!changed) LogLine("Settings changed: none");
    LogIniNotes(config::ReadIniText(path, true));
  });
}

}  // namespace plugin
