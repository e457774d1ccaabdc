// The dictionary reader on dictionaries written byte by byte: each pixel format with known pixels, the formats it
// lists without showing, and every kind of damage, each problem at its byte.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "txd/dictionary_bytes.h"
#include "txd/texture_dictionary.h"
#include "txd/texture_lookup.h"

namespace {

using ::testing::HasSubstr;
using txd::PixelFormat;
using txd_test::Dictionary;
using txd_test::TextureFields;
using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint8_t>;  // R, G, B, A a pixel

struct FormatCase {
  const char* name;
  PixelFormat format;
  std::uint32_t platform, rasterFormat, alphaOrFormat;
  std::uint8_t flags;  // the PC layout's flags, or the older one's compression
  bool hasAlpha;
  Bytes pixels;     // four pixels, or one 4 by 4 block
  Pixels expected;  // what they show
};

Bytes Palette() {
  Bytes palette;
  for (int i = 0; i < 256; ++i)
    palette.insert(palette.end(), {std::uint8_t(i), std::uint8_t(255 - i), 7, std::uint8_t(i / 2)});
  return palette;
}

// A DXT colour block: red and blue (or the other way round), the pixels' indices 0, 1, 2, 3 along each row.
constexpr std::uint8_t kRedBlue[] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
constexpr std::uint8_t kBlueRed[] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};

Bytes Block(std::initializer_list<std::uint8_t> alpha, const std::uint8_t (&colours)[8]) {
  Bytes block(alpha);
  block.insert(block.end(), colours, colours + 8);
  return block;
}

// A block's pixels: each row the colours of indices 0, 1, 2 and 3 (four R, G, B), and each pixel's alpha, or that of
// each index when four are given.
Pixels BlockPixels(const Pixels& colours, const std::vector<int>& alpha) {
  Pixels pixels;
  for (std::size_t i = 0; i < 16; ++i) {
    pixels.insert(pixels.end(), colours.begin() + 3 * (i % 4), colours.begin() + 3 * (i % 4) + 3);
    pixels.push_back(static_cast<std::uint8_t>(alpha[alpha.size() == 4 ? i % 4 : i]));
  }
  return pixels;
}

const Pixels kFourColours = {255, 0, 0, 0, 0, 255, 170, 0, 85, 85, 0, 170};
const Pixels kThreeColours = {0, 0, 255, 255, 0, 0, 127, 0, 127, 0, 0, 0};
const Pixels kBlueRedInFour = {0, 0, 255, 255, 0, 0, 85, 0, 170, 170, 0, 85};
const std::vector<int> kOpaque = {255, 255, 255, 255}, kLastClear = {255, 255, 255, 0};
const std::vector<int> kSixteenSteps = {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255};
const std::initializer_list<std::uint8_t> kSixteenStepsAlpha = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};

FormatCase Case(const char* name, PixelFormat format, std::uint32_t platform, std::uint32_t rasterFormat,
                std::uint32_t alphaOrFormat, std::uint8_t flags, bool hasAlpha, Bytes pixels, Pixels expected) {
  return {name, format, platform, rasterFormat, alphaOrFormat, flags, hasAlpha, pixels, expected};
}

const std::uint32_t kDxt1 = txd_test::FourCharacters("DXT1"), kDxt3 = txd_test::FourCharacters("DXT3"),
                    kDxt5 = txd_test::FourCharacters("DXT5");

const FormatCase kFormats[] = {
    Case("8888", PixelFormat::k8888, 9, 0x0500, 21, 1, true, {1, 2, 3, 4, 0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 0},
         {3, 2, 1, 4, 255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0}),
    Case("888", PixelFormat::k888, 9, 0x0600, 22, 0, false, {1, 2, 3, 4, 0, 0, 255, 0, 0, 255, 0, 128, 255, 0, 0, 9},
         {3, 2, 1, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255}),
    Case("565", PixelFormat::k565, 9, 0x0200, 23, 0, false, {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x10, 0x84},
         {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 132, 130, 132, 255}),
    Case("555", PixelFormat::k555, 9, 0x0A00, 24, 0, false, {0x00, 0x7C, 0xE0, 0x83, 0x1F, 0x00, 0x10, 0x42},
         {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 132, 132, 132, 255}),
    Case("1555", PixelFormat::k1555, 9, 0x0100, 25, 1, true, {0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x80, 0x10, 0x42},
         {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 132, 132, 132, 0}),
    Case("4444", PixelFormat::k4444, 9, 0x0300, 26, 1, true, {0x00, 0xFF, 0xF0, 0x00, 0x0F, 0x80, 0x21, 0x43},
         {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 136, 51, 34, 17, 68}),
    Case("8-bit grey", PixelFormat::kGrey8, 9, 0x0400, 50, 0, false, {0, 1, 128, 255},
         {0, 0, 0, 255, 1, 1, 1, 255, 128, 128, 128, 255, 255, 255, 255, 255}),
    Case("8-bit palette", PixelFormat::kPalette8, 9, 0x2500, 41, 1, true, {0, 1, 128, 255},
         {0, 255, 7, 0, 1, 254, 7, 0, 128, 127, 7, 64, 255, 0, 7, 127}),
    Case("DXT1", PixelFormat::kDxt1, 9, 0x0100, kDxt1, 8, false, Block({}, kRedBlue),
         BlockPixels(kFourColours, kOpaque)),
    // Its first colour not above the second: three colours and a clear black.
    Case("DXT1", PixelFormat::kDxt1, 9, 0x0100, kDxt1, 8, false, Block({}, kBlueRed),
         BlockPixels(kThreeColours, kLastClear)),
    Case("DXT3", PixelFormat::kDxt3, 9, 0x0300, kDxt3, 9, true, Block(kSixteenStepsAlpha, kBlueRed),
         BlockPixels(kBlueRedInFour, kSixteenSteps)),
    // Alpha 200 and 60 with six steps between: indices 0 to 7 along the pixels, then 7 to 0.
    Case("DXT5", PixelFormat::kDxt5, 9, 0x0500, kDxt5, 9, true,
         Block({200, 60, 0x88, 0xC6, 0xFA, 0x77, 0x39, 0x05}, kRedBlue),
         BlockPixels(kFourColours, {200, 60, 180, 160, 140, 120, 100, 80, 80, 100, 120, 140, 160, 180, 60, 200})),
    // Alpha 60 and 200 with four steps between, then 0 and 255.
    Case("DXT5", PixelFormat::kDxt5, 9, 0x0500, kDxt5, 9, true,
         Block({60, 200, 0x88, 0xC6, 0xFA, 0x77, 0x39, 0x05}, kRedBlue),
         BlockPixels(kFourColours, {60, 200, 88, 116, 144, 172, 0, 255, 255, 0, 172, 144, 116, 88, 200, 60})),
    // The older layout: the raster format decides, or the compression byte; the alpha is its own field.
    Case("8888", PixelFormat::k8888, 8, 0x0500, 1, 0, true, {1, 2, 3, 4, 0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 0},
         {3, 2, 1, 4, 255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0}),
    Case("DXT1", PixelFormat::kDxt1, 8, 0x0200, 0, 1, false, Block({}, kRedBlue), BlockPixels(kFourColours, kOpaque)),
    Case("DXT3", PixelFormat::kDxt3, 8, 0x0300, 1, 3, true, Block(kSixteenStepsAlpha, kBlueRed),
         BlockPixels(kBlueRedInFour, kSixteenSteps)),
};

// Each format in a dictionary of three textures: "Square", the pixels as 2 by 2 (a block as 4 by 4); "Wide", as
// 4 by 1 with a second, smaller level (two blocks cut to 6 by 2); and "Last" as "Square" again.
TEST(Formats, EachFormatShowsItsPixels) {
  for (const FormatCase& row : kFormats) {
    SCOPED_TRACE(std::string(row.name) + " on platform " + std::to_string(row.platform));
    const bool blocks = row.expected.size() == 64;
    TextureFields square{.name = "Square",
                         .platform = row.platform,
                         .rasterFormat = row.rasterFormat,
                         .alphaOrFormat = row.alphaOrFormat,
                         .width = blocks ? 4u : 2u,
                         .height = blocks ? 4u : 2u,
                         .flags = row.flags,
                         .levels = {row.pixels}};
    if (row.format == PixelFormat::kPalette8) square.palette = Palette();
    TextureFields wide = square;
    wide.name = "Wide";
    wide.width = blocks ? 6 : 4;
    wide.height = blocks ? 2 : 1;
    Bytes twice = row.pixels;
    twice.insert(twice.end(), row.pixels.begin(), row.pixels.end());
    wide.levels = {blocks ? twice : row.pixels, Bytes(2, 0)};
    TextureFields last = square;
    last.name = "Last";
    const Bytes file = Dictionary({square, wide, last});
    // Wide's blocks side by side, cut to 6 by 2.
    Pixels cut;
    for (int y = 0; blocks && y < 2; ++y) {
      cut.insert(cut.end(), row.expected.begin() + 16 * y, row.expected.begin() + 16 * y + 16);
      cut.insert(cut.end(), row.expected.begin() + 16 * y, row.expected.begin() + 16 * y + 8);
    }

    const txd::Dictionary dictionary = txd::ReadDictionary(file);
    ASSERT_TRUE(dictionary.problems.empty()) << txd::Describe(dictionary.problems[0]);
    EXPECT_EQ(dictionary.deviceId, 2u);
    ASSERT_EQ(dictionary.textures.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      const txd::Texture& texture = dictionary.textures[i];
      EXPECT_EQ(texture.name, (std::vector<std::string>{"Square", "Wide", "Last"}[i]));
      EXPECT_EQ(texture.formatName, row.name);
      EXPECT_EQ(texture.format, row.format);
      EXPECT_EQ(texture.hasAlpha, row.hasAlpha);
      EXPECT_EQ(texture.mipLevels, i == 1 ? 2u : 1u);
      EXPECT_EQ(texture.notShown, "");
      txd::Picture picture;
      ASSERT_TRUE(txd::DecodePicture(file, texture, picture));
      EXPECT_EQ(picture.width, i == 1 ? wide.width : square.width);
      const Pixels& want = i == 1 && blocks ? cut : row.expected;
      EXPECT_EQ(picture.rgba, want);
    }
  }
}

// Formats it cannot show are listed all the same, with their format, and say so.
TEST(Formats, FormatsNotShownAreListed) {
  struct Row {
    std::uint32_t platform, rasterFormat, alphaOrFormat;
    std::uint8_t flags;
    const char* formatName;
    const char* notShown;
  };
  const Row rows[] = {
      {9, 0x4500, 41, 0, "4-bit palette", "its pixel format (4-bit palette) cannot be shown"},
      {9, 0x0300, txd_test::FourCharacters("DXT2"), 8, "DXT2", "its pixel format (DXT2) cannot be shown"},
      {9, 0x0500, 77, 0, "Direct3D format 77", "its pixel format (Direct3D format 77) cannot be shown"},
      {8, 0x0800, 0, 0, "raster format 0x800", "its pixel format (raster format 0x800) cannot be shown"},
      {8, 0x0500, 0, 5, "compression 5", "its pixel format (compression 5) cannot be shown"},
      {9, 0x0500, 21, 2, "8888", "it is a cube map, which cannot be shown"},
  };
  for (const Row& row : rows) {
    const Bytes file = Dictionary({{.platform = row.platform,
                                    .rasterFormat = row.rasterFormat,
                                    .alphaOrFormat = row.alphaOrFormat,
                                    .flags = row.flags,
                                    .levels = {Bytes(8)}},
                                   {.name = "Sale", .levels = {Bytes(64)}}});
    const txd::Dictionary dictionary = txd::ReadDictionary(file);
    EXPECT_TRUE(dictionary.problems.empty());
    ASSERT_EQ(dictionary.textures.size(), 2u);
    EXPECT_EQ(dictionary.textures[0].name, "Banner");
    EXPECT_EQ(dictionary.textures[0].formatName, row.formatName);
    EXPECT_EQ(dictionary.textures[0].notShown, row.notShown);
    txd::Picture picture;
    EXPECT_FALSE(txd::DecodePicture(file, dictionary.textures[0], picture));
    EXPECT_TRUE(txd::DecodePicture(file, dictionary.textures[1], picture));
  }
}

// Two 4 by 4 8888 textures, "A" and "B", and where their fields lie.
constexpr std::size_t kCount = 24, kFirst = 28, kFirstHeader = 40, kFirstBody = 52, kFirstLevel = 140, kFirstEnd = 208,
                      kSecond = 220, kExtension = 412, kEnd = 424;

Bytes TwoTextures() {
  return Dictionary({{.name = "A", .levels = {Bytes(64, 0xFF)}}, {.name = "B", .levels = {Bytes(64, 0xFF)}}});
}

// The two textures with one byte, or four, changed; or cut short.
Bytes With8(std::size_t at, std::uint8_t value) {
  Bytes file = TwoTextures();
  file[at] = value;
  return file;
}
Bytes With32(std::size_t at, std::uint32_t value) {
  Bytes file = TwoTextures();
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  return file;
}
Bytes CutTo(std::size_t size, std::uint32_t dictionarySize) {
  Bytes file = With32(4, dictionarySize);
  file.resize(size);
  return file;
}

struct DamageCase {
  const char* what;
  Bytes file;
  std::size_t offset;  // of the first problem
  const char* message;
  std::vector<std::string> listed;    // the textures listed
  std::vector<std::string> notShown;  // those of them not shown
  bool stopped;
};

DamageCase Damage(const char* what, Bytes file, std::size_t offset, const char* message,
                  std::vector<std::string> listed, std::vector<std::string> notShown, bool stopped) {
  return {what, file, offset, message, listed, notShown, stopped};
}

const DamageCase kDamage[] = {
    Damage("an empty file", {}, 0, "the file is empty (0 bytes): it is no texture dictionary", {}, {}, true),
    Damage("a PNG renamed", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13}, 0,
           "this is a PNG picture renamed, not a texture dictionary", {}, {}, true),
    Damage("three bytes", {0x16, 0, 0}, 0, "the file is only 3 bytes long", {}, {}, true),
    Damage("a text file", {'[', 'M', 'A', 'I', 'N', ']', '\r', '\n'}, 0, "this is text, not a texture dictionary", {},
           {}, true),
    Damage("something else", {0x17, 0, 0, 0, 1}, 0,
           "this is no texture dictionary: a dictionary begins with a section of type 0x16, and this file with 0x17",
           {}, {}, true),
    Damage("a model", With32(0, 0x10), 0, "this is a model", {}, {}, true),
    Damage("cut inside its first header", CutTo(8, 0x100), 0,
           "the file ends 8 bytes into the texture dictionary, whose header alone takes 12", {}, {}, true),
    Damage(
        "cut short inside the second texture", CutTo(300, 412), 4,
        "the file is cut short: the texture dictionary says it takes 412 bytes, but only 288 bytes follow its header",
        {"A"}, {}, true),
    Damage("a texture's size past the dictionary's end", With32(kSecond + 4, 1000), kSecond + 4,
           "texture 2 says it takes 1000 bytes, but only 192 bytes of the dictionary follow its header", {"A"}, {},
           true),
    Damage("a count that says more", With8(kCount, 5), kCount,
           "the dictionary says it holds 5 textures, but its list ends after 2, at byte 412", {"A", "B"}, {}, false),
    Damage("a count that says fewer", With8(kCount, 1), kSecond,
           "more textures follow the 1 the dictionary says it holds: the game reads none of them", {"A"}, {}, false),
    Damage("another console's platform", With32(kFirstBody, 5), kFirstBody,
           "texture 1 is made for another console (platform 5), not for the PC", {}, {}, true),
    Damage("another console's four letters", With32(kFirstBody, 0x00325350), kFirstBody,
           "texture 1 is made for another console (platform 0x325350)", {}, {}, true),
    Damage("a platform no machine has", With32(kFirstBody, 77), kFirstBody,
           "texture 1 is not for the PC: its platform is 77, where the PC's is 8 or 9", {}, {}, true),
    Damage("a width of 60,000", With32(kFirstBody + 80, 0x0004EA60), kFirstLevel,
           "texture \"A\" is 60000 by 4 pixels in 8888, which take 960000 bytes, but its pixels take 64 bytes",
           {"A", "B"}, {"A"}, false),
    Damage("no height", With8(kFirstBody + 82, 0), kFirstBody + 80, "texture \"A\" is 4 by 0 pixels: it has no picture",
           {"A", "B"}, {"A"}, false),
    Damage("no level", With8(kFirstBody + 85, 0), kFirstBody + 85, "texture \"A\" stores no level of pixels",
           {"A", "B"}, {"A"}, false),
    Damage("a level past its header", With32(kFirstLevel, 65), kFirstLevel,
           "level 1 of texture \"A\" says it takes 65 bytes, but only 64 bytes of its header are left", {"A", "B"},
           {"A"}, false),
    Damage("more levels than it holds", With8(kFirstBody + 85, 3), kFirstEnd,
           "texture \"A\" says it stores 3 levels of pixels, but its header ends after 1", {"A", "B"}, {}, false),
    Damage("a texture's header of another type", With8(kFirstHeader, 2), kFirstHeader,
           "the header of texture 1 should begin here (a section of type 0x1), but a section of type 0x2 does", {"B"},
           {}, false),
    Damage("a texture's header too short", With32(kFirstHeader + 4, 40), kFirstHeader + 4,
           "the header of texture 1 takes 40 bytes, where a PC texture's takes 88", {"B"}, {}, false),
    Damage("a texture of another type", With8(kFirst, 1), kFirst,
           "texture 1 should begin here (a section of type 0x15), but a section of type 0x1 does", {}, {}, true),
    Damage("the dictionary's header too short", With32(16, 2), 16,
           "the dictionary's header takes 2 bytes, too few to hold its count of textures (4)", {}, {}, true),
    Damage("no extension after the dictionary", CutTo(kExtension, kExtension - 12), kExtension,
           "the dictionary ends where the dictionary's extension should begin", {"A", "B"}, {}, false),
    Damage(
        "a palette cut short",
        Dictionary(
            {{.name = "A", .rasterFormat = 0x2500, .alphaOrFormat = 41, .palette = Bytes(1000), .levels = {Bytes(4)}}}),
        kFirstLevel, "the palette of texture \"A\" takes 1024 bytes, but only 1008 bytes of its header are left", {"A"},
        {"A"}, false),
};

TEST(Damage, EachProblemIsToldAtItsByte) {
  for (const DamageCase& row : kDamage) {
    SCOPED_TRACE(row.what);
    const Bytes& file = row.file;
    const txd::Dictionary dictionary = txd::ReadDictionary(file);
    ASSERT_FALSE(dictionary.problems.empty());
    EXPECT_EQ(dictionary.problems[0].offset, row.offset);
    EXPECT_THAT(dictionary.problems[0].message, HasSubstr(row.message));
    EXPECT_EQ(dictionary.stopped, row.stopped);
    std::vector<std::string> listed, notShown;
    for (const txd::Texture& texture : dictionary.textures) {
      listed.push_back(texture.name);
      txd::Picture picture;
      const bool shown = txd::DecodePicture(file, texture, picture);
      EXPECT_EQ(shown, texture.notShown.empty()) << texture.name;
      if (!shown) notShown.push_back(texture.name);
    }
    EXPECT_EQ(listed, row.listed);
    EXPECT_EQ(notShown, row.notShown);
  }
}

TEST(Damage, ProblemsStopPastTwenty) {
  std::vector<TextureFields> textures(30, TextureFields{.width = 0, .levels = {Bytes(64)}});
  const txd::Dictionary dictionary = txd::ReadDictionary(Dictionary(textures));
  ASSERT_EQ(dictionary.problems.size(), 21u);
  EXPECT_EQ(dictionary.problems.back().message, "more problems follow, so reading stops here");
  EXPECT_TRUE(dictionary.stopped);
  EXPECT_EQ(txd::Describe(dictionary.problems[0]), "byte 132: texture \"Banner\" is 0 by 4 pixels: it has no picture");
}

// A texture read from one file does not decode from fewer bytes.
TEST(Damage, PixelsOutsideTheBytesGivenAreNotDecoded) {
  const Bytes file = TwoTextures();
  const txd::Dictionary dictionary = txd::ReadDictionary(file);
  txd::Picture picture;
  EXPECT_FALSE(txd::DecodePicture(std::span(file).first(kSecond + 100), dictionary.textures[1], picture));
  EXPECT_TRUE(picture.rgba.empty());
  EXPECT_TRUE(txd::DecodePicture(std::span(file).first(kEnd), dictionary.textures[1], picture));
}

// A banner rule's texture looked up: found only as the rule spells it, else the name it most likely meant.
TEST(Lookup, FindsTheNameOrTheNearestOne) {
  txd::Dictionary dictionary;
  for (const char* name : {"banner", "Banner", "Sale", "Flag", "Flog", "Ribbon", "RIBBONS", "a", "Ca\x01t"}) {
    txd::Texture texture;
    texture.name = name;
    dictionary.textures.push_back(texture);
  }
  struct Row {
    const char* name;
    bool found;
    const char* nearest;
  };
  const Row rows[] = {
      {"Banner", true, ""},         // found though a name in other letter case comes first
      {"BANNER", false, "Banner"},  // the fewest differences in letter case
      {"sale", false, "Sale"},
      {"Flagg", false, "Flag"},  // five characters may differ by one
      {"Flxg", false, "Flag"},   // as near as Flog: the first in the file
      {"Fla", false, "Flag"},
      {"Fl", false, ""},  // two may differ only in letter case
      {"A", false, "a"},
      {"B", false, ""},
      {"Ribon", false, "Ribbon"},
      {"Rbbonn", false, "Ribbon"},    // six may differ by two
      {"ribbons", false, "RIBBONS"},  // letter case aside the same: nearer than Ribbon, one character off
      {"Cloth", false, ""},
      {"Cat", false, "Ca\x01t"},
      {"A name far longer than any texture name", false, ""},
  };
  for (const Row& row : rows) {
    const txd::TextureLookup lookup = txd::LookUpTexture(dictionary, row.name);
    EXPECT_EQ(lookup.found, row.found) << row.name;
    EXPECT_EQ(lookup.nearest, row.nearest) << row.name;
  }
  EXPECT_EQ(txd::LookupText(txd::LookUpTexture(dictionary, "Banner")), "in the dictionary");
  EXPECT_EQ(txd::LookupText(txd::LookUpTexture(dictionary, "Cloth")), "not in the dictionary");
  EXPECT_EQ(txd::LookupText(txd::LookUpTexture(dictionary, "Cat")), "not in the dictionary (it holds `Ca?t`)");
  EXPECT_TRUE(txd::LookUpTexture({}, "Banner").nearest.empty());
}

// Each texture as the checker and the page list it, from a file.
TEST(Lookup, SummariesSayWhatTheFileHolds) {
  const Bytes file = Dictionary({{.name = "Wide", .width = 8, .levels = {Bytes(128), Bytes(32)}},
                                 {.name = "Odd", .rasterFormat = 0x4500, .bits = 4, .levels = {Bytes(8)}}});
  const txd::Dictionary dictionary = txd::ReadDictionary(file);
  ASSERT_EQ(dictionary.textures.size(), 2u);
  EXPECT_EQ(txd::TextureSummary(dictionary.textures[0]), "8x4, 8888, 2 mip levels, no alpha");
  EXPECT_EQ(txd::TextureSummary(dictionary.textures[1]),
            "4x4, 4-bit palette, 1 mip level, no alpha, not shown: its pixel format (4-bit palette) cannot be shown");
}

}  // namespace
