#pragma once
// Where the plug-in's own module file lies, and files named relative to it. The directory is worked out once
// per process; when the module cannot be identified the player sees one error box and the host executable's
// directory serves instead.

#include <cstddef>

namespace config {

// 260 characters and a terminating zero.
inline constexpr std::size_t kPluginPathAreaSize = 261;

// Three consecutive areas: the module's directory (ending with its separator), the module's file name, and
// the last joined path.
struct PluginPathAreas {
  char directory[kPluginPathAreaSize];
  char fileName[kPluginPathAreaSize];
  char joined[kPluginPathAreaSize];
};

// The plug-in module's directory, ending with its separator. The first call finds it (callers racing on
// that call wait for it); it never changes afterwards.
const char* PluginDirectory();

// The directory followed by `name`, in an area that the next call overwrites. Empty when the two do not fit
// the area together, or when there is no name.
const char* PluginFilePath(const char* name);

// Shows the box "FILESYSTEM / Failed to retrieve plugin dir path" titled "Zephrel" and returns once the
// player has closed it.
void ShowFilesystemError();

// The first-call work of PluginDirectory, given the outcome of looking up the module. A failed lookup, or a
// module path that cannot be had whole (longer than 259 characters, or with no spelling the host can open),
// shows the error box and goes on with the host executable's directory; when that path cannot be had
// either, the directory is empty. `module` is the OS layer's handle of the module found.
void ResolvePluginDirectory(bool moduleFound, void* module, PluginPathAreas& areas);

// Cuts the module path held in areas.directory after its rightmost '\' or '/', moving what follows into
// areas.fileName. Without a separator the path stays whole and the file name empty.
void SplitModulePath(PluginPathAreas& areas);

// Writes areas.directory followed by `name` into areas.joined and returns it (empty when it does not fit).
const char* JoinPluginPath(PluginPathAreas& areas, const char* name);

}  // namespace config
