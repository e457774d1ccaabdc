// What the page's script is told, by name: the contract of the table of keys, and the report of a file. The script
// spells no key, limit or count of its own, so whatever it needs must be here, with the reader's values and lines.

#include "page_report.h"

#include "page_dictionary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "txd/dictionary_bytes.h"
#include "txd/texture_dictionary.h"

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

// An opened BANNER.TXD as the page lists it, in the checker's words, with each rule's texture looked up there: the
// script is given every word and every decision, and a damaged file its problems at their bytes.
TEST(PageDictionary, ListsTexturesAndProblemsAndLooksUpEachRule) {
  using txd_test::TextureFields;
  std::vector<std::uint8_t> file = txd_test::Dictionary(
      {{.name = "Sale", .levels = {std::vector<std::uint8_t>(64)}},
       {.name = "Odd", .rasterFormat = 0x4500, .bits = 4, .levels = {std::vector<std::uint8_t>(8)}},
       {.name = "Cut", .levels = {std::vector<std::uint8_t>(64)}}});
  file.erase(file.end() - 30, file.end());
  const txd::Dictionary dictionary = txd::ReadDictionary(file);
  const std::string json = page::DictionaryJson(dictionary);
  EXPECT_TRUE(Holds(json, R"({"textures":[{"name":"Sale","shownName":"Sale","summary":"4x4, 8888, 1 mip level, )"
                          R"(no alpha","shown":true},{"name":"Odd",)"))
      << json;
  EXPECT_TRUE(Holds(json, R"x(not shown: its pixel format (4-bit palette) cannot be shown","shown":false}],)x"))
      << json;
  EXPECT_TRUE(Holds(json, R"("problems":["byte 4: the file is cut short)")) << json;
  EXPECT_TRUE(Holds(json, R"(],"stopped":true})")) << json;

  LoadSettingsFrom("[MAIN]\nBannerTexture=Sale\n[Banner 7]\nBannerTexture=sale\n[Banner 8]\nBannerTexture=Cloth\n");
  const std::string lookups = page::LookupsJson(InEffect, dictionary);
  EXPECT_EQ(lookups, R"([{"index":0,"found":true,"nearest":"","text":"in the dictionary"},)"
                     R"x({"index":1,"found":false,"nearest":"Sale","text":"not in the dictionary (it holds `Sale`)"},)x"
                     R"({"index":2,"found":false,"nearest":"","text":"not in the dictionary"}])");
  LoadSettingsFrom("");
}

// Save as the page does it: pictures handed over one by one (a name given again takes the place of its picture), the
// dictionary written, read back by the reader pixel for pixel, and a resize told in the texture's note.
TEST(PageDictionary, SavedDictionaryReadsBackAsGiven) {
  std::vector<std::uint8_t> small(8 * 4 * 4), wide(300 * 100 * 4, 200);
  for (std::size_t i = 0; i < small.size(); ++i) small[i] = static_cast<std::uint8_t>(i * 7);
  page::DictionarySave save;
  save.Add("Sale", 8, 4, std::vector<std::uint8_t>(small.size()));
  save.Add("Wide", 300, 100, wide);
  save.Add("Sale", 8, 4, small);
  const std::string json = save.Write();
  EXPECT_TRUE(Holds(json, R"({"problem":"","size":)")) << json;
  EXPECT_TRUE(Holds(json, R"({"name":"Sale","width":8,"height":4,"note":""},{"name":"Wide","width":256,"height":128,)"
                          R"("note":"resized from 300 by 100 to 256 by 128 pixels)"))
      << json;
  const txd::Dictionary dictionary = txd::ReadDictionary(save.Bytes());
  ASSERT_EQ(dictionary.textures.size(), 2u);
  EXPECT_TRUE(dictionary.problems.empty());
  txd::Picture picture;
  ASSERT_TRUE(txd::DecodePicture(save.Bytes(), dictionary.textures[0], picture));
  EXPECT_EQ(dictionary.textures[0].name, "Sale");
  EXPECT_EQ(picture.rgba, small);
  EXPECT_TRUE(dictionary.textures[0].hasAlpha);

  // Nothing to write, or a name the game cannot keep: no bytes, and why.
  EXPECT_TRUE(Holds(save.Write(), R"("size":0,"textures":[]})"));
  save.Add(std::string(40, 'x'), 1, 1, std::vector<std::uint8_t>(4));
  EXPECT_TRUE(Holds(save.Write(), R"({"problem":"the name \")")) << json;
  EXPECT_TRUE(save.Bytes().empty());
}

}  // namespace
