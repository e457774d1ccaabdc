// Writes one of the checker's test dictionaries, built byte by byte: write_dictionary KIND PATH.
//   banners:  "Banner" (8888), "Sale" (DXT1), "Flag" (4-bit palette, which is listed but not shown), "Ribbon" (565)
//   damaged:  "Banner" whole, then a texture that says it holds more than the file does
//   foreign:  a texture of another console's platform

#include <cstdio>
#include <cstring>
#include <vector>

#include "txd/dictionary_bytes.h"

using txd_test::TextureFields;

namespace {

std::vector<std::uint8_t> Levels(std::size_t bytes) { return std::vector<std::uint8_t>(bytes, 0x80); }

TextureFields Banner() { return {.name = "Banner", .levels = {Levels(4 * 4 * 4)}}; }

std::vector<std::uint8_t> Banners() {
  TextureFields sale{.name = "Sale",
                     .rasterFormat = 0x0200,
                     .alphaOrFormat = txd_test::FourCharacters("DXT1"),
                     .width = 8,
                     .height = 4,
                     .bits = 16,
                     .flags = 8,
                     .levels = {Levels(16), Levels(8)}};
  TextureFields flag{.name = "Flag", .rasterFormat = 0x4500, .alphaOrFormat = 21, .bits = 4, .levels = {Levels(8)}};
  TextureFields ribbon{
      .name = "Ribbon", .rasterFormat = 0x0200, .alphaOrFormat = 23, .bits = 16, .levels = {Levels(32)}};
  return txd_test::Dictionary({Banner(), sale, flag, ribbon});
}

std::vector<std::uint8_t> Damaged() {
  std::vector<std::uint8_t> bytes = txd_test::Dictionary({Banner(), {.name = "Cut", .levels = {Levels(64)}}});
  bytes.erase(bytes.end() - 40, bytes.end());  // cut short: the last 40 bytes missing
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::vector<std::uint8_t> bytes;
  if (std::strcmp(argv[1], "banners") == 0) {
    bytes = Banners();
  } else if (std::strcmp(argv[1], "damaged") == 0) {
    bytes = Damaged();
  } else if (std::strcmp(argv[1], "foreign") == 0) {
    bytes = txd_test::Dictionary({{.name = "Banner", .platform = 5, .levels = {Levels(64)}}});
  } else {
    return 2;
  }
  FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) return 1;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}
