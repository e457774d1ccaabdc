#include "zephrel_log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "banners/banner_texture.h"
#include "config/ini_explain.h"
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
constexpr char kCutLine[] = "... The rest of this section does not fit in the log's 64 KiB.\r\n";
constexpr std::size_t kCutLineLength = sizeof kCutLine - 1;
// Sections begin with an empty line and a heading, and tell more than that: at least 64 bytes each.
constexpr std::size_t kMaxSections = kLogLimit / 64;

// The text since the last start-up, of which `flushed` bytes are in the file already, unless `rewrite` asks for
// the whole of it. Fixed, so that neither the limit nor a low-memory moment can fail the log.
char text[kLogLimit];
std::size_t length = 0;
std::size_t flushed = 0;
bool rewrite = false;
std::size_t startupEnd = 0;  // the start-up section, always kept, ends here
std::size_t leftOut = 0;     // sections after it left out since
// Where each section after the start-up begins, oldest first; the last is the one being composed.
std::uint32_t sectionStarts[kMaxSections];
std::size_t sections = 0;
bool cut = false;  // the section being composed did not fit: the rest of it is not written
int reinitCount = 0;

// A note as the log last told it, for the notes a followed save adds or drops.
struct ToldNote {
  std::size_t line;
  std::string text;
};
std::vector<ToldNote> toldNotes;

// The line that stands for the sections left out, just after the start-up section.
std::size_t LeftOutLine(std::size_t count, char* line, std::size_t size) {
  const int written =
      std::snprintf(line, size, "\r\n... %lu earlier sections are left out here, to keep the log within 64 KiB.\r\n",
                    static_cast<unsigned long>(count));
  return written > 0 ? static_cast<std::size_t>(written) : 0;
}

// Leaves out the oldest sections but the one being composed until `needed` more bytes fit, and a quarter of the
// log more, so that the file is written whole only now and then. False when they still do not fit.
bool MakeRoom(std::size_t needed) {
  char line[128];
  const auto freeAfter = [&](std::size_t drop) {
    const std::size_t after =
        startupEnd + LeftOutLine(leftOut + drop, line, sizeof line) + length - sectionStarts[drop] + kCutLineLength;
    return after <= kLogLimit ? kLogLimit - after : 0;
  };
  std::size_t drop = 0;
  while (drop + 1 < sections && freeAfter(drop) < needed + kLogLimit / 4) ++drop;
  if (drop == 0) return false;
  const std::size_t lineLength = LeftOutLine(leftOut + drop, line, sizeof line);
  const std::size_t from = sectionStarts[drop];
  const std::size_t to = startupEnd + lineLength;
  std::memmove(text + to, text + from, length - from);
  std::memcpy(text + startupEnd, line, lineLength);
  length = length - from + to;
  leftOut += drop;
  sections -= drop;
  for (std::size_t i = 0; i < sections; ++i) {
    sectionStarts[i] = static_cast<std::uint32_t>(sectionStarts[i + drop] - from + to);
  }
  rewrite = true;
  return length + needed + kCutLineLength <= kLogLimit;
}

void BeginSection() {
  // More sections than their least size lets the log hold cannot be; still, the array is not overrun.
  if (sections == kMaxSections) MakeRoom(kLogLimit);
  if (sections == kMaxSections) return;
  sectionStarts[sections++] = static_cast<std::uint32_t>(length);
  cut = false;
  LogLine("%s", "");
}

void Flush(bool whole) {
  char path[config::kPluginPathAreaSize];
  std::strcpy(path, config::PluginFilePath("Zephrel.log"));
  whole = whole || rewrite;
  const std::size_t from = whole ? 0 : flushed;
  flushed = length;
  // A folder too long for the name, a read-only folder, a file held open elsewhere: there is no log.
  if (path[0] == '\0') return;
  std::FILE* file = std::fopen(path, whole ? "wb" : "ab");
  if (file == nullptr) return;
  rewrite = false;
  std::fwrite(text + from, 1, length - from, file);
  std::fclose(file);
}

constexpr const char* kNoProtection = "the page's protection could not be changed";

// Where the call that Zephrel found at the site went, in the game build's addresses.
std::uint32_t SavedTarget(const host::CallSiteInfo& site, const hook::SiteReport& report) {
  std::int32_t displacement = 0;
  std::memcpy(&displacement, report.bytes + 1, sizeof displacement);
  return site.address + 5 + static_cast<std::uint32_t>(displacement);
}

// What unloading left at a site it could not give back.
void LogSiteLeft(const host::CallSiteInfo& site, const hook::SiteReport& report) {
  if (report.left == hook::SiteLeft::kCallIntoLibrary) {
    LogLine("  0x%06X %-20s still calls into Zephrel, which had no jump of its own to leave: the game crashes there",
            site.address, site.name);
  } else if (report.left != hook::SiteLeft::kNothing) {
    LogLine("  0x%06X %-20s %s: Zephrel's jump at 0x%08X stays until the game ends, on to 0x%06X", site.address,
            site.name,
            report.left == hook::SiteLeft::kTrampolineForTool
                ? "another tool's call stands here"
                : "its page's protection could not be changed to give it back",
            report.trampoline, SavedTarget(site, report));
  }
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
    case hook::SiteOutcome::kHooked:
      LogLine("  0x%06X %-20s hooked: its call to 0x%06X now runs inside Zephrel's", site.address, site.name,
              SavedTarget(site, *report));
      return;
    case hook::SiteOutcome::kHookedDirect:
      LogLine(
          "  0x%06X %-20s hooked: its call to 0x%06X now runs inside Zephrel's, with no jump of Zephrel's own: "
          "unload a tool that takes it over later before Zephrel",
          site.address, site.name, SavedTarget(site, *report));
      return;
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
        "within %u characters; no banner is drawn",
        static_cast<unsigned>(config::kPluginPathLength));
  } else if (banners::BannerTexture != nullptr) {
    LogLine("Banner texture: loaded from %s", path);
  } else {
    LogLine(
        "Banner texture: not loaded from %s: the file is missing or holds no texture named Banner; no banner "
        "is drawn (ZephrelCheck.exe lists the textures the file holds)",
        path);
  }
}

void LogSettings() {
  LogLine("Settings in effect:");
  for (std::size_t row = 0; row < config::kKeyCount; ++row) {
    LogLine("  %-24s %s", config::kKeys[row].name, config::ValueText(config::InEffect, row).c_str());
  }
}

// A rule of `read` as the log tells it, "none" past those there are; a banner rule's with what became of its texture.
std::string LoggedRuleText(const config::Configuration& read, config::RuleRef rule) {
  if (rule.index >= config::RuleCountOf(read, rule.kind)) return "none";
  std::string text = config::RuleText(read, rule);
  if (rule.kind == config::RuleKind::kTrail) return text;
  switch (banners::RuleTextureOf(read.bannerRules.BannerTexture[rule.index])) {
    case banners::RuleTexture::kRead:
      break;
    case banners::RuleTexture::kMissing:
      text +=
          ": not read from MODELS\\BANNER.TXD (the file is missing or holds no texture of this name), so this "
          "rule tows nothing; ZephrelCheck.exe lists the textures the file holds";
      break;
    case banners::RuleTexture::kNotReadYet:
      text +=
          ": first named after the game started, so read only at the next game start; until then this rule "
          "tows nothing";
      break;
  }
  return text;
}

// How many rule sections were past the limit, as the log tells it after `indent`.
void LogRulesNotRead(const char* indent) {
  if (config::InEffect.ruleSectionsNotRead == 0) return;
  LogLine("%sRule sections not read, past %d trail or %d banner rules: %d", indent, config::kMaxTrailRules,
          config::kMaxBannerRules, config::InEffect.ruleSectionsNotRead);
}

void LogRules() {
  LogLine("Rules in effect (the first of each kind is [MAIN]'s):");
  for (const config::RuleKind kind : {config::RuleKind::kTrail, config::RuleKind::kBanner}) {
    for (int k = 0; k < config::RuleCountOf(config::InEffect, kind); ++k) {
      LogLine("  %s rule %d: %s", config::InfoOf(kind).section, k + 1,
              LoggedRuleText(config::InEffect, {kind, k}).c_str());
    }
  }
  LogRulesNotRead("  ");
}

// The checker's notes on the file `ini` read, when it was read.
std::vector<ToldNote> NotesOn(const IniRead& ini) {
  std::vector<ToldNote> notes;
  if (ini.file.status != config::IniTextStatus::kRead) return notes;
  config::ExplainIni(ini.file.text, config::InEffect, [&notes](std::size_t line, const std::string& note) {
    notes.push_back({line, note});
  });
  return notes;
}

void LogNote(const ToldNote& note) {
  if (note.line == 0) {
    LogLine("  %s", note.text.c_str());
  } else {
    LogLine("  line %u: %s", static_cast<unsigned>(note.line), note.text.c_str());
  }
}

// The lines of the file that do not do what they seem, in the checker's words.
void LogIniNotes(const IniRead& ini) {
  std::vector<ToldNote> notes = NotesOn(ini);
  if (!notes.empty()) LogLine("Lines that do not do what they seem:");
  for (const ToldNote& note : notes) LogNote(note);
  toldNotes = std::move(notes);
}

// Those notes that are new since the log last told them, and those gone. A note is the same wherever its line has
// moved to, so that a line added above the others does not repeat them all.
void LogIniNoteChanges(const IniRead& ini) {
  std::vector<ToldNote> notes = NotesOn(ini);
  std::vector<bool> kept(toldNotes.size(), false);
  bool any = false;
  for (const ToldNote& note : notes) {
    bool found = false;
    for (std::size_t i = 0; i < toldNotes.size() && !found; ++i) {
      found = !kept[i] && toldNotes[i].text == note.text;
      if (found) kept[i] = true;
    }
    if (found) continue;
    if (!any) LogLine("Lines that do not do what they seem, new since the last section:");
    any = true;
    LogNote(note);
  }
  any = false;
  for (std::size_t i = 0; i < toldNotes.size(); ++i) {
    if (kept[i]) continue;
    if (!any) LogLine("Gone since the last section (the lines as they were numbered then):");
    any = true;
    LogNote(toldNotes[i]);
  }
  toldNotes = std::move(notes);
}

// The file the settings were just read from, then the settings and the notes on its lines.
void LogConfiguration(const IniRead& ini) {
  switch (ini.file.status) {
    case config::IniTextStatus::kRead:
      LogLine("Zephrel.ini: read from %s", ini.path);
      break;
    case config::IniTextStatus::kUnreadable:
      LogLine("Zephrel.ini: not found (or not readable) at %s: every setting has its default", ini.path);
      break;
    case config::IniTextStatus::kTooLarge:
      LogLine("Zephrel.ini: %s is larger than %u MiB and was not read: every setting has its default", ini.path,
              config::kIniFileSizeLimitMiB);
      break;
  }
  LogSettings();
  LogRules();
  LogIniNotes(ini);
}

// What a change of the key of row `row` means beyond its new value, for the keys read at start-up too.
const char* ChangeNote(std::size_t row) {
  const config::Configuration& now = config::InEffect;
  if (row == config::RowOf("ReplaceTrailsInTheSky")) {
    if (now.ReplaceTrailsInTheSky) {
      return ": the three circling trails start now, but the game's own trails in the sky give way only at the "
             "next game start";
    }
    const trails::SkyRedirect redirect = trails::LastSkyRedirect();
    if (redirect == trails::SkyRedirect::kRedirected || redirect == trails::SkyRedirect::kEarlierStays) {
      return ": the game's sky routine stays redirected to the three circling trails until Zephrel is unloaded";
    }
  }
  if (row == config::RowOf("FollowFileChanges") && !now.FollowFileChanges) {
    return ": the file is no longer followed, only read at the next re-initialisation or game start";
  }
  if (row == config::RowOf("BannerTexture") &&
      banners::RuleTextureOf(now.bannerRules.BannerTexture[0]) == banners::RuleTexture::kNotReadYet) {
    return ": a texture first named after the game started is read only at the next game start; until then "
           "[MAIN]'s banner rule tows nothing";
  }
  return "";
}

// Composes with `compose` and writes what it added (`whole`: all of the log); nothing of a failure gets out.
template <class Compose>
void Write(bool whole, Compose compose) noexcept {
  try {
    compose();
  } catch (...) {
    LogLine("... The rest could not be put together (out of memory).");
  }
  Flush(whole);
}

// Where to cut `line` to at most `size` bytes without splitting a UTF-8 character.
std::size_t CutAt(const char* line, std::size_t size) {
  while (size > 0 && (static_cast<unsigned char>(line[size]) & 0xC0) == 0x80) --size;
  return size;
}

}  // namespace

void LogLine(const char* format, ...) noexcept {
  if (cut) return;
  char line[kLogLineLimit + 1];
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (written < 0) return;
  std::size_t size = static_cast<std::size_t>(written);
  if (size > kLogLineLimit) {
    size = CutAt(line, kLogLineLimit - 3);
    std::memcpy(line + size, "...", 3);
    size += 3;
  }
  // Room for the line and its CR LF, with the last line kept for saying that a section was cut.
  if (length + size + 2 + kCutLineLength > kLogLimit && !MakeRoom(size + 2)) {
    std::memcpy(text + length, kCutLine, kCutLineLength);
    length += kCutLineLength;
    cut = true;
    return;
  }
  std::memcpy(text + length, line, size);
  std::memcpy(text + length + size, "\r\n", 2);
  length += size + 2;
}

void WriteStartupLog(const IniRead& ini) noexcept {
  length = flushed = startupEnd = 0;
  leftOut = sections = 0;
  cut = rewrite = false;
  reinitCount = 0;
  Write(true, [&ini] {
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
    LogConfiguration(ini);
  });
  startupEnd = length;
}

void AppendReinitLog(const IniRead& ini) noexcept {
  Write(false, [&ini] {
    BeginSection();
    LogLine("Re-initialisation %d", ++reinitCount);
    LogConfiguration(ini);
  });
}

void AppendUnloadLog() noexcept {
  // Only what this load's start-up began, and only when unloading left something behind.
  if (length == 0) return;
  bool any = false;
  for (const host::CallSiteInfo& site : host::kCallSites) {
    const hook::SiteReport* report = hook::FindSiteReport(site.address);
    any = any || (report != nullptr && report->left != hook::SiteLeft::kNothing);
  }
  if (!any) return;
  // Nothing here can fail: no Write() around it.
  BeginSection();
  LogLine("Unloaded, leaving:");
  for (const host::CallSiteInfo& site : host::kCallSites) {
    if (const hook::SiteReport* report = hook::FindSiteReport(site.address)) LogSiteLeft(site, *report);
  }
  Flush(false);
}

void AppendFollowLog(const IniRead& ini, std::uint32_t gameTimeMs, const config::Configuration& before) noexcept {
  Write(false, [&] {
    BeginSection();
    char tooLarge[80] = "";
    if (ini.file.status == config::IniTextStatus::kTooLarge) {
      std::snprintf(tooLarge, sizeof tooLarge, ": it is larger than %u MiB, so every setting has its default",
                    config::kIniFileSizeLimitMiB);
    }
    LogLine("Zephrel.ini saved, read again at game time %lu.%03u s%s", static_cast<unsigned long>(gameTimeMs / 1000),
            static_cast<unsigned>(gameTimeMs % 1000), tooLarge);
    // [MAIN]'s keys, which are [MAIN]'s rules too, then the rule sections'.
    const config::Configuration& now = config::InEffect;
    const char* heading = "Settings changed:";
    for (std::size_t row = 0; row < config::kKeyCount; ++row) {
      const std::string was = config::ValueText(before, row);
      const std::string is = config::ValueText(now, row);
      if (is == was) continue;
      if (heading != nullptr) LogLine("%s", heading);
      heading = nullptr;
      LogLine("  %-24s %s -> %s%s", config::kKeys[row].name, was.c_str(), is.c_str(), ChangeNote(row));
    }
    if (heading != nullptr) LogLine("Settings changed: none");
    heading = "Rule sections changed:";
    for (const config::RuleKind kind : {config::RuleKind::kTrail, config::RuleKind::kBanner}) {
      for (int k = 1; k < config::InfoOf(kind).maxRules; ++k) {
        const std::string was = LoggedRuleText(before, {kind, k});
        const std::string is = LoggedRuleText(now, {kind, k});
        if (is == was) continue;
        if (heading != nullptr) LogLine("%s", heading);
        heading = nullptr;
        LogLine("  %s rule %u: %s -> %s", config::InfoOf(kind).section, static_cast<unsigned>(k + 1), was.c_str(),
                is.c_str());
      }
    }
    LogRulesNotRead("");
    LogIniNoteChanges(ini);
  });
}

}  // namespace plugin
