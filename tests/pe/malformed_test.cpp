// Damaged images are refused with a message saying what is wrong, and nothing stays mapped.
#include <sys/mman.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory_map.h"
#include "pe_format.h"
#include "pe_loader.h"
#include "pe_test_support.h"

namespace {

namespace fmt = simhost::pe::format;
using simhost::pe::LoadError;
using simhost::pe::Module;
using simhost::pe::PeImage;

std::vector<uint8_t> probe_bytes() {
  std::ifstream in(pe_test::dll_path("pe_probe.dll"), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Edits the header fields of a good image in place.
struct Image {
  std::vector<uint8_t> bytes = probe_bytes();

  template <class T>
  T& at(size_t offset) {
    if (offset + sizeof(T) > bytes.size()) throw std::out_of_range("edit outside the file");
    return *reinterpret_cast<T*>(bytes.data() + offset);
  }
  uint32_t nt() { return at<fmt::DosHeader>(0).e_lfanew; }
  fmt::FileHeader& file() { return at<fmt::FileHeader>(nt() + 4); }
  fmt::OptionalHeader32& opt() { return at<fmt::OptionalHeader32>(nt() + 24); }
  fmt::DataDirectory& dir(uint32_t i) { return at<fmt::DataDirectory>(nt() + 24 + 96 + 8 * i); }
  fmt::SectionHeader& section(uint32_t i) {
    return at<fmt::SectionHeader>(nt() + 24 + file().SizeOfOptionalHeader + 40 * i);
  }
  fmt::SectionHeader& section_named(const char* name) {
    for (uint32_t i = 0; i < file().NumberOfSections; ++i)
      if (std::strncmp(section(i).Name, name, 8) == 0) return section(i);
    throw std::out_of_range(name);
  }
  size_t offset_of_rva(uint32_t rva) {
    for (uint32_t i = 0; i < file().NumberOfSections; ++i) {
      fmt::SectionHeader& s = section(i);
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
        return s.PointerToRawData + (rva - s.VirtualAddress);
    }
    throw std::out_of_range("rva not in the file");
  }
};

struct Damage {
  const char* what;
  std::function<void(Image&)> edit;
  const char* message;  // part of the LoadError text
};

class Malformed : public ::testing::TestWithParam<Damage> {};

TEST_P(Malformed, IsRefusedWithAClearError) {
  Image image;
  GetParam().edit(image);
  try {
    PeImage::parse(image.bytes);
    FAIL() << "accepted";
  } catch (const LoadError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
  }
}

const Damage kDamage[] = {
    {"Empty", [](Image& i) { i.bytes.clear(); }, "DOS header"},
    {"TruncatedHeaders", [](Image& i) { i.bytes.resize(200); }, "outside the file"},
    {"TruncatedSections", [](Image& i) { i.bytes.resize(i.bytes.size() / 2); }, "raw data of section"},
    {"NoMz", [](Image& i) { i.at<uint16_t>(0) = 0x1234; }, "no MZ signature"},
    {"NtHeadersPastEnd", [](Image& i) { i.at<fmt::DosHeader>(0).e_lfanew = 0xFFFFFFF0; }, "PE signature"},
    {"NoPeSignature", [](Image& i) { i.at<uint32_t>(i.nt()) = 0x00004550 + 1; }, "no PE signature"},
    {"Amd64", [](Image& i) { i.file().Machine = 0x8664; }, "not a 32-bit x86 image"},
    {"Executable", [](Image& i) { i.file().Characteristics &= ~fmt::kFileDll; }, "not a DLL"},
    {"Pe32Plus", [](Image& i) { i.opt().Magic = 0x20B; }, "not a PE32 optional header"},
    {"TinyOptionalHeader", [](Image& i) { i.file().SizeOfOptionalHeader = 64; }, "optional header too small"},
    {"TooManyDirectories", [](Image& i) { i.opt().NumberOfRvaAndSizes = 1000; }, "data directory count"},
    {"SubPageAlignment", [](Image& i) { i.opt().SectionAlignment = 0x200; }, "not a multiple of the page size"},
    {"HugeImage", [](Image& i) { i.opt().SizeOfImage = 0x7FFFF000; }, "implausible image size"},
    {"ImageAcross4G", [](Image& i) { i.opt().ImageBase = 0xFFFF0000; }, "below 4 GiB"},
    {"HeadersLargerThanFile", [](Image& i) { i.opt().SizeOfHeaders = 0x10000000; }, "headers size"},
    {"NoSections", [](Image& i) { i.file().NumberOfSections = 0; }, "section count"},
    {"RawDataOutsideFile", [](Image& i) { i.section_named(".text").PointerToRawData = 0xFFFFFF00; },
     "raw data of section .text"},
    {"SectionPastImageEnd", [](Image& i) { i.section_named(".rdata").VirtualSize = 0x40000000; },
     "reaches past the end of the image"},
    {"OverlappingSections", [](Image& i) { i.section(1).VirtualAddress = i.section(0).VirtualAddress; },
     "misaligned or overlaps"},
    {"EntryInData", [](Image& i) { i.opt().AddressOfEntryPoint = i.section_named(".data").VirtualAddress; },
     "entry point"},
    {"ImportDirectoryOutside",
     [](Image& i) {
       i.dir(fmt::kDirImport) = {i.opt().SizeOfImage - 4, 40};
     },
     "import directory"},
    {"ImportNameOutside",
     [](Image& i) {
       i.at<fmt::ImportDescriptor>(i.offset_of_rva(i.dir(fmt::kDirImport).VirtualAddress)).Name = 0x7FFFFFF0;
     },
     "imported DLL name"},
    {"ImportLookupOutside",
     [](Image& i) {
       i.at<fmt::ImportDescriptor>(i.offset_of_rva(i.dir(fmt::kDirImport).VirtualAddress)).OriginalFirstThunk =
           i.opt().SizeOfImage;
     },
     "import lookup table"},
    {"RelocationBlockTooSmall",
     [](Image& i) {
       i.at<fmt::BaseRelocationBlock>(i.offset_of_rva(i.dir(fmt::kDirBaseReloc).VirtualAddress)).SizeOfBlock = 4;
     },
     "bad size"},
    {"RelocationTypeUnknown",
     [](Image& i) { i.at<uint16_t>(i.offset_of_rva(i.dir(fmt::kDirBaseReloc).VirtualAddress) + 8) = 0xA000; },
     "unsupported relocation type 10"},
    {"TlsCallbackOutsideCode",
     [](Image& i) {
       auto& tls = i.at<fmt::TlsDirectory32>(i.offset_of_rva(i.dir(fmt::kDirTls).VirtualAddress));
       i.at<uint32_t>(i.offset_of_rva(tls.AddressOfCallBacks - i.opt().ImageBase)) = 0x12345678;
     },
     "TLS callback"},
    {"TlsIndexOutside",
     [](Image& i) {
       i.at<fmt::TlsDirectory32>(i.offset_of_rva(i.dir(fmt::kDirTls).VirtualAddress)).AddressOfIndex = 4;
     },
     "TLS index"},
    {"ExportTableOutside",
     [](Image& i) {
       i.at<fmt::ExportDirectory>(i.offset_of_rva(i.dir(fmt::kDirExport).VirtualAddress)).NumberOfFunctions =
           0x10000000;
     },
     "export address table"},
};

INSTANTIATE_TEST_SUITE_P(Images, Malformed, ::testing::ValuesIn(kDamage),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(PeImage, TheProbeParsesAsBuilt) {
  PeImage image = PeImage::parse(probe_bytes());
  EXPECT_EQ(image.preferred_base() % 0x10000, 0u);
  EXPECT_TRUE(image.has_relocations());
  ASSERT_EQ(image.exports().size(), 1u);
  EXPECT_EQ(image.exports()[0].name, "probe_parse");
  std::vector<std::string> names;
  for (const auto& s : image.sections()) names.push_back(s.name);
  for (const char* expected : {".text", ".data", ".rdata", ".idata", ".tls", ".reloc"})
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
}

TEST(PeImage, ItsSymbolTableNamesFunctionsWhereTheImagePutsThem) {
  PeImage image = PeImage::parse(probe_bytes());
  auto rva_of = [&](const std::string& name) {
    for (const simhost::pe::Symbol& symbol : image.symbols())
      if (symbol.name == name) return symbol.rva;
    return 0u;
  };
  ASSERT_EQ(image.exports().size(), 1u);
  EXPECT_EQ(rva_of("_probe_parse"), image.exports()[0].rva);     // a short name
  EXPECT_EQ(rva_of("__CTOR_LIST__"), rva_of("___CTOR_LIST__"));  // long names, from the string table
  EXPECT_NE(rva_of("__CTOR_LIST__"), 0u);
  EXPECT_EQ(image.word_at(rva_of("__CTOR_LIST__")), 0xFFFFFFFFu) << "the list starts with -1";
  EXPECT_THROW(image.word_at(image.size_of_image() - 2), LoadError);
}

// Only people and tools read the symbol table: a damaged one costs the symbols, never the load.
TEST(PeImage, ADamagedSymbolTableGivesNoSymbolsAndTheImageStillParses) {
  // Symbol records are 18 bytes long, so most of them are not aligned: copied, never referenced.
  auto put = [](Image& i, size_t offset, const auto& value) {
    ASSERT_LE(offset + sizeof value, i.bytes.size());
    std::memcpy(i.bytes.data() + offset, &value, sizeof value);
  };
  auto record_at = [](Image& i, uint32_t k) {
    fmt::SymbolRecord record;
    std::memcpy(&record, i.bytes.data() + i.file().PointerToSymbolTable + k * sizeof record, sizeof record);
    return record;
  };
  const std::function<void(Image&)> damages[] = {
      [](Image& i) { i.file().PointerToSymbolTable = 0xFFFFFF00; },
      [](Image& i) { i.file().NumberOfSymbols = 0x0FFFFFFF; },
      [&](Image& i) {  // the string table claims more than the file holds
        put(i, i.file().PointerToSymbolTable + i.file().NumberOfSymbols * sizeof(fmt::SymbolRecord),
            uint32_t{0x7FFFFFFF});
      },
      [&](Image& i) {  // the first long name points past the string table
        for (uint32_t k = 0; k < i.file().NumberOfSymbols; ++k) {
          fmt::SymbolRecord record = record_at(i, k);
          if (record.SectionNumber > 0 && std::memcmp(record.ShortName, "\0\0\0\0", 4) == 0) {
            put(i, i.file().PointerToSymbolTable + k * sizeof record + 4, uint32_t{0x7FFFFFF0});
            return;
          }
          k += record.NumberOfAuxSymbols;
        }
        FAIL() << "no long name";
      },
  };
  ASSERT_FALSE(PeImage::parse(probe_bytes()).symbols().empty());
  for (const auto& damage : damages) {
    Image image;
    damage(image);
    PeImage parsed = PeImage::parse(image.bytes);
    EXPECT_TRUE(parsed.symbols().empty());
    EXPECT_EQ(parsed.exports().size(), 1u);
  }
}

TEST(PeImage, WithoutRelocationsItCannotMoveAndLeavesTheSquatterAlone) {
  Image damaged;
  damaged.file().Characteristics |= fmt::kFileRelocsStripped;
  PeImage image = PeImage::parse(damaged.bytes);
  ASSERT_FALSE(image.has_relocations());
  void* squatter = pe_test::map_fixed(image.preferred_base(), 0x1000, PROT_READ | PROT_WRITE);
  ASSERT_NE(squatter, MAP_FAILED);
  static_cast<uint8_t*>(squatter)[0] = 0x5A;

  try {
    Module::load(std::move(image), {.name = "stuck.dll"});
    FAIL() << "loaded";
  } catch (const LoadError& e) {
    EXPECT_NE(std::string(e.what()).find("stuck.dll: preferred range"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("no relocations"), std::string::npos) << e.what();
  }
  EXPECT_EQ(static_cast<uint8_t*>(squatter)[0], 0x5A);
  munmap(squatter, 0x1000);
  EXPECT_TRUE(simhost::pe::range_is_free(PeImage::parse(probe_bytes()).preferred_base(), 0x10000));
}

TEST(PeImage, AMissingFileIsALoadError) { EXPECT_THROW(PeImage::read(pe_test::dll_path("no_such.dll")), LoadError); }

}  // namespace
