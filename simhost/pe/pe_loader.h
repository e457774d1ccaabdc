// Loads a 32-bit Windows DLL into the simulated host: maps it, relocates it when its preferred range is
// taken, answers its imports with the Win32 stand-ins (win32.h), runs its TLS callbacks and DllMain, and
// undoes all of it on unload. Linux i386 only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

static_assert(sizeof(void*) == 4, "DLL code runs in this process: build for Linux i386 (-m32)");

namespace simhost::pe {

// A file that is not a loadable 32-bit DLL, or one that cannot be placed. Nothing stays mapped.
class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ImportRef {
  std::string dll;
  std::string function;  // empty for an import by ordinal
  uint16_t ordinal = 0;
  uint32_t slot_rva = 0;  // where the address goes (import address table entry)

  std::string display() const;  // "KERNEL32.dll!Sleep" or "FOO.dll!#7"
};

// A symbol of the COFF symbol table that a linker may leave in the file (mingw's does unless stripped):
// functions and data by name, where the image puts them.
struct Symbol {
  std::string name;
  uint32_t rva = 0;
};

struct SectionInfo {
  std::string name;
  uint32_t rva = 0;
  uint32_t size = 0;  // in memory
  uint32_t characteristics = 0;
};

// The checked headers and directories of an image file; nothing is mapped. Every RVA and size in the
// file has been bounds-checked by the time parse() returns.
class PeImage {
 public:
  static PeImage parse(std::vector<uint8_t> file);  // throws LoadError
  static PeImage read(const std::filesystem::path& file);

  uint32_t preferred_base() const { return preferred_base_; }
  uint32_t size_of_image() const { return size_of_image_; }
  uint32_t entry_rva() const { return entry_rva_; }
  const std::vector<SectionInfo>& sections() const { return sections_; }
  const std::vector<ImportRef>& imports() const { return imports_; }
  bool has_relocations() const { return has_relocations_; }

  struct Export {
    std::string name;  // empty when exported by ordinal only
    uint16_t ordinal = 0;
    uint32_t rva = 0;
  };
  const std::vector<Export>& exports() const { return exports_; }

  // Empty when the file has no symbol table or a damaged one: Windows ignores it, and so does loading.
  const std::vector<Symbol>& symbols() const { return symbols_; }
  // The 32-bit word at rva as the image holds it before relocation; throws LoadError outside the image.
  uint32_t word_at(uint32_t rva) const;

 private:
  friend class Module;
  PeImage() = default;

  std::vector<uint8_t> file_;
  uint32_t preferred_base_ = 0;
  uint32_t size_of_image_ = 0;
  uint32_t size_of_headers_ = 0;
  uint32_t entry_rva_ = 0;
  bool has_relocations_ = false;
  struct RawSection {
    uint32_t file_offset, file_size;
  };
  std::vector<SectionInfo> sections_;
  std::vector<RawSection> raw_;
  std::vector<ImportRef> imports_;
  std::vector<uint32_t> relocations_;  // RVAs of 32-bit absolute addresses
  std::vector<Export> exports_;
  std::vector<Symbol> symbols_;
  struct Tls {
    bool present = false;
    uint32_t data_rva = 0, data_size = 0, zero_fill = 0;
    uint32_t index_rva = 0;
    std::vector<uint32_t> callback_rvas;
  } tls_;
};

struct LoadOptions {
  // The module's file name as the host sees it (C:\Games\Host\<folder><name>); defaults to the file's own.
  std::string name;
  // The folder below C:\Games\Host\ that holds it, ending with '\' ("scripts\"); empty: that folder. (The
  // initialiser lets designated initialisers leave it out without a warning.)
  std::string folder = {};
};

// A DLL mapped into this process, attached, and registered so GetModuleHandleExA and friends find it.
class Module {
 public:
  static std::unique_ptr<Module> load(const std::filesystem::path& file, LoadOptions options = {});
  static std::unique_ptr<Module> load(PeImage image, LoadOptions options);
  ~Module();  // unloads if still loaded
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // DLL_PROCESS_DETACH (TLS callbacks, then DllMain, which runs the DLL's exit-time destruction), then
  // unmap. Idempotent.
  void unload();
  bool loaded() const { return base_ != 0; }

  uint32_t base() const { return base_; }
  uint32_t size() const { return image_.size_of_image(); }
  bool relocated() const { return base_ != image_.preferred_base(); }
  bool contains(uint32_t address) const { return address - base_ < size(); }
  const std::string& name() const { return name_; }
  std::string windows_path() const;
  const PeImage& image() const { return image_; }

  void* find_export(std::string_view function) const;  // nullptr if absent
  void* find_export(uint16_t ordinal) const;
  // Imports that were answered with a trap because nothing provides them.
  const std::vector<ImportRef>& trapped_imports() const { return trapped_; }

 private:
  Module(PeImage image, LoadOptions options);
  void map();
  void relocate();
  void bind_imports();
  void protect_sections();
  void set_up_tls();
  void run_tls_callbacks(uint32_t reason);
  void call_entry(uint32_t reason);
  void release_mapping();

  PeImage image_;
  std::string name_;
  std::string folder_;
  uint32_t base_ = 0;
  void* stubs_ = nullptr;  // trap stubs for unprovided imports (code, then their names)
  uint32_t stubs_size_ = 0;
  std::vector<ImportRef> trapped_;
  int tls_index_ = -1;
  void* tls_block_ = nullptr;
  bool attached_ = false;
};

// The modules loaded now (not owned), for the Win32 stand-ins.
const Module* module_containing(uint32_t address);
const Module* module_at_base(uint32_t base);
const Module* module_named(std::string_view name);  // case-insensitive, ".dll" optional

}  // namespace simhost::pe
