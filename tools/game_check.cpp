#include "game_check.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "host/addresses.h"
#include "patching/patching.h"

namespace tools {

namespace {

// The base every host address is written for; the plug-in serves only an image that loads there.
constexpr std::uint32_t kHostBase = patching::kHostPreferredBase;

constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kMagicPe32 = 0x10B;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

std::uint32_t Little(const unsigned char* bytes, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

bool ReadAt(std::FILE* file, std::uint32_t offset, unsigned char* out, std::size_t size) {
  if (offset > static_cast<std::uint32_t>(LONG_MAX)) return false;  // long has 32 bits on Windows
  return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(out, 1, size, file) == size;
}

struct Section {
  std::uint32_t address;  // relative to the image base
  std::uint32_t extent;   // in memory, whole pages
  std::uint32_t rawSize;  // of it, what the file holds; the rest is zero
  std::uint32_t rawOffset;
};

enum class Shape { kProgram, kUnreadable, kNotProgram, kNot32Bit, kCutShort };

struct Image {
  Shape shape = Shape::kUnreadable;
  std::uint32_t base = 0;
  std::vector<Section> sections;
};

Image ReadImage(std::FILE* file) {
  Image image;
  unsigned char dos[64];
  if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
    image.shape = Shape::kNotProgram;
    return image;
  }
  const std::uint32_t pe = Little(dos + 0x3C, 4);
  unsigned char headers[24 + 40];  // signature, file header, the optional header up to the section alignment
  if (!ReadAt(file, pe, headers, sizeof headers) || Little(headers, 4) != 0x4550) {
    image.shape = Shape::kNotProgram;
    return image;
  }
  const unsigned char* optional = headers + 24;
  if (Little(headers + 4, 2) != kMachineI386 || Little(optional, 2) != kMagicPe32) {
    image.shape = Shape::kNot32Bit;
    return image;
  }
  image.base = Little(optional + 28, 4);
  std::uint32_t alignment = Little(optional + 32, 4);
  if (alignment == 0 || (alignment & (alignment - 1)) != 0) alignment = 1;

  const std::uint32_t count = Little(headers + 6, 2);
  const std::uint32_t table = pe + 24 + Little(headers + 20, 2);
  for (std::uint32_t i = 0; i < count; ++i) {
    unsigned char row[40];
    if (!ReadAt(file, table + i * 40, row, sizeof row)) {
      image.shape = Shape::kCutShort;
      return image;
    }
    const std::uint32_t virtualSize = Little(row + 8, 4);
    const std::uint64_t size = virtualSize != 0 ? virtualSize : Little(row + 16, 4);
    const std::uint64_t pages = (size + alignment - 1) / alignment * alignment;
    const auto extent = static_cast<std::uint32_t>(pages > 0xFFFFFFFFu ? 0xFFFFFFFFu : pages);
    image.sections.push_back({Little(row + 12, 4), extent, Little(row + 16, 4), Little(row + 20, 4)});
  }
  image.shape = Shape::kProgram;
  return image;
}

enum class Byte { kRead, kUnmapped, kCutShort };

// The byte the loaded image holds at `address` (relative to its base).
Byte ImageByte(std::FILE* file, const Image& image, std::uint32_t address, unsigned char& out) {
  for (const Section& section : image.sections) {
    const std::uint32_t offset = address - section.address;
    if (address < section.address || offset >= section.extent) continue;
    out = 0;
    if (offset >= section.rawSize) return Byte::kRead;
    return ReadAt(file, section.rawOffset + offset, &out, 1) ? Byte::kRead : Byte::kCutShort;
  }
  return Byte::kUnmapped;
}

// The first probe that matches: its build, or kUnknownBuild; nothing when the file is cut short.
std::optional<std::int32_t> ProbeBuild(std::FILE* file, const Image& image) {
  for (const host::BuildProbe& probe : host::kBuildProbes) {
    unsigned char bytes[4];
    bool mapped = true;
    for (std::uint32_t i = 0; i < 4 && mapped; ++i) {
      const Byte read = ImageByte(file, image, probe.address - kHostBase + i, bytes[i]);
      if (read == Byte::kCutShort) return std::nullopt;
      mapped = read == Byte::kRead;
    }
    // Where the image does not reach, the plug-in finds no match either.
    if (mapped && Little(bytes, 4) == probe.word) return probe.build;
  }
  return host::kUnknownBuild;
}

}  // namespace

GameVerdict CheckGame(const std::string& path) {
  const std::string exe = ": give the path of the game's executable, the .exe file the game starts from.";
  const GameVerdict unreadable{kGameUnreadable, "Cannot read " + path + exe};
  const GameVerdict cutShort{kGameUnreadable, path + " is cut short: the file ends before the program does."};
  const std::string inert = "the plug-in stays inert (it patches nothing and draws nothing).";
  const std::string unknown = path + " is not a build of the game that Zephrel knows";

  const File file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return unreadable;
  const Image image = ReadImage(file.get());
  switch (image.shape) {
    case Shape::kProgram:
      break;
    case Shape::kUnreadable:
      return unreadable;
    case Shape::kNotProgram:
      return {kGameUnreadable, path + " is not a Windows program" + exe};
    case Shape::kNot32Bit:
      return {kGameUnreadable, path + " is not a 32-bit Windows program, so it is not the game" + exe};
    case Shape::kCutShort:
      return cutShort;
  }
  if (image.base != kHostBase) {
    char bases[64];
    std::snprintf(bases, sizeof bases, " (it loads at 0x%X, the game at 0x%X): ", static_cast<unsigned>(image.base),
                  static_cast<unsigned>(kHostBase));
    return {kGameInert, unknown + bases + inert};
  }
  const std::optional<std::int32_t> build = ProbeBuild(file.get(), image);
  if (!build) return cutShort;
  if (*build == host::kUnknownBuild) return {kGameInert, unknown + ": " + inert};
  const std::string name = path + " is build " + std::to_string(*build) + " of the game";
  if (!host::IsServedHostVersion(*build)) {
    return {kGameInert, name + ": this build is not served: " + inert};
  }
  return {kGameServed, name +
                           ", which Zephrel serves. If the game shows no trails or banners all the same, "
                           "Zephrel.log beside Zephrel.dll says why."};
}

}  // namespace tools
