// What the page's script is told, by name: the contract of the table of keys, and the report of a file. The script
// spells no key, limit or count of its own, so whatever it needs must be here, with the reader's values and lines.

#include "page_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings.h"

using namespace config;

namespace {

bool Holds(const std::string& json, const std::string& part) { return json.find(part) != std::string::npos; }

// Each key comes with what its control needs: its type, default, limits, label, and where it is read.
TEST(PageContract, NamesEveryKeyWithItsTypeDefaultLimitsAndLabel) {
  const std::string contract = page::ContractJson();
  const char* const keys[] = {
      R"({"name":"ReplaceTrailsInTheSky","type":"flag","default":"false","setting":true,"kinds":[],)"
      R"("lowest":0,"highest":1,"step":1,"label":"sky trails"})",
      R"({"name":"Height","type":"number","default":"100","setting":true,"kinds":["trail"],)"
      R"("lowest":0,"highest":1000,"step":1,"label":"Height"})",
      R"({"name":"ModelIDForBanner","type":"modelId","default":"593","setting":true,"kinds":[],)"
      R"("lowest":0,"highest":65535,"step":1,"label":"model"})",
      R"({"name":"TrailColour","type":"colour","default":"255,255,255","setting":false,"kinds":["trail"],)"
      R"("lowest":0,"highest":255,"step":1,"label":"Colour"})",
      R"({"name":"BannerTexture","type":"texture","default":"Banner","setting":false,"kinds":["banner"],)"
      R"("lowest":1,"highest":31,"step":1,"label":"Texture"})",
      R"({"name":"SkyTrailColour","type":"colour","default":"255,255,255","setting":false,"kinds":[],)",
  };
  for (const char* key : keys) EXPECT_TRUE(Holds(contract, key)) << key << "\nin " << contract;
  EXPECT_TRUE(Holds(contract, R"({"file":"Zephrel.ini","section":"MAIN","sizeLimit":1048576,"keys":[)"));
  EXPECT_TRUE(Holds(contract,
                    R"({"name":"trail","section":"Trail","modelKey":"ModelIDForTrail","enableKey":"EnableTrail",)"
                    R"("maxRules":8,"keys":["EnableTrail","Height","TrailFadeTime","TrailColour","TrailWidth"]})"));
  EXPECT_TRUE(Holds(contract, R"("maxRules":8,"keys":["EnableBanner","AppearOnlyAtAltitude",)"));
  // One object a key, in the table's order.
  std::size_t at = 0;
  for (const Key& key : kKeys) {
    at = contract.find(std::string(R"({"name":")") + key.name + "\"", at);
    ASSERT_NE(at, std::string::npos) << key.name;
  }
}

std::string Report(std::string_view text, const std::vector<page::Note>& notes = {}, bool withLines = true) {
  LoadSettingsFrom(text);
  return page::ReportJson(InEffect, notes, withLines);
}

// A rule comes with its values and the lines of its keys by name, and the span of each of its sections.
TEST(PageReport, TellsEachRuleWithItsValuesKeyLinesAndSpans) {
  const std::string report =
      Report("[MAIN]\nHeight=5\n[Trail 600]\nTrailColour=1,2,3\n[MAIN]\nx=1\n[Trail 600]\nTrailWidth=2.5\n");
  EXPECT_TRUE(Holds(report, R"("Height":{"value":"5","line":2,"failedLine":0})")) << report;
  EXPECT_TRUE(Holds(report, R"("mainHeader":1,"rules":[)"));
  EXPECT_TRUE(Holds(report,
                    R"({"kind":"trail","index":1,"model":"600","values":{"EnableTrail":"true","Height":"5",)"
                    R"("TrailFadeTime":"10000","TrailColour":"1,2,3","TrailWidth":"2.5"},"keyLines":{"EnableTrail":0,)"
                    R"("Height":0,"TrailFadeTime":0,"TrailColour":4,"TrailWidth":8},"spans":[[3,4],[7,0]]})"))
      << report;
  EXPECT_TRUE(Holds(report, R"({"kind":"banner","index":0,"model":"593",)")) << report;
  EXPECT_TRUE(Holds(report, R"(],"notRead":0,"notes":[]})")) << report;
}

// Whatever bytes a name or a note holds, the report stays JSON: quotes, backslashes and control characters escaped,
// every other byte as it is. A texture's name is given as it is, not as a note quotes it.
TEST(PageReport, EscapesWhatJsonMustAndNothingElse) {
  const std::string report =
      Report("[MAIN]\nBannerTexture=a\"\\\tb\xC3\xA9\nModelIDForTrail=x\n", {{3, "a \"quoted\" note"}, {0, "\x01"}});
  EXPECT_TRUE(Holds(report, "\"BannerTexture\":{\"value\":\"a\\\"\\\\\\u0009b\xC3\xA9\",")) << report;
  EXPECT_TRUE(Holds(report, R"("ModelIDForTrail":{"value":"577","line":0,"failedLine":3})")) << report;
  EXPECT_TRUE(Holds(report, R"("notes":[{"line":3,"text":"a \"quoted\" note"},{"line":0,"text":"\u0001"}]})"))
      << report;
}

// After a read that failed, the values put back are told without lines, so that a control adds its key rather than
// overwrite a line that may have moved; a rule with more sections than were kept has none told, so that none is
// written half.
TEST(PageReport, GivesNoLinesItCannotStandBy) {
  const std::string without = Report("[MAIN]\nHeight=5\n[Trail 600]\nHeight=7\n", {}, false);
  EXPECT_TRUE(Holds(without, R"("Height":{"value":"5","line":0,"failedLine":0})")) << without;
  EXPECT_TRUE(Holds(without, R"("keyLines":{"EnableTrail":0,"Height":0,)")) << without;
  EXPECT_TRUE(Holds(without, R"("spans":[]})")) << without;
  EXPECT_TRUE(Holds(without, R"("mainHeader":0,)")) << without;

  std::string many;
  for (std::size_t k = 0; k <= kKeptSpans; ++k) many += "[Banner 7]\n";
  const std::string report = Report(many);
  EXPECT_TRUE(Holds(report, R"({"kind":"banner","index":1,"model":"7",)")) << report;
  EXPECT_TRUE(Holds(report, R"("spans":[]})")) << report;
  LoadSettingsFrom("");
}

}  // namespace
