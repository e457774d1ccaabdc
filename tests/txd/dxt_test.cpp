// DXT decoding held to an independent decoder's, Debian's libsquish, on random blocks of every size up to 13 by 13
// pixels: the edge blocks cut, and a third of the blocks with equal ends, where DXT1 has three colours and
// DXT5 six alpha steps.

#include <gtest/gtest.h>
#include <squish.h>

#include <cstdint>
#include <random>
#include <vector>

#include "txd/dictionary_bytes.h"
#include "txd/texture_dictionary.h"

namespace {

TEST(Dxt, RandomBlocksDecodeAsLibsquishDecodesThem) {
  struct Kind {
    std::uint32_t format;
    int squishFlag;
    std::size_t blockSize;
  };
  const Kind kinds[] = {{txd_test::FourCharacters("DXT1"), squish::kDxt1, 8},
                        {txd_test::FourCharacters("DXT3"), squish::kDxt3, 16},
                        {txd_test::FourCharacters("DXT5"), squish::kDxt5, 16}};
  std::mt19937 random(36);
  for (const Kind& kind : kinds) {
    for (int round = 0; round < 60; ++round) {
      const std::uint32_t width = 1 + random() % 13, height = 1 + random() % 13;
      const std::size_t blocks = std::size_t{(width + 3) / 4} * ((height + 3) / 4);
      std::vector<std::uint8_t> pixels(blocks * kind.blockSize);
      for (std::uint8_t& byte : pixels) byte = static_cast<std::uint8_t>(random());
      for (std::size_t block = 0; block < blocks; block += 3) {
        std::uint8_t* at = pixels.data() + block * kind.blockSize;
        if (kind.blockSize == 16) at[1] = at[0];
        std::uint8_t* colours = at + kind.blockSize - 8;
        colours[2] = colours[0];
        colours[3] = colours[1];
      }
      SCOPED_TRACE(std::to_string(kind.squishFlag) + ": " + std::to_string(width) + " by " + std::to_string(height));
      const auto file = txd_test::Dictionary(
          {{.alphaOrFormat = kind.format, .width = width, .height = height, .flags = 9, .levels = {pixels}}});
      const txd::Dictionary dictionary = txd::ReadDictionary(file);
      ASSERT_EQ(dictionary.textures.size(), 1u);
      txd::Picture picture;
      ASSERT_TRUE(txd::DecodePicture(file, dictionary.textures[0], picture));
      std::vector<std::uint8_t> expected(std::size_t{width} * height * 4);
      squish::DecompressImage(expected.data(), static_cast<int>(width), static_cast<int>(height), pixels.data(),
                              kind.squishFlag);
      ASSERT_EQ(picture.rgba, expected);
    }
  }
}

}  // namespace
