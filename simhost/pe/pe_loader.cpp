#include "pe_loader.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

#include "memory_map.h"
#include "pe_format.h"
#include "thread_block.h"
#include "win32.h"
#include "win32_internal.h"

namespace simhost::pe {
namespace fmt = format;

namespace {

constexpr uint32_t kPage = 4096;
constexpr uint32_t kMaxImageSize = 256u << 20;
constexpr uint32_t kMaxName = 512;

[[noreturn]] void fail(const std::string& what) { throw LoadError(what); }

std::string hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

uint32_t align_up(uint32_t v, uint32_t a) { return static_cast<uint32_t>((uint64_t{v} + a - 1) / a * a); }

// Reads from a byte buffer with every offset and size checked; `what` names the field in the error.
class Bounded {
 public:
  Bounded(const std::vector<uint8_t>& bytes, const char* kind) : bytes_(bytes), kind_(kind) {}

  bool fits(uint64_t offset, uint64_t size) const { return offset + size <= bytes_.size(); }

  void need(uint64_t offset, uint64_t size, const char* what) const {
    if (!fits(offset, size))
      fail(std::string(what) + " (" + hex(static_cast<uint32_t>(offset)) + ", " + std::to_string(size) +
           " bytes) lies outside the " + kind_);
  }

  template <class T>
  T get(uint64_t offset, const char* what) const {
    need(offset, sizeof(T), what);
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof value);
    return value;
  }

  std::string string(uint64_t offset, const char* what) const {
    std::string s;
    for (;; ++offset) {
      char c = get<char>(offset, what);
      if (c == '\0') return s;
      if (s.size() == kMaxName)
        fail(std::string(what) + " is not terminated within " + std::to_string(kMaxName) + " bytes");
      s += c;
    }
  }

 private:
  const std::vector<uint8_t>& bytes_;
  const char* kind_;
};

struct Headers {
  fmt::FileHeader file;
  fmt::OptionalHeader32 opt;
  std::vector<fmt::DataDirectory> dirs;
  std::vector<fmt::SectionHeader> sections;
};

Headers read_headers(const std::vector<uint8_t>& file) {
  Bounded in(file, "file");
  Headers h;
  auto dos = in.get<fmt::DosHeader>(0, "DOS header");
  if (dos.e_magic != fmt::kDosMagic) fail("not a PE file: no MZ signature");
  uint32_t nt = dos.e_lfanew;
  if (in.get<uint32_t>(nt, "PE signature") != fmt::kNtSignature) fail("not a PE file: no PE signature");
  h.file = in.get<fmt::FileHeader>(uint64_t{nt} + 4, "file header");
  if (h.file.Machine != fmt::kMachineI386) fail("not a 32-bit x86 image (machine " + hex(h.file.Machine) + ")");
  if (!(h.file.Characteristics & fmt::kFileDll)) fail("not a DLL");
  if (h.file.SizeOfOptionalHeader < sizeof(fmt::OptionalHeader32)) fail("optional header too small");
  uint64_t opt_at = uint64_t{nt} + 4 + sizeof(fmt::FileHeader);
  in.need(opt_at, h.file.SizeOfOptionalHeader, "optional header");
  h.opt = in.get<fmt::OptionalHeader32>(opt_at, "optional header");
  if (h.opt.Magic != fmt::kOptionalMagic32) fail("not a PE32 optional header");
  uint32_t ndirs = h.opt.NumberOfRvaAndSizes;
  if (ndirs > 16 || sizeof(fmt::OptionalHeader32) + ndirs * sizeof(fmt::DataDirectory) > h.file.SizeOfOptionalHeader)
    fail("data directory count does not fit the optional header");
  for (uint32_t i = 0; i < ndirs; ++i)
    h.dirs.push_back(in.get<fmt::DataDirectory>(opt_at + sizeof(fmt::OptionalHeader32) + i * sizeof(fmt::DataDirectory),
                                                "data directory"));
  h.dirs.resize(16, fmt::DataDirectory{0, 0});

  if (h.opt.SectionAlignment == 0 || h.opt.SectionAlignment % kPage != 0)
    fail("section alignment " + hex(h.opt.SectionAlignment) + " is not a multiple of the page size");
  if (h.opt.ImageBase % kPage != 0) fail("image base " + hex(h.opt.ImageBase) + " is not page aligned");
  if (h.opt.SizeOfImage == 0 || h.opt.SizeOfImage > kMaxImageSize)
    fail("implausible image size " + hex(h.opt.SizeOfImage));
  if (uint64_t{h.opt.ImageBase} + h.opt.SizeOfImage > (uint64_t{1} << 32))
    fail("image does not fit below 4 GiB at its preferred base");
  if (h.opt.SizeOfHeaders > file.size() || h.opt.SizeOfHeaders > h.opt.SizeOfImage)
    fail("headers size " + hex(h.opt.SizeOfHeaders) + " exceeds the file or the image");

  if (h.file.NumberOfSections == 0 || h.file.NumberOfSections > 96)
    fail("implausible section count " + std::to_string(h.file.NumberOfSections));
  uint64_t table = opt_at + h.file.SizeOfOptionalHeader;
  uint32_t next_free = align_up(h.opt.SizeOfHeaders, h.opt.SectionAlignment);
  for (uint32_t i = 0; i < h.file.NumberOfSections; ++i) {
    auto s = in.get<fmt::SectionHeader>(table + i * sizeof(fmt::SectionHeader), "section table");
    std::string name(s.Name, strnlen(s.Name, sizeof s.Name));
    uint32_t vsize = s.VirtualSize ? s.VirtualSize : s.SizeOfRawData;
    if (s.VirtualAddress % h.opt.SectionAlignment != 0 || s.VirtualAddress < next_free)
      fail("section " + name + " at " + hex(s.VirtualAddress) + " is misaligned or overlaps");
    if (uint64_t{s.VirtualAddress} + vsize > h.opt.SizeOfImage)
      fail("section " + name + " reaches past the end of the image");
    if (s.SizeOfRawData != 0 && !(s.Characteristics & fmt::kScnUninitializedData))
      in.need(s.PointerToRawData, s.SizeOfRawData, ("raw data of section " + name).c_str());
    next_free = s.VirtualAddress + align_up(vsize, h.opt.SectionAlignment);
    h.sections.push_back(s);
  }
  return h;
}

// The COFF symbols that lie in a section. A table or name that does not fit the file gives no symbols at
// all: the table is only for people and tools, and must not decide whether an image loads.
std::vector<Symbol> read_symbols(const std::vector<uint8_t>& file, const Headers& h) {
  const uint64_t table = h.file.PointerToSymbolTable;
  const uint64_t count = h.file.NumberOfSymbols;
  Bounded in(file, "file");
  const uint64_t strings = table + count * sizeof(fmt::SymbolRecord);
  if (table == 0 || !in.fits(strings, 4)) return {};
  const uint32_t strings_size = in.get<uint32_t>(strings, "string table");
  if (strings_size < 4 || !in.fits(strings, strings_size)) return {};

  std::vector<Symbol> out;
  for (uint64_t i = 0; i < count; ++i) {
    auto r = in.get<fmt::SymbolRecord>(table + i * sizeof(fmt::SymbolRecord), "symbol table");
    const uint64_t aux = r.NumberOfAuxSymbols;
    if (r.SectionNumber > 0 && static_cast<size_t>(r.SectionNumber) <= h.sections.size()) {
      std::string name;
      uint32_t zeroes, offset;
      std::memcpy(&zeroes, r.ShortName, 4);
      std::memcpy(&offset, r.ShortName + 4, 4);
      if (zeroes != 0) {
        name.assign(r.ShortName, strnlen(r.ShortName, sizeof r.ShortName));
      } else {
        if (offset < 4 || offset >= strings_size) return {};
        const char* text = reinterpret_cast<const char*>(file.data() + strings + offset);
        const size_t length = strnlen(text, strings_size - offset);
        if (length == strings_size - offset) return {};  // runs off the end of the table
        name.assign(text, length);
      }
      out.push_back({std::move(name), h.sections[r.SectionNumber - 1].VirtualAddress + r.Value});
    }
    i += aux;
  }
  return out;
}

bool section_executes(const std::vector<SectionInfo>& sections, uint32_t rva) {
  return std::any_of(sections.begin(), sections.end(), [rva](const SectionInfo& s) {
    return (s.characteristics & fmt::kScnMemExecute) && rva - s.rva < s.size;
  });
}

}  // namespace

std::string ImportRef::display() const {
  return dll + "!" + (function.empty() ? "#" + std::to_string(ordinal) : function);
}

PeImage PeImage::read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) fail("cannot open " + file.string());
  return parse(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

PeImage PeImage::parse(std::vector<uint8_t> file) {
  Headers h = read_headers(file);
  PeImage img;
  img.preferred_base_ = h.opt.ImageBase;
  img.size_of_image_ = h.opt.SizeOfImage;
  img.size_of_headers_ = h.opt.SizeOfHeaders;

  // The image as it will lie in memory; every directory below is read from this, bounds-checked.
  std::vector<uint8_t> flat(img.size_of_image_, 0);
  std::memcpy(flat.data(), file.data(), img.size_of_headers_);
  for (const fmt::SectionHeader& s : h.sections) {
    SectionInfo info{std::string(s.Name, strnlen(s.Name, sizeof s.Name)), s.VirtualAddress,
                     s.VirtualSize ? s.VirtualSize : s.SizeOfRawData, s.Characteristics};
    if (!(s.Characteristics & fmt::kScnUninitializedData)) {
      uint32_t n = std::min(s.SizeOfRawData, info.size);
      std::memcpy(flat.data() + s.VirtualAddress, file.data() + s.PointerToRawData, n);
    }
    img.sections_.push_back(info);
  }
  Bounded mem(flat, "image");
  auto dir = [&](uint32_t index, const char* what) {
    fmt::DataDirectory d = h.dirs[index];
    if (d.VirtualAddress != 0) mem.need(d.VirtualAddress, d.Size, what);
    return d;
  };
  auto va_to_rva = [&](uint32_t va, uint32_t size, const char* what) {
    uint32_t rva = va - img.preferred_base_;
    mem.need(rva, size, what);
    return rva;
  };

  img.entry_rva_ = h.opt.AddressOfEntryPoint;
  if (img.entry_rva_ != 0 && !section_executes(img.sections_, img.entry_rva_))
    fail("entry point " + hex(img.entry_rva_) + " is not in an executable section");

  // Imports: descriptors up to an all-zero one, each with a lookup table that ends in a zero entry.
  fmt::DataDirectory imp = dir(fmt::kDirImport, "import directory");
  for (uint32_t at = imp.VirtualAddress; imp.VirtualAddress != 0; at += sizeof(fmt::ImportDescriptor)) {
    auto d = mem.get<fmt::ImportDescriptor>(at, "import descriptor");
    if (d.Name == 0 && d.FirstThunk == 0) break;
    std::string dll = mem.string(d.Name, "imported DLL name");
    uint32_t lookup = d.OriginalFirstThunk ? d.OriginalFirstThunk : d.FirstThunk;
    for (uint32_t i = 0;; ++i) {
      auto entry = mem.get<uint32_t>(uint64_t{lookup} + 4 * i, "import lookup table");
      if (entry == 0) break;
      ImportRef ref{dll, "", 0, d.FirstThunk + 4 * i};
      mem.need(ref.slot_rva, 4, "import address table");
      if (entry & fmt::kOrdinalFlag)
        ref.ordinal = static_cast<uint16_t>(entry);
      else
        ref.function = mem.string(uint64_t{entry} + 2, "imported function name");
      img.imports_.push_back(std::move(ref));
    }
  }

  fmt::DataDirectory rel = dir(fmt::kDirBaseReloc, "relocation directory");
  img.has_relocations_ = rel.VirtualAddress != 0 && !(h.file.Characteristics & fmt::kFileRelocsStripped);
  for (uint32_t at = rel.VirtualAddress, end = at + rel.Size; img.has_relocations_ && at + 8 <= end;) {
    auto block = mem.get<fmt::BaseRelocationBlock>(at, "relocation block");
    if (block.SizeOfBlock < 8 || block.SizeOfBlock > end - at)
      fail("relocation block at " + hex(at) + " has a bad size " + hex(block.SizeOfBlock));
    for (uint32_t e = 8; e + 2 <= block.SizeOfBlock; e += 2) {
      auto entry = mem.get<uint16_t>(at + e, "relocation entry");
      uint16_t type = entry >> 12;
      if (type == fmt::kRelAbsolute) continue;
      if (type != fmt::kRelHighLow) fail("unsupported relocation type " + std::to_string(type));
      uint32_t target = block.VirtualAddress + (entry & 0xFFF);
      mem.need(target, 4, "relocation target");
      img.relocations_.push_back(target);
    }
    at += block.SizeOfBlock;
  }

  fmt::DataDirectory tls = dir(fmt::kDirTls, "TLS directory");
  if (tls.VirtualAddress != 0) {
    if (tls.Size < sizeof(fmt::TlsDirectory32)) fail("TLS directory too small");
    auto t = mem.get<fmt::TlsDirectory32>(tls.VirtualAddress, "TLS directory");
    img.tls_.present = true;
    if (t.StartAddressOfRawData != 0 || t.EndAddressOfRawData != 0) {
      if (t.EndAddressOfRawData < t.StartAddressOfRawData) fail("TLS data range is reversed");
      img.tls_.data_size = t.EndAddressOfRawData - t.StartAddressOfRawData;
      img.tls_.data_rva = va_to_rva(t.StartAddressOfRawData, img.tls_.data_size, "TLS data");
    }
    if (t.SizeOfZeroFill > kMaxImageSize) fail("implausible TLS zero fill");
    img.tls_.zero_fill = t.SizeOfZeroFill;
    img.tls_.index_rva = va_to_rva(t.AddressOfIndex, 4, "TLS index");
    if (t.AddressOfCallBacks != 0) {
      uint32_t list = va_to_rva(t.AddressOfCallBacks, 4, "TLS callback list");
      for (uint32_t i = 0;; ++i) {
        auto cb = mem.get<uint32_t>(uint64_t{list} + 4 * i, "TLS callback list");
        if (cb == 0) break;
        uint32_t rva = cb - img.preferred_base_;
        if (!section_executes(img.sections_, rva)) fail("TLS callback " + hex(cb) + " is not in an executable section");
        img.tls_.callback_rvas.push_back(rva);
      }
    }
  }

  fmt::DataDirectory exp = dir(fmt::kDirExport, "export directory");
  if (exp.VirtualAddress != 0) {
    auto e = mem.get<fmt::ExportDirectory>(exp.VirtualAddress, "export directory");
    mem.need(e.AddressOfFunctions, uint64_t{e.NumberOfFunctions} * 4, "export address table");
    mem.need(e.AddressOfNames, uint64_t{e.NumberOfNames} * 4, "export name table");
    mem.need(e.AddressOfNameOrdinals, uint64_t{e.NumberOfNames} * 2, "export ordinal table");
    for (uint32_t i = 0; i < e.NumberOfFunctions; ++i) {
      uint32_t rva = mem.get<uint32_t>(e.AddressOfFunctions + 4 * i, "export address table");
      if (rva == 0) continue;
      if (rva - exp.VirtualAddress < exp.Size) continue;  // forwarded to another DLL: not followed
      if (rva >= img.size_of_image_) fail("export " + std::to_string(i) + " points outside the image");
      img.exports_.push_back({"", static_cast<uint16_t>(e.Base + i), rva});
    }
    for (uint32_t i = 0; i < e.NumberOfNames; ++i) {
      uint32_t name_rva = mem.get<uint32_t>(e.AddressOfNames + 4 * i, "export name table");
      uint16_t index = mem.get<uint16_t>(e.AddressOfNameOrdinals + 2 * i, "export ordinal table");
      if (index >= e.NumberOfFunctions) fail("export name refers to a missing function");
      auto ordinal = static_cast<uint16_t>(e.Base + index);
      for (Export& x : img.exports_)
        if (x.ordinal == ordinal) x.name = mem.string(name_rva, "export name");
    }
  }

  img.symbols_ = read_symbols(file, h);
  img.file_ = std::move(flat);
  return img;
}

uint32_t PeImage::word_at(uint32_t rva) const { return Bounded(file_, "image").get<uint32_t>(rva, "word"); }

// --- loaded modules --------------------------------------------------------------------------------

namespace {

std::mutex registry_mutex;
std::vector<const Module*> registry;

std::string_view without_dll_suffix(std::string_view name) {
  if (name.size() > 4 && detail::iequals(name.substr(name.size() - 4), ".dll")) name.remove_suffix(4);
  return name;
}

void register_module(const Module* m) {
  std::lock_guard lock(registry_mutex);
  registry.push_back(m);
}

void unregister_module(const Module* m) {
  std::lock_guard lock(registry_mutex);
  std::erase(registry, m);
}

// Where an import nobody provides ends up: the test stops with the culprit named.
[[noreturn]] SHIM_CDECL void report_unprovided_import(const char* what) {
  std::fprintf(stderr, "simhost pe: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

constexpr uint32_t kStubSize = 16;

// push imm32 (message); mov eax, imm32 (reporter); call eax; int3 padding
void write_stub(uint8_t* at, uint32_t message) {
  auto reporter = reinterpret_cast<uint32_t>(&report_unprovided_import);
  uint8_t code[kStubSize] = {0x68, 0, 0, 0, 0, 0xB8, 0, 0, 0, 0, 0xFF, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC};
  std::memcpy(code + 1, &message, 4);
  std::memcpy(code + 6, &reporter, 4);
  std::memcpy(at, code, sizeof code);
}

int prot_of(uint32_t characteristics) {
  return (characteristics & fmt::kScnMemRead ? PROT_READ : 0) | (characteristics & fmt::kScnMemWrite ? PROT_WRITE : 0) |
         (characteristics & fmt::kScnMemExecute ? PROT_EXEC : 0);
}

std::vector<bool> implicit_tls_used(kImplicitTlsSlots, false);

}  // namespace

const Module* module_containing(uint32_t address) {
  std::lock_guard lock(registry_mutex);
  for (const Module* m : registry)
    if (m->contains(address)) return m;
  return nullptr;
}

const Module* module_at_base(uint32_t base) {
  std::lock_guard lock(registry_mutex);
  for (const Module* m : registry)
    if (m->base() == base) return m;
  return nullptr;
}

const Module* module_named(std::string_view name) {
  std::lock_guard lock(registry_mutex);
  for (const Module* m : registry)
    if (detail::iequals(without_dll_suffix(m->name()), without_dll_suffix(name))) return m;
  return nullptr;
}

Module::Module(PeImage image, LoadOptions options)
    : image_(std::move(image)), name_(std::move(options.name)), folder_(std::move(options.folder)) {}

std::unique_ptr<Module> Module::load(const std::filesystem::path& file, LoadOptions options) {
  if (options.name.empty()) options.name = file.filename().string();
  return load(PeImage::read(file), std::move(options));
}

std::unique_ptr<Module> Module::load(PeImage image, LoadOptions options) {
  if (options.name.empty()) fail("a module needs a name");
  std::unique_ptr<Module> m(new Module(std::move(image), std::move(options)));
  ThreadBlock::current();  // fs must hold a TEB before any DLL code runs
  m->map();
  m->relocate();
  m->bind_imports();
  m->set_up_tls();
  m->protect_sections();
  register_module(m.get());
  m->attached_ = true;
  m->run_tls_callbacks(1);  // DLL_PROCESS_ATTACH
  ThreadBlock::current().load_fs();
  using Entry = int32_t(__attribute__((stdcall))*)(uint32_t, uint32_t, void*);
  if (m->image_.entry_rva() != 0 && !reinterpret_cast<Entry>(m->base_ + m->image_.entry_rva())(m->base_, 1, nullptr)) {
    m->unload();  // as Windows does, the refusing DLL still gets its DLL_PROCESS_DETACH
    fail(m->name_ + ": DllMain refused DLL_PROCESS_ATTACH");
  }
  return m;
}

Module::~Module() { unload(); }

std::string Module::windows_path() const { return windows_folder() + folder_ + name_; }

void Module::map() {
  uint32_t size = image_.size_of_image();
  uint32_t want = image_.preferred_base();
  // NOREPLACE is only a hint to qemu-i386 7.2, which then maps elsewhere: check where it landed.
  void* p = mmap(reinterpret_cast<void*>(want), size, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (p != MAP_FAILED && reinterpret_cast<uint32_t>(p) != want) {
    munmap(p, size);
    p = MAP_FAILED;
  }
  if (p == MAP_FAILED) {
    if (!image_.has_relocations())
      fail(name_ + ": preferred range " + hex(want) + " is taken and the DLL has no relocations");
    p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) fail(name_ + ": no room for " + hex(size) + " bytes");
  }
  base_ = reinterpret_cast<uint32_t>(p);
  std::memcpy(p, image_.file_.data(), size);
}

void Module::relocate() {
  uint32_t delta = base_ - image_.preferred_base();
  if (delta == 0) return;
  for (uint32_t rva : image_.relocations_) {
    uint32_t value;
    std::memcpy(&value, reinterpret_cast<void*>(base_ + rva), 4);
    value += delta;
    std::memcpy(reinterpret_cast<void*>(base_ + rva), &value, 4);
  }
}

void Module::bind_imports() {
  std::vector<std::pair<uint32_t, std::string>> traps;  // slot, message
  for (const ImportRef& ref : image_.imports()) {
    void* target = ref.function.empty() ? nullptr : find_shim(ref.dll, ref.function);
    if (const Module* other = target ? nullptr : module_named(ref.dll))
      target = ref.function.empty() ? other->find_export(ref.ordinal) : other->find_export(ref.function);
    if (target) {
      auto address = reinterpret_cast<uint32_t>(target);
      std::memcpy(reinterpret_cast<void*>(base_ + ref.slot_rva), &address, 4);
      continue;
    }
    trapped_.push_back(ref);
    traps.emplace_back(ref.slot_rva,
                       name_ + " called " + ref.display() + ", which the simulated host does not provide");
  }
  if (traps.empty()) return;

  uint32_t text = 0;
  for (const auto& t : traps) text += static_cast<uint32_t>(t.second.size()) + 1;
  stubs_size_ = align_up(static_cast<uint32_t>(traps.size()) * kStubSize + text, kPage);
  stubs_ = mmap(nullptr, stubs_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (stubs_ == MAP_FAILED) {
    stubs_ = nullptr;
    fail(name_ + ": no room for import stubs");
  }
  auto* code = static_cast<uint8_t*>(stubs_);
  char* messages = reinterpret_cast<char*>(code + traps.size() * kStubSize);
  for (const auto& [slot, message] : traps) {
    std::memcpy(messages, message.c_str(), message.size() + 1);
    write_stub(code, reinterpret_cast<uint32_t>(messages));
    auto address = reinterpret_cast<uint32_t>(code);
    std::memcpy(reinterpret_cast<void*>(base_ + slot), &address, 4);
    messages += message.size() + 1;
    code += kStubSize;
  }
  const detail::SystemWork own;
  mprotect(stubs_, stubs_size_, PROT_READ | PROT_EXEC);
}

void Module::set_up_tls() {
  const PeImage::Tls& tls = image_.tls_;
  if (!tls.present) return;
  auto free_slot = std::find(implicit_tls_used.begin(), implicit_tls_used.end(), false);
  if (free_slot == implicit_tls_used.end()) fail(name_ + ": no implicit TLS slot left");
  *free_slot = true;
  tls_index_ = static_cast<int>(free_slot - implicit_tls_used.begin());
  // Only the loading thread gets a block: the simulated host runs DLL code on one thread.
  tls_block_ = std::calloc(1, tls.data_size + tls.zero_fill + 1);
  if (!tls_block_) fail(name_ + ": no memory for the TLS block");
  std::memcpy(tls_block_, reinterpret_cast<void*>(base_ + tls.data_rva), tls.data_size);
  ThreadBlock::current().implicit_tls(static_cast<uint32_t>(tls_index_)) = tls_block_;
  auto index = static_cast<uint32_t>(tls_index_);
  std::memcpy(reinterpret_cast<void*>(base_ + tls.index_rva), &index, 4);
}

void Module::protect_sections() {
  const detail::SystemWork own;
  auto set = [](uint32_t begin, uint32_t size, int prot) {
    mprotect(reinterpret_cast<void*>(begin), size, prot);
    remember_protection(begin, size, prot);
  };
  set(base_, size(), PROT_READ);
  for (const SectionInfo& s : image_.sections())
    set(base_ + s.rva, align_up(s.size, kPage), prot_of(s.characteristics));
}

void Module::run_tls_callbacks(uint32_t reason) {
  using Callback = void(__attribute__((stdcall))*)(uint32_t, uint32_t, void*);
  for (uint32_t rva : image_.tls_.callback_rvas) {
    ThreadBlock::current().load_fs();
    reinterpret_cast<Callback>(base_ + rva)(base_, reason, nullptr);
  }
}

void Module::unload() {
  if (base_ == 0) return;
  if (attached_) {
    attached_ = false;
    run_tls_callbacks(0);  // DLL_PROCESS_DETACH
    ThreadBlock::current().load_fs();
    using Entry = int32_t(__attribute__((stdcall))*)(uint32_t, uint32_t, void*);
    if (image_.entry_rva() != 0) reinterpret_cast<Entry>(base_ + image_.entry_rva())(base_, 0, nullptr);
  }
  unregister_module(this);
  detail::release_tls_slots_of(base_);
  release_mapping();
}

void Module::release_mapping() {
  if (tls_index_ >= 0) {
    ThreadBlock::current().implicit_tls(static_cast<uint32_t>(tls_index_)) = nullptr;
    implicit_tls_used[static_cast<size_t>(tls_index_)] = false;
    tls_index_ = -1;
  }
  std::free(tls_block_);
  tls_block_ = nullptr;
  if (stubs_) munmap(stubs_, stubs_size_);
  stubs_ = nullptr;
  munmap(reinterpret_cast<void*>(base_), size());
  forget_protection(base_, size());
  base_ = 0;
}

void* Module::find_export(std::string_view function) const {
  for (const PeImage::Export& e : image_.exports())
    if (!e.name.empty() && e.name == function) return reinterpret_cast<void*>(base_ + e.rva);
  return nullptr;
}

void* Module::find_export(uint16_t ordinal) const {
  for (const PeImage::Export& e : image_.exports())
    if (e.ordinal == ordinal) return reinterpret_cast<void*>(base_ + e.rva);
  return nullptr;
}

}  // namespace simhost::pe
