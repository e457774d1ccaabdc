// zephrel-check: shows a player what the plug-in will make of a Zephrel.ini, with the plug-in's own parser and
// loader and the notes of config/ini_explain.h, and which build of the game an executable is. See Help below.

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
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
#include "txd/texture_dictionary.h"
#include "txd/texture_lookup.h"

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
constexpr int kTextureMissing = 4;

// Where the plug-in looks for its dictionary, from the folder it and Zephrel.ini lie in.
const std::string kDictionaryPath = std::string("MODELS") + kSeparator + "BANNER.TXD";
// A larger file is not read: the game's own dictionaries of this kind hold a few textures of at most 2048 by 2048.
constexpr std::uint32_t kDictionaryLimitMiB = 64;

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
      "Usage: %s [path of Zephrel.ini] [--txd <path of BANNER.TXD>]\n"
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
      "     Windows program; with --txd: the dictionary cannot be read; or the\n"
      "     arguments are wrong\n"
      "  3  with --game: a build Zephrel does not serve, or none it knows\n"
      "  4  a banner rule's texture is not in the dictionary, or there is none\n"
      "     beside a file that has a [Banner N] rule or names a texture other than\n"
      "     %s: that rule tows nothing\n"
      "When several apply, 2 wins over 1, and 1 over 4.\n",
      kProgram, kProgram, kProgram, static_cast<unsigned>(kSettingCount),
      Wrapped("Besides [MAIN], it reads up to " + std::to_string(kMaxTrailRules) + " trail and " +
              std::to_string(kMaxBannerRules) +
              " banner rules ([MAIN]'s included): sections [Trail N] and [Banner N], N a model id (593, 0x251), whose "
              "keys override [MAIN]'s. " +
              RuleKeysText())
          .c_str(),
      Wrapped("It then reads the texture dictionary " + kDictionaryPath +
              " beside the file, or the one given with --txd, lists its textures and its damage by the byte, and "
              "says for each banner rule whether the dictionary holds its texture, naming a texture whose name "
              "differs only in letter case or by a character or two. A dictionary of " +
              std::to_string(kDictionaryLimitMiB) + " MiB or more is not read.")
          .c_str(),
      kIniFileSizeLimitMiB, kKeys[KeyRow("BannerTexture")].defaultText);
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

// Where a rule comes from: "[MAIN]" or the line of its header.
std::string RuleFrom(const Configuration& read, RuleRef rule) {
  return rule.index == 0 ? std::string("[MAIN]")
                         : "line " + std::to_string(OriginsOf(read, rule.kind)[rule.index].header);
}

// [MAIN]'s keys of the rules like the settings, then the rules in effect, each with the header that made it. Apart
// from the settings, after an empty line: the page's tests read the settings of the samples' expected output.
void PrintRules(const Configuration& read) {
  std::printf("\nTrails and banners:\n");
  for (std::size_t row = kSettingCount; row < kKeyCount; ++row) PrintKey(read, row);
  for (const RuleKind kind : {RuleKind::kTrail, RuleKind::kBanner}) {
    for (int k = 0; k < RuleCountOf(read, kind); ++k) {
      std::printf("  %s rule %d (%s): %s\n", InfoOf(kind).section, k + 1, RuleFrom(read, {kind, k}).c_str(),
                  RuleText(read, {kind, k}).c_str());
    }
  }
  if (read.ruleSectionsNotRead != 0) {
    std::printf("  Rule sections not read, past %d of a kind: %d\n", kMaxTrailRules, read.ruleSectionsNotRead);
  }
}

// The dictionary beside the Zephrel.ini at `iniPath`, where the plug-in beside that file looks for it. Windows takes
// either separator in a path.
std::string DictionaryBeside(const std::string& iniPath) {
#if defined(_WIN32)
  const std::size_t cut = iniPath.find_last_of("\\/");
#else
  const std::size_t cut = iniPath.rfind('/');
#endif
  return (cut == std::string::npos ? std::string() : iniPath.substr(0, cut + 1)) + kDictionaryPath;
}

// The whole of the file at `path`, if it can be read and is under the limit.
bool ReadDictionaryFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  if (KindOf(path) == PathKind::kFolder) return false;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  constexpr std::size_t kLimit = std::size_t{kDictionaryLimitMiB} << 20;
  std::uint8_t chunk[65536];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() < kLimit) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  const bool whole = std::ferror(file) == 0 && bytes.size() < kLimit;
  std::fclose(file);
  return whole;
}

// The banner rules' textures against the dictionary at `given`, or beside the Zephrel.ini at `iniPath` when none is
// given. The exit status it gives, or 0.
int CheckTextures(const std::string& iniPath, const std::string& given, const Configuration& read) {
  const std::string path = given.empty() ? DictionaryBeside(iniPath) : given;
  std::vector<std::uint8_t> bytes;
  const bool readable = ReadDictionaryFile(path, bytes);
  txd::Dictionary dictionary;
  if (readable) {
    dictionary = txd::ReadDictionary(bytes);
    std::printf("\nBanner textures, read from %s:\n", path.c_str());
    for (const txd::Texture& texture : dictionary.textures) {
      std::printf("  %-24s %s\n", txd::ShownName(texture.name).c_str(), txd::TextureSummary(texture).c_str());
    }
    if (dictionary.textures.empty()) std::printf("  It holds no texture.\n");
    for (const txd::Problem& problem : dictionary.problems) {
      std::printf("  Damaged: %s\n", txd::Describe(problem).c_str());
    }
    if (dictionary.stopped) std::printf("  Reading stopped there: what follows is not listed.\n");
  } else {
    const PathKind kind = KindOf(path);
    std::printf("\nBanner textures: %s %s%s.\n", path.c_str(),
                kind == PathKind::kMissing ? "is not there"
                : kind == PathKind::kFolder
                    ? "is a folder, not a file"
                    : ("cannot be read or is " + std::to_string(kDictionaryLimitMiB) + " MiB or more").c_str(),
                given.empty() ? ", so no banner is drawn" : "");
    if (!given.empty()) return 2;
    // A file as shipped may be meant for trails alone, or kept away from the game: only one that sets up banners of
    // its own (a rule section, or a texture other than the default) needs the dictionary.
    const Key& texture = kKeys[KeyRow("BannerTexture")];
    const bool needed = RuleCountOf(read, RuleKind::kBanner) > 1 ||
                        TextureName(read.bannerRules.BannerTexture[0]) != std::string_view(texture.defaultText);
    if (!needed) return 0;
  }
  int missing = 0;
  for (int k = 0; k < RuleCountOf(read, RuleKind::kBanner); ++k) {
    const bool tows = IsEnabled(read.bannerRules, RuleKind::kBanner, k) && read.bannerOrigins[k].servedBy == k;
    if (!readable) {
      missing += tows ? 1 : 0;
      continue;
    }
    const txd::TextureLookup lookup = txd::LookUpTexture(dictionary, TextureName(read.bannerRules.BannerTexture[k]));
    std::printf("  Banner rule %d (%s): texture %s: %s\n", k + 1, RuleFrom(read, {RuleKind::kBanner, k}).c_str(),
                ValueText(RuleValues(read.bannerRules, k), KeyRow("BannerTexture")).c_str(),
                txd::LookupText(lookup).c_str());
    if (!lookup.found && tows) ++missing;
  }
  if (missing == 0) return 0;
  std::printf("\nBanner rules whose texture is missing: %d (they tow nothing).\n", missing);
  return kTextureMissing;
}

// `beside`: the path is the Zephrel.ini beside the checker, not one the player gave. `dictionary`: the one given
// with --txd, or empty.
int Check(const std::string& path, bool beside, const std::string& dictionary) {
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
  const int textures = CheckTextures(path, dictionary, read);
  if (read.failures != 0) {
    std::printf("\nValues that do not convert: %s (the plug-in uses their defaults).\n",
                std::to_string(read.failures).c_str());
  }
  if (textures == 2) return 2;
  return read.failures != 0 ? 1 : textures;
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
  std::string ini, dictionary;
  bool iniGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--txd") {
      if (i + 1 == argc || !dictionary.empty() || argv[i + 1][0] == '\0') {
        return UsageError("--txd takes one path, that of a BANNER.TXD");
      }
      dictionary = argv[++i];
    } else if (argument.starts_with("--")) {
      // A path that looks like an option is a mistyped one far more often than a file of that name.
      return UsageError(("unknown option " + std::string(argument)).c_str());
    } else if (iniGiven) {
      return UsageError("one path at most");
    } else {
      ini = argument;
      iniGiven = true;
    }
  }
  if (iniGiven) return Check(ini, false, dictionary);
  const std::string beside = BesideTheChecker();
  if (beside.empty()) {
    std::printf("The checker's folder path leaves no room for %s within %u characters.\n", kSettingsFile,
                static_cast<unsigned>(kPluginPathLength));
    return 2;
  }
  return Check(beside, true, dictionary);
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
