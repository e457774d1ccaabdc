#pragma once
// What the plug-in made of a Zephrel.ini, line by line, in a player's words: for every line that does not do what it
// seems to, one note. The checker prints the notes, and the plug-in's log and the page give the same ones. They are
// told from the value the reader made (settings.h), never from a reading of their own.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace config {

// Notes on lines given at most: a file of thousands of surprising lines (a log saved under the wrong name, say) gets
// these, then one note on the file as a whole that counts the rest, so that what a player is shown stays short.
inline constexpr std::size_t kLineNoteLimit = 50;
static_assert(kKeptUnusedLines >= kLineNoteLimit, "the reader keeps every unused line a note may tell");

// One note: the line it is about (0 for the file as a whole) and what to say.
using IniNoteSink = std::function<void(std::size_t line, const std::string& text)>;

// Explains `bytes`, the file as it lies on disk (not as a text-mode read gives it, so that a Ctrl-Z is seen), from
// `read`, the value LoadSettingsFrom made of IniTextOf(bytes). Gives `note` the notes in the order of the lines,
// those on the file as a whole last: at most kLineNoteLimit on lines, and the one on a Ctrl-Z. Throws only when
// memory runs out.
void ExplainIni(std::string_view bytes, const Configuration& read, const IniNoteSink& note);

// A rule in effect in a player's words, as the checker and the log show it, a texture name quoted as a note quotes
// text.
std::string RuleText(const Configuration& read, RuleRef rule);

// Where a value came from, as the checker and the page tell it: the line that gives it, and the line whose value
// does not convert, so that the default holds (each 0 for none).
struct ValueLines {
  std::uint32_t line;
  std::uint32_t failedLine;
};
ValueLines LinesOf(const Source& source);

// What the checker says of a file `name` over the size limit, which it does not explain line by line.
std::string TooLargeNote(std::string_view name);

}  // namespace config
