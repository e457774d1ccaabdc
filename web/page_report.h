#pragma once
// What the page's script is told, as JSON with named fields, so that the script spells no key, limit or count of its
// own: once, the contract (the file's name and section, every key of the table with its type, default, limits and
// label, and each kind of rule with the keys it reads); then, for each text the player edits, the report of what the
// plug-in made of it (every key's value and the line it came from, the rules with their values, the lines of their keys
// and the spans of their sections, and the checker's notes). Made from the table and the reader's value alone, and
// built natively too, for the fuzz target that holds the report to the value.

#include <cstddef>
#include <string>
#include <vector>

#include "config/settings.h"

namespace page {

std::string ContractJson();

struct Note {
  std::size_t line;  // 0: the file as a whole
  std::string text;
};

// `withLines` false: the value was put back after a read that failed, so its lines are not those of the text the
// player sees, and none is told (a control then adds its key rather than overwrite a line that may have moved).
std::string ReportJson(const config::Configuration& read, const std::vector<Note>& notes, bool withLines);

// A value as the page shows it and writes it into the file: ValueText's, but a texture's name as it is.
std::string PageValueText(const config::Values& values, std::size_t row);

}  // namespace page
