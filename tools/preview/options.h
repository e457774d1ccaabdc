#pragma once
// The preview's command line.

#include <optional>
#include <span>
#include <string>

#include "camera.h"
#include "plugin.h"

namespace preview {

struct Options {
  simhost::PluginBuild build = simhost::PluginBuild::WindowsDll;  // by default the DLL a player installs
  std::optional<std::string> ini;                                 // none: the plug-in's own defaults
  float seconds = 40.0f;
  std::optional<int> pool;        // the vehicle pool's entries; none: the scenario's aircraft alone
  std::optional<int> hour;        // none: noon, or 2 at night when the sky trails are on, so that their lights show
  std::optional<Vector3> camera;  // none: placed so that everything is in view
  std::optional<Vector3> lookAt;  // none: the middle of the scene
  int width = 1280;
  int height = 720;
  std::string output = "preview.png";
  std::optional<std::string> animation;  // the GIF of the flight to write, if any
  bool help = false;
};

struct ParsedOptions {
  Options options;
  std::string error;  // empty when the command line is good
};

// The arguments after the program name; "--name value" and "--name=value" both work.
ParsedOptions ParseOptions(std::span<const std::string> arguments);

// The help text.
std::string Usage();

}  // namespace preview
