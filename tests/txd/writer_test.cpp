// The dictionaries written for the game: every byte its own PC files fix, pictures read back pixel for pixel,
// pictures of other sizes resized to powers of two, and pictures that cannot be written.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "txd/texture_dictionary.h"

namespace {

using ::testing::HasSubstr;

txd::Picture RandomPicture(std::uint32_t width, std::uint32_t height, bool opaque, unsigned seed) {
  std::mt19937 random(seed);
  txd::Picture picture{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
  for (std::size_t i = 0; i < picture.rgba.size(); ++i)
    picture.rgba[i] = i % 4 == 3 && opaque ? 255 : static_cast<std::uint8_t>(random());
  return picture;
}

txd::Picture Uniform(std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t> pixel) {
  txd::Picture picture{width, height, {}};
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i)
    picture.rgba.insert(picture.rgba.end(), pixel.begin(), pixel.end());
  return picture;
}

std::uint32_t Read(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = 0; i < size; ++i) value |= static_cast<std::uint32_t>(bytes.at(at + i)) << (8 * i);
  return value;
}

TEST(Writer, SidesBecomeTheNearestPowerOfTwoUpTo2048) {
  const std::pair<std::uint32_t, std::uint32_t> sides[] = {
      {1, 1},     {2, 2},       {3, 4},       {5, 4},       {6, 8},       {48, 64},     {300, 256},   {383, 256},
      {384, 512}, {1000, 1024}, {1535, 1024}, {1536, 2048}, {2048, 2048}, {3000, 2048}, {65535, 2048}};
  for (const auto& [side, fitting] : sides) EXPECT_EQ(txd::FittingSide(side), fitting) << side;
}

// Every byte the game's own PC files fix, walked with offsets of its own.
TEST(Writer, EveryFixedByteIsTheGamesOwn) {
  const txd::NamedPicture pictures[] = {{"Banner", RandomPicture(4, 2, true, 1)},
                                        {"Sale", RandomPicture(2, 2, false, 2)}};
  const txd::WrittenDictionary written = txd::WriteDictionary(pictures);
  ASSERT_EQ(written.problem, "");
  const std::vector<std::uint8_t>& bytes = written.bytes;
  const auto section = [&](std::size_t at, std::uint32_t type, std::uint32_t size) {
    EXPECT_EQ(Read(bytes, at, 4), type) << at;
    EXPECT_EQ(Read(bytes, at + 4, 4), size) << at;
    EXPECT_EQ(Read(bytes, at + 8, 4), 0x1803FFFFu) << at;
  };
  section(0, 0x16, static_cast<std::uint32_t>(bytes.size() - 12));
  section(12, 0x01, 4);
  EXPECT_EQ(Read(bytes, 24, 2), 2u);  // textures
  EXPECT_EQ(Read(bytes, 26, 2), 2u);  // device id
  std::size_t at = 28;
  for (const txd::NamedPicture& named : pictures) {
    const std::uint32_t pixels = named.picture.width * named.picture.height * 4;
    section(at, 0x15, 12 + 92 + pixels + 12);
    section(at + 12, 0x01, 92 + pixels);
    const std::size_t body = at + 24;
    const std::uint32_t fields[][3] = {{0, 4, 9},
                                       {4, 4, 0x1106},
                                       {72, 4, 0x0500},
                                       {76, 4, 21},
                                       {80, 2, named.picture.width},
                                       {82, 2, named.picture.height},
                                       {84, 1, 32},
                                       {85, 1, 1},
                                       {86, 1, 4},
                                       {88, 4, pixels}};
    for (const auto& [offset, size, value] : fields) EXPECT_EQ(Read(bytes, body + offset, size), value) << offset;
    EXPECT_EQ(Read(bytes, body + 87, 1), named.name == "Sale" ? 1u : 0u);  // some pixel not opaque
    std::string name(32, '\0');
    std::copy(named.name.begin(), named.name.end(), name.begin());
    EXPECT_EQ(std::string(bytes.begin() + body + 8, bytes.begin() + body + 40), name);
    EXPECT_EQ(std::string(bytes.begin() + body + 40, bytes.begin() + body + 72), std::string(32, '\0'));
    for (std::uint32_t p = 0; p < pixels; p += 4) {  // B, G, R, A
      const std::uint8_t* rgba = named.picture.rgba.data() + p;
      EXPECT_EQ(Read(bytes, body + 92 + p, 4), rgba[2] | rgba[1] << 8 | rgba[0] << 16 | std::uint32_t{rgba[3]} << 24);
    }
    section(body + 92 + pixels, 0x03, 0);
    at = body + 92 + pixels + 12;
  }
  section(at, 0x03, 0);
  EXPECT_EQ(at + 12, bytes.size());
}

TEST(Writer, WrittenPicturesReadBackPixelForPixel) {
  std::vector<txd::NamedPicture> pictures = {{"Banner", RandomPicture(64, 32, false, 3)},
                                             {"Sale", RandomPicture(1, 1, true, 4)},
                                             {"Tall", RandomPicture(2, 2048, true, 5)},
                                             {std::string(31, 'n'), RandomPicture(256, 8, false, 6)}};
  const txd::WrittenDictionary written = txd::WriteDictionary(pictures);
  const txd::Dictionary dictionary = txd::ReadDictionary(written.bytes);
  EXPECT_TRUE(dictionary.problems.empty());
  ASSERT_EQ(dictionary.textures.size(), pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const txd::Texture& texture = dictionary.textures[i];
    EXPECT_EQ(texture.name, pictures[i].name);
    EXPECT_EQ(texture.format, txd::PixelFormat::k8888);
    EXPECT_EQ(texture.hasAlpha, written.textures[i].hasAlpha);
    EXPECT_EQ(written.textures[i].note, "");
    txd::Picture picture;
    ASSERT_TRUE(txd::DecodePicture(written.bytes, texture, picture));
    EXPECT_EQ(picture.width, pictures[i].picture.width);
    EXPECT_EQ(picture.rgba, pictures[i].picture.rgba) << texture.name;
  }
}

TEST(Writer, OtherSizesAreResizedAndSaySo) {
  const txd::NamedPicture pictures[] = {{"Wide", Uniform(300, 200, {10, 200, 30, 255})},
                                        {"Huge", Uniform(3000, 10, {10, 200, 30, 77})},
                                        {"Odd", Uniform(3, 5, {1, 2, 3, 0})}};
  const txd::WrittenDictionary written = txd::WriteDictionary(pictures);
  const txd::Dictionary dictionary = txd::ReadDictionary(written.bytes);
  ASSERT_EQ(dictionary.textures.size(), 3u);
  const std::uint32_t sizes[][2] = {{256, 256}, {2048, 8}, {4, 4}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_THAT(written.textures[i].note,
                HasSubstr("resized from " + std::to_string(pictures[i].picture.width) + " by " +
                          std::to_string(pictures[i].picture.height) + " to " + std::to_string(sizes[i][0]) + " by " +
                          std::to_string(sizes[i][1])));
    txd::Picture picture;
    ASSERT_TRUE(txd::DecodePicture(written.bytes, dictionary.textures[i], picture));
    const auto& rgba = pictures[i].picture.rgba;
    EXPECT_EQ(picture.rgba, Uniform(sizes[i][0], sizes[i][1], {rgba.begin(), rgba.begin() + 4}).rgba);  // one colour
    EXPECT_EQ(dictionary.textures[i].hasAlpha, i != 0);
  }
}

// Shrinking averages the pixels each new one covers, growing blends the two nearest, and a see-through pixel gives
// no colour: one row of pixels each, R and A shown.
TEST(Writer, ResizingWeighsCoverageNearnessAndAlpha) {
  struct Row {
    std::vector<std::uint8_t> from;  // R, A a pixel
    std::vector<std::uint8_t> to;
  };
  const Row rows[] = {
      {{0, 255, 200, 255}, {0, 255, 50, 255, 150, 255, 200, 255}},   // grown, 2 to 4
      {{0, 255, 100, 255, 200, 255, 40, 255}, {50, 255, 120, 255}},  // shrunk, 4 to 2
      {{0, 255, 90, 255, 180, 255}, {30, 255, 150, 255}},            // shrunk, 3 to 2
      {{255, 255, 0, 0}, {255, 128}},                                // clear gives no colour
      {{100, 0, 50, 0}, {75, 0}},                                    // all clear: plain average
  };
  for (const Row& row : rows) {
    txd::Picture picture{static_cast<std::uint32_t>(row.from.size() / 2), 1, {}};
    for (std::size_t i = 0; i < row.from.size(); i += 2)
      picture.rgba.insert(picture.rgba.end(), {row.from[i], 7, 7, row.from[i + 1]});
    const txd::Picture resized = txd::Resize(picture, static_cast<std::uint32_t>(row.to.size() / 2), 1);
    std::vector<std::uint8_t> shown;
    for (std::size_t i = 0; i < resized.rgba.size(); i += 4)
      shown.insert(shown.end(), {resized.rgba[i], resized.rgba[i + 3]});
    EXPECT_EQ(shown, row.to);
  }
}

TEST(Writer, PicturesThatCannotBeWrittenSayWhy) {
  const txd::Picture good = Uniform(2, 2, {1, 2, 3, 4});
  txd::Picture short_ = good;
  short_.rgba.pop_back();
  const std::pair<std::vector<txd::NamedPicture>, const char*> rows[] = {
      {{}, "there is no picture to put in the dictionary"},
      {{{"", good}}, "a picture has no name"},
      {{{std::string(32, 'n'), good}}, "is 32 bytes long: the game keeps at most 31"},
      {{{std::string("a\0b", 3), good}}, "holds a NUL byte"},
      {{{"Sale", good}, {"Banner", good}, {"Sale", good}}, "two pictures are named \"Sale\""},
      {{{"Sale", txd::Picture{0, 5, {}}}}, "the picture for \"Sale\" is 0 by 5 pixels: it has none"},
      {{{"Sale", txd::Picture{70000, 1, {}}}}, "a side of more than 65535 is too large"},
      {{{"Sale", short_}}, "the picture for \"Sale\" does not hold its 2 by 2 pixels"},
  };
  for (const auto& [pictures, problem] : rows) {
    const txd::WrittenDictionary written = txd::WriteDictionary(pictures);
    EXPECT_THAT(written.problem, HasSubstr(problem));
    EXPECT_TRUE(written.bytes.empty());
  }
}

}  // namespace
