#include "page_report.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "json.h"

namespace page {

namespace {

using config::kKeys;

const char* TypeName(config::KeyType type) {
  switch (type) {
    case config::KeyType::kFlag:
      return "flag";
    case config::KeyType::kNumber:
      return "number";
    case config::KeyType::kModelId:
      return "modelId";
    case config::KeyType::kColour:
      return "colour";
    case config::KeyType::kTexture:
      break;
  }
  return "texture";
}

constexpr config::RuleKind kKinds[] = {config::RuleKind::kTrail, config::RuleKind::kBanner};

void Rule(Json& json, const config::Configuration& read, config::RuleKind kind, int index, bool withLines) {
  const config::RuleKindInfo& info = config::InfoOf(kind);
  const config::Values rule = config::RuleValues(config::RulesOf(read, kind), index);
  const config::RuleOrigin& origin = config::OriginsOf(read, kind)[index];
  json.Begin('{').Name("kind").String(info.name).Name("index").Number(index);
  json.Name("model").String(std::to_string(config::ModelOf(rule, kind)));
  json.Name("values").Begin('{');
  for (std::size_t row = 0; row < config::kKeyCount; ++row) {
    if (config::ReadsKey(kind, row)) json.Name(kKeys[row].name).String(PageValueText(rule, row));
  }
  json.End('}').Name("keyLines").Begin('{');
  for (std::size_t row = 0; row < config::kKeyCount; ++row) {
    if (config::ReadsKey(kind, row)) json.Name(kKeys[row].name).Number(withLines ? origin.keys[row].line : 0);
  }
  // Every section of the rule, or none when more than were kept: then its sections cannot all be written.
  json.End('}').Name("spans").Begin('[');
  if (withLines && origin.spanCount <= config::kKeptSpans) {
    for (std::uint32_t k = 0; k < origin.spanCount; ++k) {
      json.Begin('[').Number(origin.spans[k].header).Number(origin.spans[k].last).End(']');
    }
  }
  json.End(']').End('}');
}

}  // namespace

std::string PageValueText(const config::Values& values, std::size_t row) {
  if (kKeys[row].type == config::KeyType::kTexture) {
    return std::string(config::TextureName(values.*kKeys[row].texture.value));
  }
  return config::ValueText(values, row);
}

std::string ContractJson() {
  const config::Values defaults = config::DefaultValues();
  Json json;
  json.Begin('{').Name("file").String(config::kSettingsFile).Name("section").String(config::kSettingsSection);
  json.Name("sizeLimit").Number(static_cast<double>(config::kIniFileSizeLimit));
  json.Name("keys").Begin('[');
  for (std::size_t row = 0; row < config::kKeyCount; ++row) {
    const config::Key& key = kKeys[row];
    json.Begin('{').Name("name").String(key.name).Name("type").String(TypeName(key.type));
    json.Name("default").String(PageValueText(defaults, row));
    json.Name("setting").Bool((key.readIn & config::kSetting) != 0);
    json.Name("kinds").Begin('[');
    for (const config::RuleKind kind : kKinds) {
      if (config::ReadsKey(kind, row)) json.String(config::InfoOf(kind).name);
    }
    json.End(']').Name("lowest").Number(key.lowest).Name("highest").Number(key.highest).Name("step").Number(key.step);
    json.Name("label").String(key.label).End('}');
  }
  json.End(']').Name("kinds").Begin('[');
  for (const config::RuleKind kind : kKinds) {
    const config::RuleKindInfo& info = config::InfoOf(kind);
    json.Begin('{').Name("name").String(info.name).Name("section").String(info.section);
    json.Name("modelKey").String(kKeys[info.modelKey].name).Name("enableKey").String(kKeys[info.enableKey].name);
    json.Name("maxRules").Number(info.maxRules);
    json.Name("keys").Begin('[');
    for (std::size_t row = 0; row < config::kKeyCount; ++row) {
      if (config::ReadsKey(kind, row)) json.String(kKeys[row].name);
    }
    json.End(']').End('}');
  }
  json.End(']').End('}');
  return std::move(json).Text();
}

std::string ReportJson(const config::Configuration& read, const std::vector<Note>& notes, bool withLines) {
  Json json;
  json.Begin('{').Name("keys").Begin('{');
  for (std::size_t row = 0; row < config::kKeyCount; ++row) {
    const config::ValueLines lines = withLines ? config::LinesOf(read.mainKeys[row]) : config::ValueLines{};
    json.Name(kKeys[row].name).Begin('{').Name("value").String(PageValueText(read, row));
    json.Name("line").Number(lines.line).Name("failedLine").Number(lines.failedLine).End('}');
  }
  json.End('}').Name("mainHeader").Number(withLines ? read.mainHeader : 0);
  json.Name("rules").Begin('[');
  for (const config::RuleKind kind : kKinds) {
    for (int k = 0; k < config::RuleCountOf(read, kind); ++k) Rule(json, read, kind, k, withLines);
  }
  json.End(']').Name("notRead").Number(read.ruleSectionsNotRead);
  json.Name("notes").Begin('[');
  for (const Note& note : notes) {
    json.Begin('{').Name("line").Number(static_cast<double>(note.line)).Name("text").String(note.text).End('}');
  }
  json.End(']').End('}');
  return std::move(json).Text();
}

}  // namespace page
