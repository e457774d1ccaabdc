// Reading a dictionary: its sections walked with every size checked against what is left of the parent section and
// of the file, each texture's header read field by field, and its levels' byte counts checked against the header's
// end and against what its size and pixel format need. A fault inside one texture ends the reading of that texture
// only, since its section's size says where the next begins; a fault in the walk itself ends the reading.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "txd/format.h"
#include "txd/pixels.h"
#include "txd/texture_dictionary.h"

namespace txd {

namespace {

using namespace format;

// Past this many, a file is not worth reading further: the list would only bury the first fault.
constexpr std::size_t kMostProblems = 20;

std::string Number(std::uint64_t value) { return std::to_string(value); }

std::string Hex(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return "0x" + digits;
}

std::string Bytes(std::uint64_t count) { return Number(count) + (count == 1 ? " byte" : " bytes"); }

// A name in a message: in quotes, with any control character shown as '?'.
std::string Quoted(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) quoted += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return quoted + "\"";
}

// Pictures renamed to .txd, by the bytes they begin with.
struct Signature {
  std::string_view bytes;
  const char* kind;
};
constexpr Signature kPictures[] = {{"\x89PNG\r\n\x1A\n", "a PNG picture"},
                                   {"\xFF\xD8\xFF", "a JPEG picture"},
                                   {"GIF8", "a GIF picture"},
                                   {"BM", "a BMP picture"},
                                   {"DDS ", "a DDS texture"}};

// The formats' names, in PixelFormat's order (kOther's is what the header holds).
constexpr const char* kFormatNames[] = {"DXT1", "DXT3", "DXT5", "8888",       "888",           "565",
                                        "1555", "4444", "555",  "8-bit grey", "8-bit palette", "4-bit palette"};
static_assert(std::size(kFormatNames) == static_cast<std::size_t>(PixelFormat::kOther));

struct Code {
  std::uint32_t code;
  PixelFormat format;
};
constexpr Code kDirect3dFormats[] = {{kD3dDxt1, PixelFormat::kDxt1}, {kD3dDxt3, PixelFormat::kDxt3},
                                     {kD3dDxt5, PixelFormat::kDxt5}, {kD3d8888, PixelFormat::k8888},
                                     {kD3d888, PixelFormat::k888},   {kD3d565, PixelFormat::k565},
                                     {kD3d555, PixelFormat::k555},   {kD3d1555, PixelFormat::k1555},
                                     {kD3d4444, PixelFormat::k4444}, {kD3dGrey, PixelFormat::kGrey8}};
constexpr Code kRasterFormats[] = {{kRaster8888, PixelFormat::k8888}, {kRaster888, PixelFormat::k888},
                                   {kRaster565, PixelFormat::k565},   {kRaster555, PixelFormat::k555},
                                   {kRaster1555, PixelFormat::k1555}, {kRaster4444, PixelFormat::k4444},
                                   {kRasterGrey, PixelFormat::kGrey8}};
constexpr Code kCompressions[] = {{kCompressionDxt1, PixelFormat::kDxt1}, {kCompressionDxt3, PixelFormat::kDxt3}};

template <std::size_t N>
bool Find(const Code (&codes)[N], std::uint32_t code, PixelFormat& format) {
  for (const Code& entry : codes) {
    if (entry.code == code) {
      format = entry.format;
      return true;
    }
  }
  return false;
}

bool IsText(char c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n'; }

struct Section {
  std::uint32_t type = 0, size = 0;
  std::size_t start = 0, body = 0, end = 0;
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> file) : file_(file) {}

  Dictionary Read() {
    ReadFile();
    return std::move(dictionary_);
  }

 private:
  std::uint32_t U8(std::size_t at) const { return file_[at]; }
  std::uint32_t U16(std::size_t at) const { return file_[at] | file_[at + 1] << 8; }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }

  void Report(std::size_t offset, std::string message) {
    if (dictionary_.stopped) return;
    if (dictionary_.problems.size() == kMostProblems) {
      message = "more problems follow, so reading stops here";
      dictionary_.stopped = true;
    }
    dictionary_.problems.push_back({offset, std::move(message)});
  }

  void Stop(std::size_t offset, std::string message) {
    Report(offset, std::move(message));
    Halt();
  }

  // Reading goes no further: the walk has lost its way (the problem is already reported).
  void Halt() { dictionary_.stopped = true; }

  // The section that begins at `at` inside a parent that ends at `end`, if it is there, of the type, and fits.
  bool Open(std::size_t at, std::size_t end, std::uint32_t type, const std::string& what, const std::string& parent,
            Section& section) {
    const std::size_t left = end - at;
    if (left < kHeaderSize) {
      Report(at, left == 0 ? parent + " ends where " + what + " should begin"
                           : parent + " ends " + Bytes(left) + " into " + what + ", whose header alone takes 12");
      return false;
    }
    section = {U32(at), U32(at + 4), at, at + kHeaderSize, 0};
    if (section.type != type) {
      Report(at, what + " should begin here (a section of type " + Hex(type) + "), but a section of type " +
                     Hex(section.type) + " does");
      return false;
    }
    if (section.size > end - section.body) {
      Report(at + 4, what + " says it takes " + Bytes(section.size) + ", but only " + Bytes(end - section.body) +
                         " of " + parent + " follow its header");
      return false;
    }
    section.end = section.body + section.size;
    return true;
  }

  void ReadFile() {
    const std::size_t size = file_.size();
    if (size == 0) return Stop(0, "the file is empty (0 bytes): it is no texture dictionary");
    const std::string_view start(reinterpret_cast<const char*>(file_.data()), size);
    for (const Signature& picture : kPictures) {
      if (start.starts_with(picture.bytes))
        return Stop(0, std::string("this is ") + picture.kind +
                           " renamed, not a texture dictionary: the game reads pictures only from a dictionary");
    }
    if (size < 4) return Stop(0, "the file is only " + Bytes(size) + " long, too short for a texture dictionary");
    if (U32(0) == kModel) return Stop(0, "this is a model, not a texture dictionary");
    if (std::all_of(start.begin(), start.begin() + std::min<std::size_t>(size, 64), IsText))
      return Stop(0, "this is text, not a texture dictionary");
    if (U32(0) != kDictionary) {
      const std::string first = Hex(U32(0));
      return Stop(0,
                  "this is no texture dictionary: a dictionary begins with a section of type 0x16, and this "
                  "file with " +
                      first);
    }
    Section dictionary;
    if (size < kHeaderSize) {
      Open(0, size, kDictionary, "the texture dictionary", "the file", dictionary);
      return Halt();
    }
    dictionary = {kDictionary, U32(4), 0, kHeaderSize, size};
    if (dictionary.size > size - kHeaderSize) {
      // What the file holds is read all the same: the textures before the cut are worth listing.
      Report(4, "the file is cut short: the texture dictionary says it takes " + Bytes(dictionary.size) +
                    ", but only " + Bytes(size - kHeaderSize) + " follow its header");
      return ReadDictionary(dictionary, "what the file holds of the dictionary");
    }
    dictionary.end = kHeaderSize + dictionary.size;
    ReadDictionary(dictionary, "the dictionary");
  }

  // `parent` names the dictionary where a section does not fit in it.
  void ReadDictionary(const Section& dictionary, const std::string& parent) {
    Section header;
    if (!Open(dictionary.body, dictionary.end, kStruct, "the dictionary's header", parent, header)) return Halt();
    if (header.size < kDictionaryStructSize)
      return Stop(header.start + 4, "the dictionary's header takes " + Bytes(header.size) +
                                        ", too few to hold its count of textures (4)");
    const std::uint32_t count = U16(header.body);
    dictionary_.deviceId = U16(header.body + 2);

    std::size_t at = header.end;
    for (std::uint32_t number = 1; number <= count && !dictionary_.stopped; ++number) {
      if (at == dictionary.end || (dictionary.end - at >= 4 && U32(at) == kExtension)) {
        return Report(header.body, "the dictionary says it holds " + Number(count) +
                                       " textures, but its list ends after " + Number(number - 1) + ", at byte " +
                                       Number(at));
      }
      Section texture;
      const std::string what = "texture " + Number(number);
      if (!Open(at, dictionary.end, kTexture, what, parent, texture)) return Halt();
      ReadTexture(texture, what);
      at = texture.end;
    }
    if (dictionary_.stopped) return;
    if (dictionary.end - at >= 4 && U32(at) == kTexture) {
      return Report(at, "more textures follow the " + Number(count) +
                            " the dictionary says it holds: the game reads none of them");
    }
    Section extension;
    Open(at, dictionary.end, kExtension, "the dictionary's extension", parent, extension);
  }

  void ReadTexture(const Section& section, const std::string& what) {
    Section header;
    if (!Open(section.body, section.end, kStruct, "the header of " + what, what, header)) return;
    const std::size_t body = header.body;
    if (header.size < 4)
      return Report(header.start + 4, "the header of " + what + " takes " + Bytes(header.size) +
                                          ", too few to say which machine it is for");
    const std::uint32_t platform = U32(body + kPlatformAt);
    if (platform != kPcPlatform && platform != kOlderPcPlatform) {
      const std::string number = platform < 0x100 ? Number(platform) : Hex(platform);
      if (std::find(std::begin(kConsolePlatforms), std::end(kConsolePlatforms), platform) !=
          std::end(kConsolePlatforms))
        return Stop(body, what + " is made for another console (platform " + number +
                              "), not for the PC: the game on the PC cannot read this dictionary");
      return Stop(body, what + " is not for the PC: its platform is " + number +
                            ", where the PC's is 8 or 9, so the file is damaged or made for another machine");
    }
    if (header.size < kTextureStructSize)
      return Report(header.start + 4,
                    "the header of " + what + " takes " + Bytes(header.size) + ", where a PC texture's takes 88");

    Texture texture;
    texture.offset = section.start;
    texture.platform = platform;
    const std::string_view name(reinterpret_cast<const char*>(file_.data() + body + kNameAt), kNameSize);
    texture.name = name.substr(0, name.find('\0'));
    texture.width = U16(body + kWidthAt);
    texture.height = U16(body + kHeightAt);
    texture.mipLevels = U8(body + kLevelsAt);
    Classify(texture, U32(body + kRasterFormatAt), U32(body + kAlphaOrFormatAt), U8(body + kFlagsAt));
    const std::string label = texture.name.empty() ? what + " (no name)" : "texture " + Quoted(texture.name);

    const auto damaged = [&](std::size_t offset, const std::string& message) {
      Report(offset, message);
      if (texture.notShown.empty()) texture.notShown = "it is damaged (byte " + Number(offset) + ")";
    };
    if (!texture.notShown.empty()) {
      // Not decoded: its levels are not looked for, since a 4-bit palette's size is not known.
    } else if (texture.width == 0 || texture.height == 0) {
      damaged(body + kWidthAt,
              label + " is " + Number(texture.width) + " by " + Number(texture.height) + " pixels: it has no picture");
    } else if (texture.mipLevels == 0) {
      damaged(body + kLevelsAt, label + " stores no level of pixels: it has no picture");
    } else {
      ReadLevels(texture, body + kTextureStructSize, header.end, label, damaged);
    }
    dictionary_.textures.push_back(std::move(texture));

    Section extension;
    Open(header.end, section.end, kExtension, "the extension of " + label, label, extension);
  }

  template <typename Damaged>
  void ReadLevels(Texture& texture, std::size_t at, std::size_t end, const std::string& label, Damaged& damaged) {
    if (texture.format == PixelFormat::kPalette8) {
      if (end - at < kPaletteSize)
        return damaged(at, "the palette of " + label + " takes 1024 bytes, but only " + Bytes(end - at) +
                               " of its header are left");
      texture.palette = at;
      at += kPaletteSize;
    }
    for (std::uint32_t level = 0; level < texture.mipLevels; ++level) {
      const std::string levels = Number(texture.mipLevels) + (texture.mipLevels == 1 ? " level" : " levels");
      if (end - at < 4) {
        const std::string message =
            label + " says it stores " + levels + " of pixels, but its header ends after " + Number(level);
        if (level == 0) return damaged(at, message);
        return Report(at, message);
      }
      const std::uint32_t size = U32(at);
      if (size > end - at - 4) {
        const std::string message = "level " + Number(level + 1) + " of " + label + " says it takes " + Bytes(size) +
                                    ", but only " + Bytes(end - at - 4) + " of its header are left";
        if (level == 0) return damaged(at, message);
        return Report(at, message);
      }
      if (level == 0) {
        texture.pixels = at + 4;
        texture.pixelBytes = size;
        const std::uint64_t needed = PixelBytesNeeded(texture.format, texture.width, texture.height);
        if (size < needed) {
          damaged(at, label + " is " + Number(texture.width) + " by " + Number(texture.height) + " pixels in " +
                          texture.formatName + ", which take " + Bytes(needed) + ", but its pixels take " +
                          Bytes(size));
        }
      }
      at += 4 + size;
    }
  }

  // The pixel format by the raster format's flags and the PC layout's Direct3D format, or the older layout's
  // raster format and compression; and the alpha as the header says it.
  static void Classify(Texture& texture, std::uint32_t raster, std::uint32_t alphaOrFormat, std::uint32_t flags) {
    const bool pc = texture.platform == kPcPlatform;
    texture.hasAlpha = pc ? (flags & kFlagAlpha) != 0 : alphaOrFormat != 0;
    if (raster & kRasterPalette4) {
      texture.format = PixelFormat::kPalette4;
    } else if (raster & kRasterPalette8) {
      texture.format = PixelFormat::kPalette8;
    } else if (pc) {
      if (!Find(kDirect3dFormats, alphaOrFormat, texture.format))
        texture.formatName = FourCharactersOrNumber(alphaOrFormat);
    } else if (flags != 0) {
      if (!Find(kCompressions, flags, texture.format)) texture.formatName = "compression " + Number(flags);
    } else if (!Find(kRasterFormats, raster & kPixelFormatMask, texture.format)) {
      texture.formatName = "raster format " + Hex(raster & kPixelFormatMask);
    }
    if (texture.formatName.empty()) texture.formatName = kFormatNames[static_cast<int>(texture.format)];
    if (PixelBytesNeeded(texture.format, 1, 1) == 0)
      texture.notShown = "its pixel format (" + texture.formatName + ") cannot be shown";
    else if (pc && (flags & kFlagCubeMap) != 0)
      texture.notShown = "it is a cube map, which cannot be shown";
  }

  // A Direct3D format the reader does not decode: its four characters when they are letters and digits (as DXT2),
  // else its number.
  static std::string FourCharactersOrNumber(std::uint32_t value) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
      const char c = static_cast<char>(value >> (8 * i) & 0xFF);
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
        return "Direct3D format " + Number(value);
      text += c;
    }
    return text;
  }

  std::span<const std::uint8_t> file_;
  Dictionary dictionary_;
};

}  // namespace

std::string Describe(const Problem& problem) { return "byte " + Number(problem.offset) + ": " + problem.message; }

Dictionary ReadDictionary(std::span<const std::uint8_t> file) { return Reader(file).Read(); }

}  // namespace txd
