// Writes the texture dictionary fuzzer's seeds into the folder given (fuzz/txd_corpus): dictionaries of every
// pixel format in both PC layouts, of formats that are listed but not shown, and one the writer made.
//
//   build/fuzz/fuzz/txd_seeds fuzz/txd_corpus

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "txd/dictionary_bytes.h"
#include "txd/texture_dictionary.h"

namespace {

using txd_test::FourCharacters;
using txd_test::TextureFields;
using Bytes = std::vector<std::uint8_t>;

Bytes Counting(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37);
  return bytes;
}

// A 4 by 4 texture whose largest level has `bytes` bytes, and a second level of a quarter of them.
TextureFields Texture(const char* name, std::uint32_t platform, std::uint32_t raster, std::uint32_t format,
                      std::uint8_t flags, std::size_t bytes) {
  return {.name = name,
          .platform = platform,
          .rasterFormat = raster,
          .alphaOrFormat = format,
          .flags = flags,
          .levels = {Counting(bytes), Counting(bytes / 4)}};
}

void Write(const std::string& folder, const char* name, const Bytes& bytes) {
  std::ofstream(folder + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  TextureFields palette = Texture("Palette", 9, 0x2500, 41, 1, 16);
  palette.palette = Counting(1024);
  Write(folder, "formats.txd",
        txd_test::Dictionary({Texture("A8R8G8B8", 9, 0x0500, 21, 1, 64), Texture("X8R8G8B8", 9, 0x0600, 22, 0, 64),
                              Texture("R5G6B5", 9, 0x0200, 23, 0, 32), Texture("X1R5G5B5", 9, 0x0A00, 24, 0, 32),
                              Texture("A1R5G5B5", 9, 0x0100, 25, 1, 32), Texture("A4R4G4B4", 9, 0x0300, 26, 1, 32),
                              Texture("Grey", 9, 0x0400, 50, 0, 16), palette,
                              Texture("Dxt1", 9, 0x0100, FourCharacters("DXT1"), 8, 8),
                              Texture("Dxt3", 9, 0x0300, FourCharacters("DXT3"), 9, 16),
                              Texture("Dxt5", 9, 0x0500, FourCharacters("DXT5"), 9, 16)}));
  Write(folder, "older.txd",
        txd_test::Dictionary({Texture("8888", 8, 0x0500, 1, 0, 64), Texture("565", 8, 0x0200, 0, 0, 32),
                              Texture("Dxt1", 8, 0x0200, 0, 1, 8), Texture("Dxt3", 8, 0x0300, 1, 3, 16)},
                             1));
  Write(folder, "not_shown.txd",
        txd_test::Dictionary(
            {Texture("Palette4", 9, 0x4500, 41, 0, 8), Texture("Dxt2", 9, 0x0300, FourCharacters("DXT2"), 9, 16),
             Texture("Cube", 9, 0x0500, 21, 2, 64), Texture("Other", 9, 0x0500, 77, 0, 64)},
            0));
  const txd::NamedPicture pictures[] = {{"Banner", {8, 8, Counting(8 * 8 * 4)}}, {"Sale", {3, 5, Counting(3 * 5 * 4)}}};
  Write(folder, "written.txd", txd::WriteDictionary(pictures).bytes);
  return 0;
}
