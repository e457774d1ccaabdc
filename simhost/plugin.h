#pragma once
// The plug-in as the game gets it: a file in the game's folder, loaded into the process and unloaded again,
// in either build: the Linux i386 library (dlopen/dlclose) or the Windows DLL a player installs (on Linux the
// PE loader, with C:\Games\Host\ mapped onto the game folder; under Wine LoadLibrary and FreeLibrary).

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace simhost {

enum class PluginBuild { LinuxLibrary, WindowsDll };

// The builds this process can load: both on Linux, the DLL alone on Windows.
std::vector<PluginBuild> PluginBuilds();

// "libzephrel.so" or "Zephrel.dll": the file name in the game folder.
const char* PluginFileName(PluginBuild build);
// Where the build put the file (build/linux-i386/libzephrel.so, dist/Zephrel.dll).
std::string BuiltPluginPath(PluginBuild build);

// A game folder: a fresh temporary directory, removed with everything in it when this goes. Paths are UTF-8.
class GameFolder {
 public:
  GameFolder();
  ~GameFolder();
  GameFolder(const GameFolder&) = delete;
  GameFolder& operator=(const GameFolder&) = delete;

  const std::string& path() const { return path_; }
  // The folder as the plug-in of `build` names it in its module path, ending with its separator.
  std::string SeenBy(PluginBuild build) const;
  // Writes a file (relative path with '/', directories made as needed), or removes one.
  void Write(const std::string& relative, const std::string& content) const;
  void Remove(const std::string& relative) const;

 private:
  std::string path_;
};

// The plug-in copied into a game folder and loaded: its static initialisation has run (and patched).
class Plugin {
 public:
  // Installs the plug-in in `subfolder` of the game folder (a relative path with '/'; empty: the game folder
  // itself), as plug-in loaders that keep plug-ins in a folder of their own do, and loads it. Null, with the
  // reason printed, when the file cannot be installed or loaded. `built`, when given, is the file installed under
  // the plug-in's name instead of BuiltPluginPath(build): a variant of the plug-in built for the benchmark.
  static std::unique_ptr<Plugin> Load(PluginBuild build, const GameFolder& folder, const std::string& subfolder = {},
                                      const std::string& built = {});
  virtual ~Plugin() = default;  // unloads if still loaded

  // Runs the plug-in's exit-time destruction and takes it out of the process; true when it is really gone.
  virtual bool Unload() = 0;
  // Where its code lies in the process.
  virtual bool Contains(std::uint32_t address) const = 0;
  // The addresses [first, second) its image spans, for counting the instructions run in it; {0, 0} where the
  // simulated host cannot tell (under Wine).
  virtual std::pair<std::uint32_t, std::uint32_t> Extent() const { return {0, 0}; }
};

// Heap allocations made so far (malloc, calloc, realloc; C++ new goes through malloc, in either build): on
// Linux those of the whole process, on Windows those of the loaded DLL. Take the difference around what is
// measured, with recording off (SetRecording(false)).
long HeapAllocations();

// Queries of a file's stamp made so far (stat64 on Linux, where they are the whole process's; GetFileAttributesExW
// by the DLL, in either process). Take the difference around what is measured.
long FileQueries();

// Files opened for reading so far (fopen with a mode that begins with 'r', opened or not): on Linux the whole
// process's, under Wine the DLL's. Take the difference around what is measured.
long FileReads();

// From now on another program holds the game folder's file `relative` open without sharing it, as some editors do
// while they save: the Windows DLL cannot open it, though it can still ask for its time and size. Until
// ReleaseHeldFile or ResetHost. False where this process cannot do that to the plug-in: the Linux library opens
// files with the C library's fopen, which nothing here refuses.
bool HoldFileOpen(PluginBuild build, const GameFolder& folder, const std::string& relative);
void ReleaseHeldFile();

}  // namespace simhost
