#pragma once
// Where the plug-in's own module file lies, and the files beside it: Zephrel.ini, MODELS\BANNER.TXD, Zephrel.log.
// The directory is worked out once per process; when the module cannot be identified the player sees one error
// box and the host executable's directory serves instead.

#include <cstddef>

namespace config {

// The longest path the plug-in joins, in characters; each area below holds one with its terminating zero. A
// module's own path is taken only with one character fewer, as a Windows MAX_PATH buffer of this many bytes holds
// it with its zero: a longer one comes back cut, naming a parent folder.
inline constexpr std::size_t kPluginPathLength = 260;
inline constexpr std::size_t kPluginPathAreaSize = kPluginPathLength + 1;

// Three consecutive areas: the module's directory (ending with its separator), the module's file name, and
// the last joined path.
struct PluginPathAreas {
  char directory[kPluginPathAreaSize];
  char fileName[kPluginPathAreaSize];
  char joined[kPluginPathAreaSize];
};

// The plug-in module's directory, ending with its separator. The first call finds it (callers racing on
// that call wait for it), showing the error box if it must; it never changes afterwards.
const char* PluginDirectory();

// The directory followed by `name`, in an area that the next call overwrites. Empty when the two do not fit
// the area together, or when there is no name.
const char* PluginFilePath(const char* name);

// Shows the box "FILESYSTEM / Failed to retrieve plugin dir path" titled "Zephrel" and returns once the
// player has closed it.
void ShowFilesystemError();

// What a caller does on learning that its module's own path cannot be had: the plug-in shows the error box, a
// console program says so in its own words.
using ModulePathFailure = void (*)();

// Fills `areas` for the module that holds this code: the plug-in's DLL, or a program that links this layer. A
// failed lookup, or a module path that cannot be had whole (longer than kPluginPathLength - 1 characters, or with
// no spelling the host can open), calls `onFailure` and goes on with the host executable's directory; when that
// path cannot be had either, the directory is empty.
void FindModuleDirectory(PluginPathAreas& areas, ModulePathFailure onFailure);

// Its work given the outcome of looking up the module; `module` is the OS layer's handle of the module found.
void ResolvePluginDirectory(bool moduleFound, void* module, PluginPathAreas& areas, ModulePathFailure onFailure);

// Cuts the module path held in areas.directory after its rightmost '\' or '/', moving what follows into
// areas.fileName. Without a separator the path stays whole and the file name empty.
void SplitModulePath(PluginPathAreas& areas);

// Writes areas.directory followed by `name` into areas.joined and returns it (empty when it does not fit).
const char* JoinPluginPath(PluginPathAreas& areas, const char* name);

}  // namespace config
