// zephrel-check: shows a player what the plug-in will make of a Zephrel.ini, with the plug-in's own parser and
// loader and the notes of config/ini_explain.h, and which build of the game an executable is. See Help below.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/plugin_paths.h"
#include "config/settings.h"
#include "game_check.h"

using namespace config;

namespace {

#if defined(_WIN32)
constexpr const char* kProgram = "ZephrelCheck.exe";
constexpr char kSeparator = '\\';
#else
constexpr const char* kProgram = "zephrel-check";
constexpr char kSeparator = '/';
#endif

constexpr int kUsageError = 2;

// The width of the help's lines.
constexpr std::size_t kHelpWidth = 76;

// `text` broken into lines of at most kHelpWidth characters at its spaces.
std::string Wrapped(std::string_view text) {
  std::string wrapped;
  std::size_t lineStart = 0;
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
    const bool first = wrapped.size() == lineStart;
    if (!first && wrapped.size() - lineStart + 1 + word.size() > kHelpWidth) {
      wrapped += '\n';
      lineStart = wrapped.size();
    } else if (!first) {
      wrapped += ' ';
    }
    wrapped.append(word);
  }
  return wrapped;
}

// What the rule sections read, in the table's words: "A trail rule reads EnableTrail, ... and TrailWidth; a banner
// rule reads ...".
std::string RuleKeysText() {
  std::string text;
  for (const RuleKindInfo& kind : kRuleKinds) {
    text.append(text.empty() ? "A " : "; a ").append(kind.name).append(" rule reads");
    std::size_t count = 0;
    for (const Key& key : kKeys) count += (key.readIn & kind.readIn) != 0 ? 1 : 0;
    std::size_t listed = 0;
    for (const Key& key : kKeys) {
      if ((key.readIn & kind.readIn) == 0) continue;
      ++listed;
      text.append(listed == 1 ? " " : listed == count ? " and " : ", ").append(key.name);
      if (key.type == KeyType::kColour) text.append(" (R,G,B)");
    }
  }
  return text + ".";
}

void Help() {
  std::printf(
      "Usage: %s [path of Zephrel.ini]\n"
      "       %s --game <path of the game's .exe>\n"
      "       %s --help | --version\n"
      "\n"
      "Explains a Zephrel.ini the way the plug-in reads it: the %u settings as it\n"
      "will use them, with the line each comes from, then the trail and banner\n"
      "rules, and every line that does not do what it seems to. Without a path it\n"
      "reads the Zephrel.ini beside the checker.\n"
      "\n"
      "%s\n"
      "\n"
      "--game reads the game's executable file and says which build of the game it\n"
      "is and whether Zephrel serves it (builds 1001 and 1002); in any other build\n"
      "the plug-in stays inert.\n"
      "\n"
      "Exit status:\n"
      "  0  every value converts; with --game: a build Zephrel serves\n"
      "  1  a model id, colour or texture name does not read (the plug-in uses its\n"
      "     default)\n"
      "  2  the file cannot be read or is larger than %u MiB (the plug-in uses every\n"
      "     default); with --game: it cannot be read or is not a whole 32-bit\n"
      "     Windows program; or the arguments are wrong\n"
      "  3  with --game: a build Zephrel does not serve, or none it knows\n",
      kProgram, kProgram, kProgram, static_cast<unsigned>(kSettingCount),
      Wrapped("Besides [MAIN], it reads up to " + std::to_string(kMaxTrailRules) + " trail and " +
              std::to_string(kMaxBannerRules) +
              " banner rules ([MAIN]'s included): sections [Trail N] and [Banner N], N a model id (593, 0x251), whose "
              "keys override [MAIN]'s. " +
              RuleKeysText())
          .c_str(),
      kIniFileSizeLimitMiB);
}

int UsageError(const char* problem) {
  std::fprintf(stderr, "%s: %s (%s --help says how to use it)\n", kProgram, problem, kProgram);
  return kUsageError;
}

enum class PathKind { kMissing, kFolder, kOther };

PathKind KindOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return errno == ENOENT ? PathKind::kMissing : PathKind::kOther;
  return S_ISDIR(status.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

// The key of row `row` as the file made it, with the line it comes from.
void PrintKey(const Configuration& read, std::size_t row) {
  const ValueLines lines = LinesOf(read.mainKeys[row]);
  std::string source = "default";
  if (lines.failedLine != 0) {
    source = std::string("default: line ").append(std::to_string(lines.failedLine)).append(" does not convert");
  } else if (lines.line != 0) {
    source = std::string("line ").append(std::to_string(lines.line));
  }
  std::printf("  %-24s %-8s (%s)\n", kKeys[row].name, ValueText(read, row).c_str(), source.c_str());
}

// [MAIN]'s keys of the rules like the settings, then the rules in effect, each with the header that made it. Apart
// from the settings, after an empty line: the page's tests read the settings of the samples' expected output.
void PrintRules(const Configuration& read) {
  std::printf("\nTrails and banners:\n");
  for (std::size_t row = kSettingCount; row < kKeyCount; ++row) PrintKey(read, row);
  for (const RuleKind kind : {RuleKind::kTrail, RuleKind::kBanner}) {
    for (int k = 0; k < RuleCountOf(read, kind); ++k) {
      const std::string from =
          k == 0 ? std::string("[MAIN]") : "line " + std::to_string(OriginsOf(read, kind)[k].header);
      std::printf("  %s rule %d (%s): %s\n", InfoOf(kind).section, k + 1, from.c_str(),
                  RuleText(read, {kind, k}).c_str());
    }
  }
  if (read.ruleSectionsNotRead != 0) {
    std::printf("  Rule sections not read, past %d of a kind: %d\n", kMaxTrailRules, read.ruleSectionsNotRead);
  }
}

// `beside`: the path is the Zephrel.ini beside the checker, not one the player gave.
int Check(const std::string& path, bool beside) {
  const IniText file = ReadIniText(path, true);
  if (file.status == IniTextStatus::kUnreadable) {
    const PathKind kind = KindOf(path);
    if (beside && kind == PathKind::kMissing) {
      std::printf(
          "There is no Zephrel.ini beside the checker (%s).\n"
          "Give the path of the one to check: %s \"path of Zephrel.ini\"\n",
          path.c_str(), kProgram);
    } else if (kind == PathKind::kFolder) {
      const std::string inside = path.ends_with(kSeparator) ? path : path + kSeparator;
      std::printf("%s is a folder, not a file: give the path of the Zephrel.ini in it (%s%s).\n", path.c_str(),
                  inside.c_str(), kSettingsFile);
    } else {
      std::printf("Cannot read %s: the plug-in would use every default.\n", path.c_str());
    }
    return 2;
  }
  if (file.status == IniTextStatus::kTooLarge) {
    std::printf("%s\n", TooLargeNote(path).c_str());
    return 2;
  }

  // Not on the stack: the value is large.
  static Configuration read;
  LoadSettingsFrom(IniTextOf(file), read);
  std::vector<std::string> notes;
  ExplainIni(file.text, read, [&notes](std::size_t line, const std::string& text) {
    notes.push_back(line == 0 ? text : std::string("line ").append(std::to_string(line)).append(": ").append(text));
  });

  std::printf("Reading %s\n\nThe plug-in will use:\n", path.c_str());
  for (std::size_t row = 0; row < kSettingCount; ++row) PrintKey(read, row);
  PrintRules(read);

  if (notes.empty()) {
    std::printf("\nNothing surprising: every line reads as it looks.\n");
  } else {
    std::printf("\nWorth a look:\n");
    for (const std::string& note : notes) std::printf("  %s\n", note.c_str());
  }
  if (read.failures != 0) {
    std::printf("\nValues that do not convert: %s (the plug-in uses their defaults).\n",
                std::to_string(read.failures).c_str());
    return 1;
  }
  return 0;
}

// The Zephrel.ini beside the checker, found as the plug-in finds the one beside it, but told on the console
// rather than in a box when the checker's own folder cannot be had. Empty when that folder leaves no room for the
// name.
std::string BesideTheChecker() {
  PluginPathAreas areas{};
  FindModuleDirectory(areas, [] {
    std::fprintf(stderr, "%s: cannot tell which folder the checker is in; give the path of the %s to check\n", kProgram,
                 kSettingsFile);
  });
  return JoinPluginPath(areas, kSettingsFile);
}

int Run(int argc, char** argv) {
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (first == "--help" || first == "-h" || first == "/?") {
    Help();
    return 0;
  }
  if (first == "--version") {
    std::printf("%s (Zephrel) %s\n", kProgram, ZEPHREL_VERSION);
    return 0;
  }
  if (first == "--game") {
    if (argc != 3) return UsageError("--game takes one path, that of the game's .exe");
    const tools::GameVerdict verdict = tools::CheckGame(argv[2]);
    std::printf("%s\n", verdict.text.c_str());
    return verdict.status;
  }
  // A path that looks like an option is a mistyped one far more often than a file of that name.
  if (first.starts_with("--")) return UsageError(("unknown option " + std::string(first)).c_str());
  if (argc > 2) return UsageError("one path at most");
  if (argc == 2) return Check(argv[1], false);
  const std::string beside = BesideTheChecker();
  if (beside.empty()) {
    std::printf("The checker's folder path leaves no room for %s within %u characters.\n", kSettingsFile,
                static_cast<unsigned>(kPluginPathLength));
    return 2;
  }
  return Check(beside, true);
}

}  // namespace

int main(int argc, char** argv) {
  // Whatever fails, the player gets a reason and status 2, never an abort.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::printf("\nThe checker ran out of memory: the file is too large to explain.\n");
  } catch (const std::exception& error) {
    std::printf("\nThe checker failed: %s\n", error.what());
  }
  return 2;
}
