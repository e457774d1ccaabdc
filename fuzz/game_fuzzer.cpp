// libFuzzer target of the reader as the game runs it: built for i386, as the plug-in is, with the x87 unit at the
// 24-bit precision the game's Direct3D device leaves it in, through everything a file's numbers reach: the
// value the reader makes (LoadSettingsFrom), its text in the log and the checker (FloatText), the checker's
// explanations, SameDecimal among them, and the page's report. It checks that none of it depends on that precision:
// each conversion gives the float the default precision gives, each float's text reads back as that float, and the
// explanations and the report are the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/ini_parser.h"
#include "config/settings.h"
#include "page_report.h"

using namespace config;

namespace {

constexpr std::uint16_t kGameControlWord = 0x007F;  // 24-bit precision, exceptions masked, round to nearest
std::uint16_t defaultControlWord = 0;

std::uint16_t ControlWord() {
  std::uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

void LoadControlWord(std::uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// The keys, the rules and the notes a file gives, and the page's report of them, read at the precision in force.
struct Reading {
  std::vector<std::string> texts;
  std::vector<std::string> notes;
  std::string report;
};

// Made anew for each reading, in one place: the value is large.
Configuration made;

Reading Read(std::string_view text) {
  Reading reading;
  LoadSettingsFrom(IniTextOf(text), made);
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    reading.texts.push_back(ValueText(made, row));
    if (kKeys[row].type != KeyType::kNumber) continue;
    const float number = made.*kKeys[row].number.value;
    if (number - number != 0.0f) continue;
    const std::string shown = FloatText(number);
    Require(ConvertFloat(shown) == number && SameDecimal(shown, shown));
  }
  for (const RuleKind kind : {RuleKind::kTrail, RuleKind::kBanner}) {
    for (int k = 0; k < RuleCountOf(made, kind); ++k) reading.texts.push_back(RuleText(made, {kind, k}));
  }
  std::vector<page::Note> notes;
  ExplainIni(text, made, [&](std::size_t line, const std::string& note) {
    reading.notes.push_back(std::to_string(line) + ": " + note);
    notes.push_back({line, note});
  });
  reading.report = page::ReportJson(made, notes, true);
  return reading;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  defaultControlWord = ControlWord();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.size() > kIniFileSizeLimit) return 0;

  LoadControlWord(kGameControlWord);
  const Reading game = Read(text);
  const float number = ConvertFloat(text);
  Require(ControlWord() == kGameControlWord);
  LoadControlWord(defaultControlWord);

  const Reading usual = Read(text);
  Require(game.texts == usual.texts && game.notes == usual.notes && game.report == usual.report);
  const float usualNumber = ConvertFloat(text);
  Require(number == usualNumber || (number != number && usualNumber != usualNumber));
  return 0;
}
