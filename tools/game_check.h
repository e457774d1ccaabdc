#pragma once
// Which build of the game an executable file is, found the way the plug-in finds it in memory: the probe words
// of host/addresses.h, first match wins, each read from the file at the offset its section table maps the
// address to.

#include <string>

namespace tools {

// Exit statuses of the checker's --game.
inline constexpr int kGameServed = 0;
inline constexpr int kGameUnreadable = 2;  // not readable, or not a whole 32-bit Windows program
inline constexpr int kGameInert = 3;       // a build the plug-in does not serve, or none it knows

struct GameVerdict {
  int status;
  std::string text;  // one paragraph for the player, without a final line end
};

GameVerdict CheckGame(const std::string& path);

}  // namespace tools
