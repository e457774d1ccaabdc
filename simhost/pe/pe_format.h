// On-disk layout of the parts of a 32-bit PE image that the loader reads.
// Everything is little-endian, which is also the byte order of the machine that runs it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace simhost::pe::format {

struct DosHeader {
  uint16_t e_magic;  // "MZ"
  uint16_t unused[29];
  uint32_t e_lfanew;  // file offset of the NT headers
};
static_assert(sizeof(DosHeader) == 64);

struct FileHeader {
  uint16_t Machine;
  uint16_t NumberOfSections;
  uint32_t TimeDateStamp;
  uint32_t PointerToSymbolTable;
  uint32_t NumberOfSymbols;
  uint16_t SizeOfOptionalHeader;
  uint16_t Characteristics;
};
static_assert(sizeof(FileHeader) == 20);

struct DataDirectory {
  uint32_t VirtualAddress;
  uint32_t Size;
};

struct OptionalHeader32 {
  uint16_t Magic;
  uint8_t MajorLinkerVersion;
  uint8_t MinorLinkerVersion;
  uint32_t SizeOfCode;
  uint32_t SizeOfInitializedData;
  uint32_t SizeOfUninitializedData;
  uint32_t AddressOfEntryPoint;
  uint32_t BaseOfCode;
  uint32_t BaseOfData;
  uint32_t ImageBase;
  uint32_t SectionAlignment;
  uint32_t FileAlignment;
  uint16_t MajorOperatingSystemVersion;
  uint16_t MinorOperatingSystemVersion;
  uint16_t MajorImageVersion;
  uint16_t MinorImageVersion;
  uint16_t MajorSubsystemVersion;
  uint16_t MinorSubsystemVersion;
  uint32_t Win32VersionValue;
  uint32_t SizeOfImage;
  uint32_t SizeOfHeaders;
  uint32_t CheckSum;
  uint16_t Subsystem;
  uint16_t DllCharacteristics;
  uint32_t SizeOfStackReserve;
  uint32_t SizeOfStackCommit;
  uint32_t SizeOfHeapReserve;
  uint32_t SizeOfHeapCommit;
  uint32_t LoaderFlags;
  uint32_t NumberOfRvaAndSizes;
  // DataDirectory entries follow, NumberOfRvaAndSizes of them.
};
static_assert(sizeof(OptionalHeader32) == 96);

struct SectionHeader {
  char Name[8];
  uint32_t VirtualSize;
  uint32_t VirtualAddress;
  uint32_t SizeOfRawData;
  uint32_t PointerToRawData;
  uint32_t PointerToRelocations;
  uint32_t PointerToLinenumbers;
  uint16_t NumberOfRelocations;
  uint16_t NumberOfLinenumbers;
  uint32_t Characteristics;
};
static_assert(sizeof(SectionHeader) == 40);

struct ImportDescriptor {
  uint32_t OriginalFirstThunk;  // lookup table; 0 in some old linkers' output, then FirstThunk holds it
  uint32_t TimeDateStamp;
  uint32_t ForwarderChain;
  uint32_t Name;
  uint32_t FirstThunk;  // the address table the code calls through
};
static_assert(sizeof(ImportDescriptor) == 20);

struct ExportDirectory {
  uint32_t Characteristics;
  uint32_t TimeDateStamp;
  uint16_t MajorVersion;
  uint16_t MinorVersion;
  uint32_t Name;
  uint32_t Base;
  uint32_t NumberOfFunctions;
  uint32_t NumberOfNames;
  uint32_t AddressOfFunctions;
  uint32_t AddressOfNames;
  uint32_t AddressOfNameOrdinals;
};
static_assert(sizeof(ExportDirectory) == 40);

struct TlsDirectory32 {  // addresses here are VAs, so they take part in relocation
  uint32_t StartAddressOfRawData;
  uint32_t EndAddressOfRawData;
  uint32_t AddressOfIndex;
  uint32_t AddressOfCallBacks;
  uint32_t SizeOfZeroFill;
  uint32_t Characteristics;
};
static_assert(sizeof(TlsDirectory32) == 24);

// COFF symbol table record; the string table (a 32-bit size, then the long names) follows the last one.
#pragma pack(push, 1)
struct SymbolRecord {
  char ShortName[8];      // the name if it has at most 8 characters; else 4 zero bytes and a string table offset
  uint32_t Value;         // offset within the section
  int16_t SectionNumber;  // 1-based; 0 and below: no section (external, absolute, debugging)
  uint16_t Type;
  uint8_t StorageClass;
  uint8_t NumberOfAuxSymbols;  // records that follow this one and belong to it
};
#pragma pack(pop)
static_assert(sizeof(SymbolRecord) == 18);

struct BaseRelocationBlock {
  uint32_t VirtualAddress;
  uint32_t SizeOfBlock;  // including this header; 16-bit entries follow
};

constexpr uint16_t kDosMagic = 0x5A4D;
constexpr uint32_t kNtSignature = 0x00004550;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kOptionalMagic32 = 0x010B;

constexpr uint16_t kFileRelocsStripped = 0x0001;
constexpr uint16_t kFileExecutable = 0x0002;
constexpr uint16_t kFileDll = 0x2000;

constexpr uint32_t kScnMemExecute = 0x20000000;
constexpr uint32_t kScnMemRead = 0x40000000;
constexpr uint32_t kScnMemWrite = 0x80000000;
constexpr uint32_t kScnUninitializedData = 0x00000080;

enum Directory : uint32_t {
  kDirExport = 0,
  kDirImport = 1,
  kDirBaseReloc = 5,
  kDirTls = 9,
};

constexpr uint16_t kRelAbsolute = 0;
constexpr uint16_t kRelHighLow = 3;

constexpr uint32_t kOrdinalFlag = 0x80000000;

}  // namespace simhost::pe::format
